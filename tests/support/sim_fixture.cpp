#include "tests/support/sim_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace olv::test {

namespace {

constexpr int StartTimeoutMs = 10000;
constexpr int ReplyTimeoutMs = 10000;
constexpr auto ExitTimeout = std::chrono::seconds(3);

} // namespace

std::string SimInstrument::binaryPath() {
    return OLV_BIN_DIR "/modbus-olv-sim";
}

SimInstrument::~SimInstrument() {
    stop();
}

bool SimInstrument::start(std::vector<std::string> args) {
    stop();
    // One socket pair serves as the child's stdin and stdout; send() with MSG_NOSIGNAL then never
    // raises SIGPIPE in the test if the simulator has died.
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;

    const std::string binary = binaryPath();
    std::vector<std::string> argvStrings{binary};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argvStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(pair[0]);
        close(pair[1]);
        return false;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        prctl(PR_SET_PDEATHSIG, SIGTERM); // a crashed test leaves no simulator behind
        if (getppid() != parent) _exit(127);
        dup2(pair[1], STDIN_FILENO);
        dup2(pair[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pair[1]);
    pid_ = pid;
    channel_ = pair[0];
    buffer_.clear();

    std::string first;
    if (!readLine(first, StartTimeoutMs) || first.empty() || first[0] != '/') {
        stop();
        return false;
    }
    path_ = first;
    return true;
}

bool SimInstrument::readLine(std::string& line, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (channel_ < 0 || left.count() <= 0) return false;
        pollfd p{channel_, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char buf[4096];
        const ssize_t n = read(channel_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false; // the simulator has gone
        buffer_.append(buf, static_cast<size_t>(n));
    }
}

std::string SimInstrument::command(const std::string& line) {
    if (channel_ < 0) return {};
    const std::string text = line + "\n";
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = send(channel_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        sent += static_cast<size_t>(n);
    }
    std::string reply;
    return readLine(reply, ReplyTimeoutMs) ? reply : std::string();
}

std::string SimInstrument::readReply() {
    std::string reply;
    return readLine(reply, ReplyTimeoutMs) ? reply : std::string();
}

std::map<std::string, std::string> SimInstrument::dump(int address) {
    std::map<std::string, std::string> values;
    std::string line = command(address >= 0 ? "@" + std::to_string(address) + " dump" : "dump");
    while (!line.empty() && line != "end") {
        if (line.rfind("error", 0) == 0) return {};
        const size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
        if (!readLine(line, ReplyTimeoutMs)) return {};
    }
    return values;
}

uint16_t SimInstrument::reg(int n) {
    const std::string reply = command("get " + std::to_string(n));
    if (reply.rfind("ok ", 0) != 0) {
        ADD_FAILURE() << "the simulator did not give register " << n << ": '" << reply << "'";
        return 0;
    }
    return static_cast<uint16_t>(std::strtoul(reply.c_str() + 3, nullptr, 10));
}

void SimInstrument::stop() {
    if (channel_ >= 0) {
        close(channel_);
        channel_ = -1;
    }
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + ExitTimeout;
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (done == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    path_.clear();
    buffer_.clear();
}

} // namespace olv::test
