#include "link/tcp_port.h"

#include "link/descriptor_wait.h"
#include "link/host_lookup.h"
#include "link/timed_read.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace olv::link {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char TcpPrefix[] = "tcp://";
constexpr size_t TcpPrefixLength = sizeof TcpPrefix - 1;

std::string SystemReason(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

// One connect attempt to one address within the deadline; the socket on success, else -1 and errno.
int ConnectWithin(const addrinfo& address, Clock::time_point deadline) {
    const int fd =
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) return -1;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        const int ready = WaitForDescriptor(fd, POLLOUT, deadline);
        int error = ready < 0 ? errno : ETIMEDOUT;
        if (ready > 0) {
            socklen_t length = sizeof error;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        }
        if (error != 0) {
            ::close(fd);
            errno = error;
            return -1;
        }
    }
    // A request is one small frame that must leave at once, not wait for more data to join it.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

} // namespace

bool IsTcpPath(const std::string& devicePath) {
    return devicePath.compare(0, TcpPrefixLength, TcpPrefix) == 0;
}

bool ParseTcpPath(const std::string& devicePath, std::string& host, std::string& port) {
    if (!IsTcpPath(devicePath)) return false;
    const std::string rest = devicePath.substr(TcpPrefixLength);
    size_t colon;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return false;
        host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos) return false;
        host = rest.substr(0, colon);
    }
    port = rest.substr(colon + 1);
    if (!port.empty() && port.back() == '/') port.pop_back(); // tcp://host:port/ as typed in a browser
    const bool digits = !port.empty() && port.size() <= 5 &&
                        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    return !host.empty() && digits && std::stoi(port) >= 1 && std::stoi(port) <= 65535;
}

TcpPort::~TcpPort() {
    close();
}

bool TcpPort::open(const std::string& devicePath, const LineSettings& line, std::string& error) {
    close();
    std::string host, port;
    if (!ParseTcpPath(devicePath, host, port)) {
        error = "not a TCP address of the form tcp://HOST:PORT";
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, line.connectTimeoutMs));

    // The name's lookup and the connect share the deadline: a name server that does not answer holds
    // the open no longer than a gateway that does not.
    addrinfo* addresses = nullptr;
    const int lookup = LookUpHost(host, port, deadline, &addresses, error);
    if (lookup != 0) {
        errno = lookup;
        return false;
    }
    int lastError = ETIMEDOUT;
    for (const addrinfo* a = addresses; a != nullptr && fd_ < 0; a = a->ai_next) {
        fd_ = ConnectWithin(*a, deadline);
        if (fd_ < 0) lastError = errno;
    }
    freeaddrinfo(addresses);
    if (fd_ < 0) {
        error = SystemReason(lastError);
        errno = lastError;
        return false;
    }
    hungUp_ = false;
    timeouts_ = ReadTimeouts{};
    return true;
}

void TcpPort::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    hungUp_ = false;
}

void TcpPort::purge() {
    if (fd_ < 0 || hungUp_) return;
    uint8_t scrap[512];
    for (;;) {
        const ssize_t n = ::recv(fd_, scrap, sizeof scrap, MSG_DONTWAIT);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) hungUp_ = true;
        return;
    }
}

size_t TcpPort::write(const uint8_t* bytes, size_t count) {
    if (fd_ < 0 || hungUp_) return 0;
    size_t written = 0;
    while (written < count) {
        // MSG_NOSIGNAL: a connection reset by the gateway is a failed write, not SIGPIPE.
        const ssize_t n = ::send(fd_, bytes + written, count - written, MSG_NOSIGNAL);
        if (n > 0) {
            written += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The socket's buffer is full (a stalled gateway): wait for room, but not for ever.
            const int ready = WaitForDescriptor(fd_, POLLOUT, Clock::now() + std::chrono::seconds(1));
            if (ready <= 0 || (ready & (POLLERR | POLLHUP | POLLNVAL))) break;
        } else {
            break;
        }
    }
    if (written < count) hungUp_ = true;
    return written;
}

size_t TcpPort::read(uint8_t* bytes, size_t count) {
    if (fd_ < 0 || hungUp_ || count == 0) return 0;
    // The waiting of the serial port; bytes of one reply may come in several segments.
    const TimedRead read =
        ReadUnderTimeouts(fd_, timeouts_, count, [this, bytes, count](short, size_t received) -> ssize_t {
            const ssize_t n = ::recv(fd_, bytes + received, count - received, MSG_DONTWAIT);
            if (n > 0) return n;
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
            // 0: the gateway closed the connection; an error: it was reset. Nothing more will come.
            return -1;
        });
    if (read.ended) hungUp_ = true;
    return read.received;
}

size_t TcpPort::readAvailable(uint8_t* bytes, size_t count) {
    if (fd_ < 0 || hungUp_ || count == 0) return 0;
    const ssize_t n = ::recv(fd_, bytes, count, MSG_DONTWAIT);
    if (n > 0) return static_cast<size_t>(n);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    hungUp_ = true; // closed by the gateway, or reset
    return 0;
}

} // namespace olv::link
