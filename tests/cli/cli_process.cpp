#include "tests/cli/cli_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace olv::test {

std::vector<std::string> CliRun::outLines() const {
    std::vector<std::string> lines;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

std::string CliProcess::binaryPath() {
    return OLV_BIN_DIR "/modbus-olv-cli";
}

CliProcess::~CliProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

bool CliProcess::start(const std::vector<std::string>& args, const std::string& input) {
    int out[2], err[2], in[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) return false;
    std::vector<std::string> strings{binaryPath()};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    close(in[0]);
    // The input is small: it fits the pipe whole.
    if (!input.empty() && write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
        close(in[1]);
        return false;
    }
    close(in[1]);
    pid_ = pid;
    out_ = out[0];
    err_ = err[0];
    return true;
}

bool CliProcess::pump(int timeoutMs) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (out_ < 0 && err_ < 0) return false;
    const int ready = poll(fds, 2, timeoutMs);
    if (ready < 0 && errno == EINTR) return true;
    if (ready <= 0) return true;
    for (int k = 0; k < 2; ++k) {
        int& fd = k == 0 ? out_ : err_;
        if (fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            (k == 0 ? outBuffer_ : errBuffer_).append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            close(fd);
            fd = -1;
        }
    }
    return true;
}

std::string CliProcess::readLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t nl = outBuffer_.find('\n', outRead_);
        if (nl != std::string::npos) {
            std::string line = outBuffer_.substr(outRead_, nl - outRead_);
            outRead_ = nl + 1;
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || out_ < 0) return {};
        pump(static_cast<int>(left.count()));
    }
}

bool CliProcess::waitForError(const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (errBuffer_.find(text) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || err_ < 0) return false;
        pump(static_cast<int>(left.count()));
    }
    return true;
}

void CliProcess::signal(int number) {
    if (pid_ > 0) kill(pid_, number);
}

CliRun CliProcess::finish(int timeoutMs) {
    CliRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while ((out_ >= 0 || err_ >= 0) && std::chrono::steady_clock::now() < deadline)
        pump(100);
    if (pid_ > 0) {
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            usleep(5000);
        if (done == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
    }
    run.out = outBuffer_;
    run.err = errBuffer_;
    return run;
}

CliRun RunCli(const std::vector<std::string>& args, const std::string& input) {
    CliProcess cli;
    if (!cli.start(args, input)) return {};
    return cli.finish();
}

} // namespace olv::test
