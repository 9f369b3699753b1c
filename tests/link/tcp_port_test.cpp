// The RTU line over TCP against a listening socket on the loopback address, and the port that picks the
// termios or the TCP port by the path and tells when a line has hung up.
#include "link/line_port.h"
#include "link/link_health.h"
#include "link/link_settings.h"
#include "link/port_master.h"
#include "link/tcp_port.h"
#include "tests/support/fake_port.h"
#include "tests/support/flood_gateway.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace olv::link;
using olv::test::FakePort;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

namespace {

// A gateway stand-in: listens on 127.0.0.1 at a free port and serves one connection at a time.
class LoopbackGateway {
  public:
    explicit LoopbackGateway(int backlog = 4) {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener_, backlog) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            ADD_FAILURE() << "no listening socket";
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackGateway() {
        dropClient();
        if (listener_ >= 0) close(listener_);
    }
    std::string path() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    int port() const { return port_; }

    // True once a connection waits in the listen queue to be accepted.
    bool waitForQueuedConnection() {
        pollfd p = {listener_, POLLIN, 0};
        return poll(&p, 1, 5000) == 1;
    }
    bool accept() {
        if (!waitForQueuedConnection()) return false;
        client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        return client_ >= 0;
    }
    void send(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    std::vector<uint8_t> receive(size_t count) {
        std::vector<uint8_t> bytes(count);
        size_t got = 0;
        while (got < count) {
            pollfd p = {client_, POLLIN, 0};
            if (poll(&p, 1, 5000) != 1) break;
            const ssize_t n = recv(client_, bytes.data() + got, count - got, 0);
            if (n <= 0) break;
            got += size_t(n);
        }
        bytes.resize(got);
        return bytes;
    }
    void dropClient() {
        if (client_ >= 0) close(client_);
        client_ = -1;
    }
    void stopListening() {
        close(listener_);
        listener_ = -1;
    }

  private:
    int listener_ = -1;
    int client_ = -1;
    int port_ = 0;
};

// The request and reply of a live-value read at address 1 (registers 15..17: status 0, value 100.0).
const std::vector<uint8_t> LiveRequest = {0x01, 0x03, 0x00, 0x0F, 0x00, 0x03, 0x35, 0xC8};
const std::vector<uint8_t> LiveReply = {0x01, 0x03, 0x06, 0x00, 0x00, 0x42, 0xC8, 0x00, 0x00, 0x75, 0xA5};

class TcpPortTest : public ::testing::Test {
  protected:
    bool openPort(int connectTimeoutMs = 1000, const std::string& prefix = "tcp://") {
        LineSettings line;
        line.connectTimeoutMs = connectTimeoutMs;
        return port.open(prefix + "127.0.0.1:" + std::to_string(gateway.port()), line, error) &&
               gateway.accept();
    }
    LoopbackGateway gateway;
    TcpPort port;
    std::string error;
};

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace

TEST(TcpPath, OnlyTcpHostColonPortNamesAGateway) {
    struct Case {
        const char* path;
        bool valid;
        const char* host;
        const char* port;
    } cases[] = {
        {"tcp://127.0.0.1:4001", true, "127.0.0.1", "4001"},
        {"tcp://[::1]:502", true, "::1", "502"},
        {"tcp://gateway.plant:65535/", true, "gateway.plant", "65535"},
        {"tcp://127.0.0.1", false, "", ""},
        {"tcp://:502", false, "", ""},
        {"tcp://127.0.0.1:0", false, "", ""},
        {"tcp://127.0.0.1:65536", false, "", ""},
        {"tcp://127.0.0.1:50x", false, "", ""},
        {"tcp://[::1]502", false, "", ""},
        {"/dev/ttyUSB0", false, "", ""},
        {"TCP://127.0.0.1:502", false, "", ""},
        {"mbtcp://[::1]", true, "::1", "502"},
    };
    for (const Case& c : cases) {
        std::string host, port;
        EXPECT_EQ(ParseTcpPath(c.path, host, port), c.valid) << c.path;
        if (c.valid) {
            EXPECT_EQ(host, c.host) << c.path;
            EXPECT_EQ(port, c.port) << c.path;
        }
    }
}

TEST_F(TcpPortTest, AFrameGoesOutAsIsAndAReplyInPiecesIsReadWhole) {
    ASSERT_TRUE(openPort()) << error;
    EXPECT_EQ(port.write(LiveRequest.data(), LiveRequest.size()), LiveRequest.size());
    EXPECT_EQ(gateway.receive(LiveRequest.size()), LiveRequest);

    port.setReadTimeouts(ReadTimeoutsFor(19200, 1000));
    std::thread gatewaySide([this] {
        gateway.send({LiveReply.begin(), LiveReply.begin() + 4});
        std::this_thread::sleep_for(std::chrono::milliseconds(3)); // well inside the 12 ms silence
        gateway.send({LiveReply.begin() + 4, LiveReply.end()});
    });
    uint8_t reply[13] = {};
    EXPECT_EQ(port.read(reply, sizeof reply), LiveReply.size()) << "ends by the silence after the reply";
    gatewaySide.join();
    EXPECT_EQ(std::vector<uint8_t>(reply, reply + LiveReply.size()), LiveReply);
    EXPECT_EQ(port.takeLineErrors(), 0u);
    EXPECT_FALSE(port.hungUp());
}

TEST_F(TcpPortTest, ASilentGatewayEndsTheReadAfterTheTotalTimeOut) {
    ASSERT_TRUE(openPort()) << error;
    port.setReadTimeouts(ReadTimeouts{12, 12, 200});
    uint8_t reply[11];
    const auto start = Clock::now();
    EXPECT_EQ(port.read(reply, sizeof reply), 0u);
    const int64_t took = MsSince(start);
    EXPECT_GE(took, 332);
    EXPECT_LT(took, 3000);
    EXPECT_FALSE(port.hungUp());
}

TEST_F(TcpPortTest, PurgeDropsWhatHasArrived) {
    ASSERT_TRUE(openPort()) << error;
    gateway.send({0xAA, 0xBB, 0xCC});
    pollfd settle = {-1, 0, 0};
    poll(&settle, 0, 100); // loopback delivers long before this
    port.purge();
    gateway.send(LiveReply);
    port.setReadTimeouts(ReadTimeoutsFor(19200, 1000));
    uint8_t reply[11] = {};
    EXPECT_EQ(port.read(reply, sizeof reply), 11u);
    EXPECT_EQ(std::vector<uint8_t>(reply, reply + 11), LiveReply);
}

TEST_F(TcpPortTest, AConnectionClosedByTheGatewayIsAHangUpUntilTheNextOpen) {
    ASSERT_TRUE(openPort()) << error;
    gateway.send({0x01, 0x03});
    gateway.dropClient();
    port.setReadTimeouts(ReadTimeouts{12, 12, 5000});
    uint8_t reply[11];
    const auto start = Clock::now();
    EXPECT_EQ(port.read(reply, sizeof reply), 2u) << "what came before the close still counts";
    EXPECT_EQ(port.read(reply, sizeof reply), 0u);
    EXPECT_LT(MsSince(start), 2500) << "no waiting for a reply that cannot come";
    EXPECT_TRUE(port.hungUp());
    EXPECT_TRUE(port.isOpen()) << "the owner decides when to close it";
    EXPECT_EQ(port.write(LiveRequest.data(), LiveRequest.size()), 0u);

    ASSERT_TRUE(openPort()) << error;
    EXPECT_FALSE(port.hungUp());
    EXPECT_EQ(port.write(LiveRequest.data(), LiveRequest.size()), LiveRequest.size());
    EXPECT_EQ(gateway.receive(LiveRequest.size()), LiveRequest);

    // Closed while the line is idle: the purge before the next request finds the connection gone.
    gateway.dropClient();
    for (const auto until = Clock::now() + std::chrono::seconds(2); !port.hungUp() && Clock::now() < until;)
        port.purge();
    EXPECT_TRUE(port.hungUp()) << "the purge did not notice the closed connection";
}

TEST_F(TcpPortTest, AWriteThatCannotCompleteLeavesTheLineHungUp) {
    // A gateway that takes nothing more: once the socket buffers are full the write waits a second
    // for room, gives up, and the line counts as lost.
    ASSERT_TRUE(openPort()) << error;
    const std::vector<uint8_t> flood(64 << 20, 0x55); // far more than any socket buffer holds
    const size_t written = port.write(flood.data(), flood.size());
    EXPECT_LT(written, flood.size());
    EXPECT_TRUE(port.hungUp());
    EXPECT_EQ(port.write(LiveRequest.data(), LiveRequest.size()), 0u);
}

TEST_F(TcpPortTest, ARefusedConnectionFailsAtOnceWithItsReason) {
    const std::string path = gateway.path();
    gateway.stopListening();
    LineSettings line;
    line.connectTimeoutMs = 5000;
    const auto start = Clock::now();
    EXPECT_FALSE(port.open(path, line, error));
    EXPECT_LT(MsSince(start), 2500);
    EXPECT_EQ(error, "Connection refused");
    EXPECT_FALSE(port.isOpen());
    uint8_t byte = 0;
    EXPECT_EQ(port.write(&byte, 1), 0u);
    EXPECT_EQ(port.read(&byte, 1), 0u);
}

TEST_F(TcpPortTest, AConnectThatGetsNoAnswerGivesUpAfterTheConnectTimeOut) {
    // A gateway whose queue of connections is full ignores new ones. With a backlog of 0 the queue
    // holds one connection; once that one is waiting in it (the listener reads ready), the kernel
    // drops every further SYN, so the connect below gets no answer at all.
    LoopbackGateway full(0);
    const int filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(full.port()));
    const bool filled = connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                        full.waitForQueuedConnection();
    LineSettings quick;
    quick.connectTimeoutMs = 300;
    const auto start = Clock::now();
    const bool opened = port.open(full.path(), quick, error);
    const int64_t took = MsSince(start);
    close(filler);
    ASSERT_TRUE(filled) << "cannot set up a full listen queue: the first connection did not queue";
    ASSERT_FALSE(opened) << "opened although nothing answered (or this kernel answers a full listen queue)";
    EXPECT_EQ(error, "Connection timed out");
    EXPECT_GE(took, 300);
    EXPECT_LT(took, 300 + 2500);
    EXPECT_FALSE(port.isOpen());
}

TEST_F(TcpPortTest, AnAddressThatIsNoGatewayIsRefusedWithAReason) {
    EXPECT_FALSE(port.open("tcp://127.0.0.1", LineSettings{}, error));
    EXPECT_EQ(error, "not a TCP address of the form tcp://HOST:PORT");
}

TEST_F(TcpPortTest, ThePurgeTakesABoundedAmountFromAFloodingGateway) {
    ASSERT_TRUE(openPort()) << error;
    std::atomic<bool> sent{false};
    std::thread flood([&] {
        gateway.send(Bytes(16 * TcpPort::PurgeLimit, 0x55));
        sent = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    port.purge();
    uint8_t rest[4096];
    EXPECT_GT(port.readAvailable(rest, sizeof rest), 0u) << "the purge returned before the flood was drained";
    while (!sent)
        port.readAvailable(rest, sizeof rest);
    flood.join();
}

// Replies to the first read (transaction 1) in pieces with gaps far beyond the 12 ms silence of 19200
// bit/s, or without end: read whole by their length, or ended by a broken stream or the time-out.
TEST_F(TcpPortTest, RepliesAreReadByTheirLengthWithinTheTimeOut) {
    const Bytes mbapRequest = {0, 1, 0, 0, 0, 6, 1, 3, 0, 15, 0, 3};
    const Bytes older = {0, 0, 0, 0, 0, 9, 1, 3, 6, 0, 0, 0x11, 0x11, 0, 0,
                         0, 1, 0, 0, 0, 9, 1, 3, 6, 0, 0, 0x42, 0xC8, 0, 0};
    const struct {
        const char* prefix;
        Bytes request, reply;
        bool endless;
        ResultFlags flags; // WrongLength alone: a broken stream, the port hung up
    } cases[] = {
        {"tcp://", LiveRequest, {1, 3, 6, 0, 0, 0x42, 0xC8, 0, 0, 0xB4, 0xF3}, false, 0},
        {"mbtcp://", mbapRequest, older, false, 0},
        {"mbtcp://", mbapRequest, {0, 1, 0, 0, 0xFF, 0xFF, 1, 3}, false, WrongLength},
        {"mbtcp://", mbapRequest, {0x77, 0x77, 0, 0, 0, 3, 1, 0x83, 2}, true, NoReply | WrongLength}};
    for (const auto& c : cases) {
        ASSERT_TRUE(openPort(1000, c.prefix)) << error;
        LinkSettings settings;
        settings.address = 1;
        settings.timeoutMs = 300;
        PortMaster master(port, settings);
        std::atomic<bool> done{false};
        std::thread gatewaySide([&] {
            EXPECT_EQ(gateway.receive(c.request.size()), c.request) << c.prefix;
            do {
                for (size_t at = 0; at < c.reply.size(); at += 5) {
                    gateway.send({c.reply.begin() + long(at),
                                  c.reply.begin() + long(std::min(at + 5, c.reply.size()))});
                    if (!c.endless) std::this_thread::sleep_for(std::chrono::milliseconds(40));
                }
            } while (c.endless && !done);
        });
        uint16_t values[3] = {};
        uint8_t code = 0;
        const auto start = Clock::now();
        EXPECT_EQ(master.readHoldingRegisters(15, 3, values, code), c.flags) << c.prefix;
        EXPECT_LT(MsSince(start), 2000);
        done = true;
        gatewaySide.join();
        EXPECT_EQ(port.hungUp(), c.flags == WrongLength) << c.prefix;
        if (c.flags == 0) {
            EXPECT_EQ(values[1], 0x42C8) << c.prefix;
        }
        gateway.dropClient();
    }
}

// A gateway that floods the connection with well-formed replies of other transactions: the read passes
// over them until its time-out, as for any reply that does not come, and the frames it skipped are
// counted with the broken replies. While it reads, the waits go through the ports' waiter, which is
// what lets a window go on with its events (the waiter is the window's; here it only counts).
TEST(TcpPortFlood, RepliesOfOtherTransactionsAreSkippedUntilTheTimeOutAndCounted) {
    olv::test::FloodingGateway flood;
    TcpPort port;
    std::string error;
    ASSERT_TRUE(port.open(flood.path(), LineSettings{}, error)) << error;
    LinkSettings settings;
    settings.address = 1;
    settings.timeoutMs = 300;
    PortMaster master(port, settings);
    LinkCounters counters;
    uint64_t skipped = 0;
    master.setObserver([&](const ExchangeRecord& record) {
        skipped = record.skippedReplies;
        CountExchange(counters, record);
    });
    int waits = 0;
    SetDescriptorWaiter([&waits](int fd, short events, WaitClock::time_point deadline) {
        ++waits;
        return PollDescriptor(fd, events, deadline);
    });
    uint16_t values[3] = {};
    uint8_t code = 0;
    const auto start = Clock::now();
    const ResultFlags flags = master.readHoldingRegisters(15, 3, values, code);
    const int64_t took = MsSince(start);
    SetDescriptorWaiter({});
    flood.stop();
    EXPECT_EQ(flags, NoReply | WrongLength);
    EXPECT_EQ(values[1], 0) << "a reply of another transaction was taken";
    EXPECT_GE(took, 300);
    EXPECT_LT(took, 3000);
    EXPECT_FALSE(port.hungUp()) << "well-formed frames are no broken stream";
    EXPECT_GT(skipped, 10u);
    EXPECT_LE(skipped, flood.framesSent());
    EXPECT_GT(waits, 10);
    EXPECT_EQ(counters.requests, 1u);
    EXPECT_EQ(counters.answers, 0u);
    EXPECT_EQ(counters.noReply, 1u);
    EXPECT_EQ(counters.crcErrors, skipped);
}

// The reply time-out of a Modbus TCP gateway is the link's time-out alone, without the allowance per
// character of a serial line (here 12 ms for each of the 211 bytes of a read of 100 registers): a reply
// that comes later is refused, and when it comes while the next transaction waits it is passed over as
// a reply of another transaction and counted.
TEST_F(TcpPortTest, AModbusTcpReplyAfterTheTimeOutIsRefusedAndPassedOverByTheNext) {
    ASSERT_TRUE(openPort(1000, "mbtcp://")) << error;
    LinkSettings settings;
    settings.address = 1;
    settings.timeoutMs = 100;
    PortMaster master(port, settings);
    std::vector<uint64_t> skipped;
    master.setObserver([&](const ExchangeRecord& record) { skipped.push_back(record.skippedReplies); });
    const auto reply = [](uint8_t transaction, uint16_t word) {
        Bytes frame = {0, transaction, 0, 0, 0, 203, 1, 3, 200};
        for (int i = 0; i < 100; ++i)
            frame.insert(frame.end(), {uint8_t(word >> 8), uint8_t(word)});
        return frame;
    };
    std::thread gatewaySide([&] {
        EXPECT_EQ(gateway.receive(12).size(), 12u);
        std::this_thread::sleep_for(std::chrono::milliseconds(600)); // a slow line behind the gateway
        gateway.send(reply(1, 0x1111));
        EXPECT_EQ(gateway.receive(12).size(), 12u);
        gateway.send(reply(2, 0x2222));
    });
    uint16_t values[100] = {};
    uint8_t code = 0;
    const auto start = Clock::now();
    EXPECT_EQ(master.readHoldingRegisters(0, 100, values, code), NoReply | WrongLength);
    EXPECT_LT(MsSince(start), 2000) << "waited for the late reply";
    settings.timeoutMs = 3000;
    EXPECT_EQ(master.readHoldingRegisters(0, 100, values, code), 0);
    gatewaySide.join();
    EXPECT_EQ(values[0], 0x2222) << "the late reply was taken for the next one";
    EXPECT_EQ(skipped, (std::vector<uint64_t>{0, 1}));
}

// ---- The port that picks one by the path ----

class LinePortTest : public ::testing::Test {
  protected:
    LinePortTest() {
        auto s = std::make_unique<FakePort>();
        auto n = std::make_unique<FakePort>();
        serial = s.get();
        network = n.get();
        serial->opened = network->opened = false;
        port = std::make_unique<LinePort>(std::move(s), std::move(n));
    }
    FakePort* serial = nullptr;
    FakePort* network = nullptr;
    std::unique_ptr<LinePort> port;
    std::string error;
};

TEST_F(LinePortTest, TcpPathsGoToTheNetworkPortAndEverythingElseToTheSerialPort) {
    ASSERT_TRUE(port->open("tcp://127.0.0.1:4001", LineSettings{}, error));
    EXPECT_EQ(network->opens.size(), 1u);
    EXPECT_TRUE(serial->opens.empty());
    EXPECT_EQ(&port->active(), network);

    ASSERT_TRUE(port->open("/dev/ttyUSB0", LineSettings{}, error));
    EXPECT_FALSE(network->isOpen()) << "only one port is ever open";
    EXPECT_EQ(serial->opens.size(), 1u);
    EXPECT_EQ(&port->active(), serial);
    const uint8_t frame[2] = {1, 2};
    port->write(frame, 2);
    EXPECT_EQ(serial->written.size(), 1u);
    EXPECT_TRUE(network->written.empty());
}

TEST_F(LinePortTest, ASerialLineHasHungUpWhenAWriteFallsShortOrAnEmptyReadEndsEarly) {
    ASSERT_TRUE(port->open("/dev/ttyUSB0", LineSettings{}, error));
    uint8_t bytes[8] = {};
    // The fake answers at once: an empty read under a budget of 0 ms is an ordinary time-out...
    port->setReadTimeouts(ReadTimeouts{0, 0, 0});
    EXPECT_EQ(port->read(bytes, 8), 0u);
    EXPECT_FALSE(port->hungUp());
    // ...and one that came back empty long before its budget ran out met a hung-up line.
    port->setReadTimeouts(ReadTimeouts{12, 12, 1000});
    serial->queueReply({0x01});
    EXPECT_EQ(port->read(bytes, 8), 1u);
    EXPECT_FALSE(port->hungUp()) << "a short reply is the line's business, not a hang-up";
    EXPECT_EQ(port->read(bytes, 8), 0u);
    EXPECT_TRUE(port->hungUp());

    ASSERT_TRUE(port->open("/dev/ttyUSB0", LineSettings{}, error));
    EXPECT_FALSE(port->hungUp()) << "a new open starts afresh";
    serial->opened = false; // the fake writes nothing on a closed port, as a pulled adapter
    EXPECT_EQ(port->write(bytes, 8), 0u);
    EXPECT_FALSE(port->hungUp()) << "a closed port has not hung up";
}

TEST_F(LinePortTest, ANetworkLineTellsItsOwnHangUp) {
    ASSERT_TRUE(port->open("tcp://127.0.0.1:4001", LineSettings{}, error));
    EXPECT_FALSE(port->hungUp());
    network->lineHungUp = true;
    EXPECT_TRUE(port->hungUp());
    port->close();
    EXPECT_FALSE(port->hungUp());
}
