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
constexpr char MbtcpPrefix[] = "mbtcp://";
constexpr size_t MbtcpPrefixLength = sizeof MbtcpPrefix - 1;

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
    return devicePath.compare(0, TcpPrefixLength, TcpPrefix) == 0 ||
           devicePath.compare(0, MbtcpPrefixLength, MbtcpPrefix) == 0;
}

std::string ParseNetworkPath(const std::string& devicePath, std::string& host, std::string& port,
                             Framing& framing) {
    const bool mbtcp = devicePath.compare(0, MbtcpPrefixLength, MbtcpPrefix) == 0;
    if (!mbtcp && !IsTcpPath(devicePath))
        return "not a gateway address: it starts neither with tcp:// nor mbtcp://";
    const std::string form = mbtcp ? "not a Modbus TCP address of the form mbtcp://HOST[:PORT]"
                                   : "not a TCP address of the form tcp://HOST:PORT";
    std::string rest = devicePath.substr(mbtcp ? MbtcpPrefixLength : TcpPrefixLength);
    if (!rest.empty() && rest.back() == '/') rest.pop_back(); // host:port/ as typed in a browser
    size_t colon = std::string::npos;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos || (close + 1 < rest.size() && rest[close + 1] != ':')) return form;
        host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) colon = close + 1;
    } else {
        colon = rest.rfind(':');
        // An IPv6 address without brackets cannot be told from its port.
        if (colon != std::string::npos && rest.find(':') != colon) return form;
        host = rest.substr(0, colon);
    }
    if (colon == std::string::npos) {
        if (!mbtcp) return form;
        port = "502"; // the Modbus TCP port
    } else {
        port = rest.substr(colon + 1);
    }
    const bool digits =
        !port.empty() && std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (host.empty() || !digits) return form;
    if (port.size() > 5 || std::stoi(port) < 1 || std::stoi(port) > 65535)
        return "TCP port " + port + " is outside 1..65535";
    framing = mbtcp ? Framing::ModbusTcp : Framing::Rtu;
    return {};
}

bool ParseTcpPath(const std::string& devicePath, std::string& host, std::string& port) {
    Framing framing = Framing::Rtu;
    return ParseNetworkPath(devicePath, host, port, framing).empty();
}

TcpPort::~TcpPort() {
    close();
}

bool TcpPort::open(const std::string& devicePath, const LineSettings& line, std::string& error) {
    close();
    std::string host, port;
    Framing framing = Framing::Rtu;
    error = ParseNetworkPath(devicePath, host, port, framing);
    if (!error.empty()) {
        errno = EINVAL;
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
    framing_ = framing;
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
    uint8_t scrap[4096];
    for (size_t dropped = 0; dropped < PurgeLimit;) {
        const ssize_t n = ::recv(fd_, scrap, sizeof scrap, MSG_DONTWAIT);
        if (n > 0) {
            dropped += static_cast<size_t>(n);
            continue;
        }
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

size_t TcpPort::readFrame(uint8_t* bytes, size_t count, const FrameCutter& cut) {
    if (fd_ < 0 || hungUp_ || count == 0) return 0;
    const auto deadline =
        Clock::now() +
        std::chrono::milliseconds(static_cast<int64_t>(timeouts_.multiplierMs) * static_cast<int64_t>(count) +
                                  timeouts_.constantMs);
    size_t received = 0;
    size_t discard = 0; // bytes still to come of a skipped frame that did not fit
    uint8_t scrap[256];
    for (;;) {
        size_t want = 0;
        if (discard == 0) {
            const FrameCut frame = cut(bytes, received);
            if (frame.kind == FrameCut::Whole) return std::min(frame.length, received);
            if (frame.kind == FrameCut::Broken) {
                hungUp_ = true; // what follows cannot be framed: the owner starts a clean stream
                return received;
            }
            if (frame.kind == FrameCut::Skip) {
                const size_t drop = std::min(frame.length, received);
                std::memmove(bytes, bytes + drop, received - drop);
                received -= drop;
                discard = frame.length - drop;
                continue;
            }
            if (received >= count) return received;
            // Only what the frame still needs, so that the start of a later frame stays in the socket.
            want = std::clamp(frame.length, received + 1, count) - received;
        }
        // A gateway that never stops sending keeps the descriptor ready: the deadline is looked at first.
        if (Clock::now() >= deadline || WaitForDescriptor(fd_, POLLIN, deadline) <= 0) return received;
        uint8_t* into = discard > 0 ? scrap : bytes + received;
        const size_t room = discard > 0 ? std::min(discard, sizeof scrap) : want;
        const ssize_t n = ::recv(fd_, into, room, MSG_DONTWAIT);
        if (n > 0) {
            if (discard > 0)
                discard -= static_cast<size_t>(n);
            else
                received += static_cast<size_t>(n);
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            hungUp_ = true; // closed by the gateway, or reset
            return received;
        }
    }
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
