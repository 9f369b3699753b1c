#include "tests/support/pty_peer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace olv::test {

using namespace std::chrono;

// ---- PtyPair -----------------------------------------------------------------------------------

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
        closeMaster();
        return;
    }
    slavePath_ = name;
}

PtyPair::~PtyPair() {
    closeMaster();
}

bool PtyPair::writeMaster(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return false;
    }
    return done == bytes.size();
}

std::vector<uint8_t> PtyPair::readMaster(size_t count, milliseconds timeout) {
    std::vector<uint8_t> bytes;
    const auto deadline = steady_clock::now() + timeout;
    while (master_ >= 0 && bytes.size() < count) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) break;
        struct pollfd p = {master_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        uint8_t chunk[256];
        const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - bytes.size()));
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

void PtyPair::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

// ---- PtyResponder ------------------------------------------------------------------------------

PtyResponder::PtyResponder(int masterFd, Handler handler) : master_(masterFd), handler_(std::move(handler)) {
    if (pipe2(wake_, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return;
    }
    thread_ = std::thread([this] { run(); });
}

PtyResponder::~PtyResponder() {
    stop();
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
}

void PtyResponder::stop() {
    if (!thread_.joinable()) return;
    const char byte = 0;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &byte, 1);
    thread_.join();
}

void PtyResponder::run() {
    std::vector<uint8_t> pending;
    for (;;) {
        struct pollfd p[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        if (p[0].revents & (POLLERR | POLLNVAL)) return;
        if (!(p[0].revents & POLLIN)) {
            // The slave side is closed (POLLHUP): wait for it to be opened again, without spinning.
            struct pollfd w = {wake_[0], POLLIN, 0};
            if (poll(&w, 1, 5) > 0) return;
            continue;
        }
        uint8_t chunk[512];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            struct pollfd w = {wake_[0], POLLIN, 0};
            if (poll(&w, 1, 5) > 0) return;
            continue;
        }
        pending.insert(pending.end(), chunk, chunk + n);
        for (;;) {
            size_t length = pending.size();
            if (pending.size() >= 2 && pending[1] == 3)
                length = 8;
            else if (pending.size() >= 2 && pending[1] == 16)
                length = pending.size() >= 7 ? 9u + pending[6] : SIZE_MAX;
            if (length == 0 || length > pending.size()) break;
            std::vector<uint8_t> request(pending.begin(), pending.begin() + static_cast<long>(length));
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(length));
            ++requests_;
            const std::vector<uint8_t> reply = handler_(request);
            size_t done = 0;
            while (done < reply.size()) {
                const ssize_t w = ::write(master_, reply.data() + done, reply.size() - done);
                if (w > 0)
                    done += static_cast<size_t>(w);
                else if (w < 0 && errno == EINTR)
                    continue;
                else
                    break;
            }
        }
    }
}

// ---- ChildProcess ------------------------------------------------------------------------------

ChildProcess::~ChildProcess() {
    stop();
}

bool ChildProcess::start(const std::vector<std::string>& argv) {
    stop();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (pid == 0) {
        // The child: ends with the test program, writes both streams into the pipe.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        execvp(args[0], args.data());
        _exit(127);
    }
    ::close(fds[1]);
    pid_ = pid;
    out_ = fds[0];
    buffer_.clear();
    output_.clear();
    return true;
}

bool ChildProcess::readLine(std::string& line, steady_clock::time_point deadline) {
    for (;;) {
        const size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return true;
        }
        if (out_ < 0) return false;
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) return false;
        struct pollfd p = {out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char chunk[512];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n <= 0) {
            ::close(out_);
            out_ = -1;
            return false;
        }
        buffer_.append(chunk, static_cast<size_t>(n));
        output_.append(chunk, static_cast<size_t>(n));
    }
}

bool ChildProcess::waitForLine(const std::string& text, milliseconds timeout, std::string* found) {
    const auto deadline = steady_clock::now() + timeout;
    std::string line;
    while (readLine(line, deadline)) {
        if (line.find(text) != std::string::npos) {
            if (found) *found = line;
            return true;
        }
    }
    return false;
}

bool ChildProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == 0) return true;
    pid_ = -1; // reaped: its pid may belong to someone else from now on
    return false;
}

void ChildProcess::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        const auto deadline = steady_clock::now() + seconds(3);
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && steady_clock::now() < deadline) {
            struct timespec pause = {0, 10 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
        if (done == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    if (out_ >= 0) ::close(out_);
    out_ = -1;
}

// ---- SocatPtyPair ------------------------------------------------------------------------------

bool SocatPtyPair::start() {
    if (!process_.start({"socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"})) return false;
    std::string line;
    for (std::string* path : {&first_, &second_}) {
        if (!process_.waitForLine("PTY is ", seconds(10), &line)) return false;
        *path = line.substr(line.find("PTY is ") + 7);
        while (!path->empty() && (path->back() == '\r' || path->back() == ' '))
            path->pop_back();
    }
    return process_.waitForLine("starting data transfer loop", seconds(10));
}

// ---- PymodbusSlave -----------------------------------------------------------------------------

bool PymodbusSlave::start(const std::string& devicePath, int unit, int baudRate) {
    // The system interpreter: Debian's python3-pymodbus lives there, whatever python3 is first on PATH.
    const std::string script = std::string(OLV_SOURCE_DIR) + "/tests/link/peers/rtu_slave.py";
    if (!process_.start(
            {"/usr/bin/python3", script, devicePath, std::to_string(unit), std::to_string(baudRate)}))
        return false;
    return process_.waitForLine("READY", seconds(30));
}

bool PymodbusSlave::startTcp(int unit) {
    std::string line;
    if (!process_.start({"/usr/bin/python3", std::string(OLV_SOURCE_DIR) + "/tests/link/peers/rtu_slave.py",
                         "--tcp", std::to_string(unit)}) ||
        !process_.waitForLine("READY ", seconds(30), &line))
        return false;
    return (tcpPort_ = std::atoi(line.c_str() + line.find("READY ") + 6)) > 0;
}

} // namespace olv::test
