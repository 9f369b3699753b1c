#include "tests/support/flood_gateway.h"

#include "link/modbus_tcp_frame.h"

#include <gtest/gtest.h>

#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace olv::test {

FloodingGateway::FloodingGateway() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        ADD_FAILURE() << "the flooding gateway cannot listen";
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

FloodingGateway::~FloodingGateway() {
    stop();
    for (int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

void FloodingGateway::stop() {
    if (!thread_.joinable()) return;
    const char byte = 0;
    (void)::write(wake_[1], &byte, 1);
    thread_.join();
}

void FloodingGateway::run() {
    int client = -1;
    bool asked = false;
    uint16_t transaction = 0;
    std::vector<uint8_t> out; // frames not yet taken by the connection, from `sent` on
    size_t sent = 0;
    for (;;) {
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {client >= 0 ? client : listener_, 0, 0}};
        fds[1].events = client < 0 ? POLLIN : static_cast<short>(POLLIN | (asked ? POLLOUT : 0));
        if (::poll(fds, 2, 1000) < 0) continue;
        if (fds[0].revents) break;
        if (client < 0) {
            if (fds[1].revents & POLLIN)
                client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            continue;
        }
        if (fds[1].revents & (POLLERR | POLLHUP)) break;
        if (fds[1].revents & POLLIN) {
            uint8_t request[512];
            const ssize_t n = ::recv(client, request, sizeof request, 0);
            if (n == 0) break;
            if (n >= 2) {
                transaction = link::MbapTransaction(request);
                asked = true;
            }
        }
        if (!(fds[1].revents & POLLOUT)) continue;
        if (sent == out.size()) {
            // A hundred replies of another transaction to a read of 3 registers, each whole.
            out.clear();
            sent = 0;
            const uint8_t pdu[] = {3, 6, 0, 0, 0x42, 0xC8, 0, 0};
            uint8_t frame[link::MaxModbusTcpFrame];
            for (int i = 0; i < 100; ++i) {
                const size_t length = link::BuildModbusTcpFrame(static_cast<uint16_t>(transaction + 0x8000),
                                                                1, pdu, sizeof pdu, frame);
                out.insert(out.end(), frame, frame + length);
            }
        }
        const ssize_t n = ::send(client, out.data() + sent, out.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            const size_t frameLength = link::MbapHeaderLength + 8;
            frames_ += (sent + static_cast<size_t>(n)) / frameLength - sent / frameLength;
            sent += static_cast<size_t>(n);
        }
    }
    if (client >= 0) ::close(client);
}

} // namespace olv::test
