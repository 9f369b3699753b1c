#include "sim/gateway.h"

#include "link/crc16.h"
#include "link/modbus_tcp_frame.h"
#include "sim/text_values.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace olv::sim {

namespace {

constexpr uint8_t PathUnavailable = 10;
constexpr uint8_t TargetFailedToRespond = 11;
constexpr size_t MaxConnections = 16;

std::vector<uint8_t> Frame(const std::vector<uint8_t>& request, uint8_t unit, const uint8_t* pdu,
                           size_t length) {
    std::vector<uint8_t> out(link::MbapHeaderLength + length);
    link::BuildModbusTcpFrame(link::MbapTransaction(request.data()), unit, pdu, length, out.data());
    return out;
}

bool RtuFrameValid(const std::vector<uint8_t>& frame) {
    if (frame.size() < 4) return false;
    const uint16_t crc = link::Crc16(frame.data(), static_cast<int>(frame.size()) - 3);
    return frame[frame.size() - 2] == static_cast<uint8_t>(crc) &&
           frame[frame.size() - 1] == static_cast<uint8_t>(crc >> 8);
}

struct Pending {
    double due = 0;
    std::vector<uint8_t> bytes;
};

struct Connection {
    int fd = -1;
    std::vector<uint8_t> rx;
    std::deque<Pending> tx;
    std::string peer;
    ~Connection() {
        if (fd >= 0) ::close(fd);
    }
};

int Listen(const std::string& host, const std::string& port, std::string& bound, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* addresses = nullptr;
    const int lookup = getaddrinfo(host.c_str(), port.c_str(), &hints, &addresses);
    if (lookup != 0) {
        error = "cannot resolve " + host + ": " + gai_strerror(lookup);
        return -1;
    }
    int fd = -1;
    for (const addrinfo* a = addresses; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 8) != 0) {
            error = "cannot listen at " + host + ":" + port + ": " + std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(addresses);
    if (fd < 0) return -1;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    char service[16] = "";
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    getnameinfo(reinterpret_cast<sockaddr*>(&address), length, nullptr, 0, service, sizeof service,
                NI_NUMERICSERV);
    bound = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + service;
    return fd;
}

} // namespace

GatewayReply AnswerModbusTcp(Line& line, const std::vector<uint8_t>& request, bool silent, double now) {
    GatewayReply answer;
    const uint8_t unit = request[6];
    const uint8_t* pdu = request.data() + link::MbapHeaderLength;
    const size_t pduLength = request.size() - link::MbapHeaderLength;
    std::vector<uint8_t> rtu;
    rtu.reserve(1 + pduLength + 2);
    rtu.push_back(unit);
    rtu.insert(rtu.end(), pdu, pdu + pduLength);
    const uint16_t crc = link::Crc16(rtu.data(), static_cast<int>(rtu.size()) - 1);
    rtu.push_back(static_cast<uint8_t>(crc & 0xFF));
    rtu.push_back(static_cast<uint8_t>(crc >> 8));

    const std::string head =
        "tcp transaction " + std::to_string(link::MbapTransaction(request.data())) + ", ";
    if (rtu.size() > 256) {
        // More than an RTU frame can carry: there is no path for it to the line.
        const uint8_t exception[2] = {static_cast<uint8_t>(pdu[0] | 0x80), PathUnavailable};
        answer.bytes = Frame(request, unit, exception, 2);
        answer.log = head + "request too long for the line, exception 10";
        return answer;
    }
    Reply reply = line.handleFrame(rtu, Observed{}, now);
    answer.log = head + reply.log;
    answer.delayMs = reply.delayMs;
    answer.gapMs = reply.gapMs;
    if (unit == 0) return answer; // a broadcast
    if (!RtuFrameValid(reply.bytes)) {
        answer.gapMs = 0;
        if (silent) {
            answer.log += ", gateway silent";
            return answer;
        }
        const uint8_t exception[2] = {static_cast<uint8_t>(pdu[0] | 0x80), TargetFailedToRespond};
        answer.bytes = Frame(request, unit, exception, 2);
        answer.log += ", exception 11";
        return answer;
    }
    answer.bytes = Frame(request, reply.bytes[0], reply.bytes.data() + 1, reply.bytes.size() - 3);
    return answer;
}

bool ParseListenAddress(const std::string& text, std::string& host, std::string& port) {
    size_t colon = 0;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
        host = text.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = text.rfind(':');
        if (colon == std::string::npos) return false;
        host = text.substr(0, colon);
    }
    port = text.substr(colon + 1);
    long long number = 0;
    return !host.empty() && ParseInteger(port, number) && number >= 0 && number <= 65535;
}

int ServeGateway(Line& line, const std::string& listenAddress, bool silent, const GatewayIo& io) {
    std::string host, port, bound, error;
    if (!ParseListenAddress(listenAddress, host, port)) {
        io.log("--mbtcp takes HOST:PORT: " + listenAddress);
        return 2;
    }
    const int listener = Listen(host, port, bound, error);
    if (listener < 0) {
        std::fprintf(stderr, "modbus-olv-sim: %s\n", error.c_str());
        return 1;
    }
    io.say("mbtcp://" + bound + "\n");
    io.log("serving Modbus TCP at " + bound + (silent ? ", silent for units that do not answer" : ""));

    std::vector<std::unique_ptr<Connection>> connections;
    std::string commands, fifoCommands;
    bool stdinOpen = true;
    bool quit = false;

    while (!quit && !*io.stop) {
        // Replies that are due.
        double wait = 1.0;
        for (auto& c : connections) {
            while (!c->tx.empty() && c->tx.front().due <= io.now()) {
                const auto& bytes = c->tx.front().bytes;
                if (::send(c->fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
                    static_cast<ssize_t>(bytes.size()))
                    io.log("reply to " + c->peer + " not fully sent");
                c->tx.pop_front();
            }
            if (!c->tx.empty()) wait = std::min(wait, c->tx.front().due - io.now());
        }
        wait = std::max(wait, 0.0);
        const timespec timeout{static_cast<time_t>(wait),
                               static_cast<long>((wait - static_cast<long>(wait)) * 1e9)};

        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        const size_t stdinAt = fds.size();
        if (stdinOpen) fds.push_back({STDIN_FILENO, POLLIN, 0});
        const size_t fifoAt = fds.size();
        if (io.controlFd >= 0) fds.push_back({io.controlFd, POLLIN, 0});
        const size_t first = fds.size();
        for (auto& c : connections)
            fds.push_back({c->fd, POLLIN, 0});
        if (ppoll(fds.data(), fds.size(), &timeout, io.waitMask) < 0) {
            if (errno == EINTR) continue;
            io.log(std::string("poll failed: ") + std::strerror(errno));
            break;
        }

        char buffer[1024];
        std::vector<size_t> dropped;
        for (size_t i = 0; i < connections.size(); ++i) {
            if (!fds[first + i].revents) continue;
            Connection& c = *connections[i];
            const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                io.log("connection from " + c.peer + " closed");
                dropped.push_back(i);
                continue;
            }
            if (n < 0) continue;
            c.rx.insert(c.rx.end(), buffer, buffer + n);
            // Whole requests, one after the other; a header that cannot begin one ends the connection.
            while (c.rx.size() >= link::MbapPrefixLength) {
                if (!link::MbapHeaderValid(c.rx.data())) {
                    io.log("malformed Modbus TCP header from " + c.peer + ": " + HexBytes(c.rx) +
                           ", connection dropped");
                    dropped.push_back(i);
                    break;
                }
                const size_t length = link::MbapPrefixLength + link::MbapLengthField(c.rx.data());
                if (c.rx.size() < length) break;
                std::vector<uint8_t> request(c.rx.begin(), c.rx.begin() + static_cast<long>(length));
                c.rx.erase(c.rx.begin(), c.rx.begin() + static_cast<long>(length));
                GatewayReply reply = AnswerModbusTcp(line, request, silent, io.now());
                io.log(reply.log);
                const double start = io.now() + reply.delayMs / 1000.0;
                if (reply.gapMs <= 0 && !reply.bytes.empty()) {
                    c.tx.push_back({start, std::move(reply.bytes)});
                } else {
                    for (size_t b = 0; b < reply.bytes.size(); ++b)
                        c.tx.push_back(
                            {start + static_cast<double>(b) * reply.gapMs / 1000.0, {reply.bytes[b]}});
                }
            }
        }
        for (auto it = dropped.rbegin(); it != dropped.rend(); ++it)
            connections.erase(connections.begin() + static_cast<long>(*it));

        if (fds[0].revents) {
            sockaddr_storage address{};
            socklen_t length = sizeof address;
            const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
            if (fd >= 0 && connections.size() >= MaxConnections) {
                io.log("too many connections, one refused");
                ::close(fd);
            } else if (fd >= 0) {
                const int on = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                auto c = std::make_unique<Connection>();
                c->fd = fd;
                char name[64] = "", service[16] = "";
                getnameinfo(reinterpret_cast<sockaddr*>(&address), length, name, sizeof name, service,
                            sizeof service, NI_NUMERICHOST | NI_NUMERICSERV);
                c->peer = std::string(name) + ":" + service;
                io.log("connection from " + c->peer);
                connections.push_back(std::move(c));
            }
        }

        if (stdinOpen && fds[stdinAt].revents) {
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n > 0)
                commands.append(buffer, static_cast<size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                stdinOpen = false; // keep serving until a signal
        }
        if (io.controlFd >= 0 && fds[fifoAt].revents) {
            const ssize_t n = ::read(io.controlFd, buffer, sizeof buffer);
            if (n > 0) fifoCommands.append(buffer, static_cast<size_t>(n));
        }
        for (std::string* pending : {&commands, &fifoCommands}) {
            for (size_t nl; !quit && (nl = pending->find('\n')) != std::string::npos;) {
                std::string text = pending->substr(0, nl);
                pending->erase(0, nl + 1);
                if (!text.empty() && text.back() == '\r') text.pop_back();
                const auto words = SplitWords(text);
                if (words.empty()) continue;
                if (words[0] == "quit" || words[0] == "exit") {
                    io.say("ok bye\n");
                    quit = true;
                } else if (words[0] == "path") {
                    io.say("ok mbtcp://" + bound + "\n");
                } else {
                    io.say(line.command(text, io.now()));
                }
            }
        }
    }
    connections.clear();
    ::close(listener);
    io.log("stopped");
    return 0;
}

} // namespace olv::sim
