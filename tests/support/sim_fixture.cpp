#include "tests/support/sim_fixture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
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

// Ends a process this fixture started, by its pid: SIGTERM, then SIGKILL if it has not gone within
// ExitTimeout; reaps it either way.
void EndProcess(pid_t pid) {
    kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + ExitTimeout;
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
}

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
    // A line's path, or with --mbtcp the gateway's mbtcp://HOST:PORT.
    if (!readLine(first, StartTimeoutMs) || first.empty() ||
        (first[0] != '/' && first.rfind("mbtcp://", 0) != 0)) {
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
        EndProcess(pid_);
        pid_ = -1;
    }
    path_.clear();
    buffer_.clear();
}

namespace {

// A TCP port on 127.0.0.1 that nobody listens on right now.
int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

// Whether something listens on 127.0.0.1:port (read from the kernel's table, so that no connection is
// made: each one would make ser2net open the device).
bool Listening(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X 00000000:0000 0A", port); // 0A: LISTEN
    while (std::getline(table, line))
        if (line.find(wanted) != std::string::npos) return true;
    return false;
}

} // namespace

Ser2net::~Ser2net() {
    stop();
    if (!dir_.empty()) {
        for (const char* name : {"/ser2net.yaml", "/ser2net.pid", "/ser2net.log"})
            unlink((dir_ + name).c_str());
        rmdir(dir_.c_str());
    }
}

std::string Ser2net::log() const {
    std::ifstream file(dir_ + "/ser2net.log");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool Ser2net::start(const std::string& device, const std::string& line) {
    stop();
    if (dir_.empty()) {
        char pattern[] = "/tmp/olv-ser2net-XXXXXX";
        if (!mkdtemp(pattern)) return false;
        dir_ = pattern;
    }
    if (port_ == 0) port_ = FreeLoopbackPort();
    {
        std::ofstream config(dir_ + "/ser2net.yaml");
        config << "connection: &olv\n"
               << "    accepter: tcp,127.0.0.1," << port_ << "\n"
               << "    connector: serialdev," << device << "," << line << ",local\n"
               << "    options:\n"
               << "      kickolduser: true\n";
    }
    const std::string config = dir_ + "/ser2net.yaml", pidFile = dir_ + "/ser2net.pid";
    const std::string logFile = dir_ + "/ser2net.log";
    // -n: stay in the foreground, as our child; -u: no UUCP lock files outside the temporary folder.
    std::vector<std::string> args{"ser2net", "-n", "-u", "-c", config, "-P", pidFile};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        const int out = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
        }
        if (in >= 0) dup2(in, STDIN_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    pid_ = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(StartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Listening(port_)) return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1; // it gave up (not installed, port taken, bad configuration)
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop();
    return false;
}

void Ser2net::stop() {
    if (pid_ <= 0) return;
    EndProcess(pid_);
    pid_ = -1;
}

} // namespace olv::test
