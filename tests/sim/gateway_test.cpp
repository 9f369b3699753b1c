// The program's master against the simulator serving as a Modbus TCP gateway, and Debian's mbpoll
// against the same gateway.
#include "device/configuration.h"
#include "device/device_text.h"
#include "device/live_value.h"
#include "link/line_port.h"
#include "link/link_settings.h"
#include "link/rtu_master.h"
#include "tests/support/sim_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace olv::link;
using olv::test::SimInstrument;

namespace {

class GatewayTest : public ::testing::Test {
  protected:
    void start(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--quiet", "--mbtcp", "127.0.0.1:0", "--address", "1"};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sim.start(args));
        ASSERT_EQ(sim.path().rfind("mbtcp://127.0.0.1:", 0), 0u) << sim.path();
        std::string error;
        ASSERT_TRUE(port.open(sim.path(), LineSettings{}, error)) << error;
        settings.address = 1;
        settings.timeoutMs = 300;
    }
    SimInstrument sim; // ended by its pid at the end of the test
    LinePort port;
    LinkSettings settings;
    RtuMaster master{port, settings};
    uint8_t code = 0;
};

} // namespace

TEST_F(GatewayTest, TheDeviceOperationsReadAndWriteThroughIt) {
    start({"--value", "2.5", "--set", "text=Gateway"});
    std::vector<Framing> framings;
    master.setObserver([&](const ExchangeRecord& r) { framings.push_back(r.framing); });
    olv::device::LiveReading live;
    ASSERT_EQ(olv::device::ReadLiveValue(master, 0, live, code), 0);
    EXPECT_FLOAT_EQ(live.liveValue, 2.5f);
    olv::device::RegisterImage image;
    ASSERT_EQ(olv::device::ReadConfiguration(master, image, code, [](int) {}), 0);
    for (int r : {0, 8, 20, 47})
        EXPECT_EQ(image.words[size_t(r)], sim.reg(r)) << r;
    ASSERT_EQ(olv::device::ReadDeviceText(master, image, code), 0);
    image.words[48] = 0x4142; // "AB"
    ASSERT_EQ(olv::device::WriteDeviceText(master, image, code), 0);
    EXPECT_EQ(sim.reg(48), 0x4142);
    EXPECT_EQ(framings, std::vector<Framing>(framings.size(), Framing::ModbusTcp));
}

TEST_F(GatewayTest, AUnitThatDoesNotAnswerIsExceptionEleven) {
    start();
    settings.address = 9;
    uint16_t values[3];
    EXPECT_EQ(master.readHoldingRegisters(15, 3, values, code), ExceptionReply | WrongFunction | WrongLength);
    EXPECT_EQ(code, 11);
    settings.address = 1; // the same connection serves on
    EXPECT_EQ(master.readHoldingRegisters(15, 3, values, code), 0);
}

TEST_F(GatewayTest, ASilentGatewayIsNoReplyWithinTheTimeOut) {
    start({"--gateway-silent"});
    settings.address = 9;
    uint16_t values[3];
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(master.readHoldingRegisters(15, 3, values, code), NoReply | WrongLength);
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    EXPECT_FALSE(port.hungUp());
}

TEST_F(GatewayTest, AMalformedRequestDropsTheConnection) {
    start();
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(std::stoi(sim.path().substr(sim.path().rfind(':') + 1))));
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const uint8_t protocolOne[] = {0, 1, 0, 1, 0, 6, 1, 3, 0, 15, 0, 3};
    ASSERT_EQ(send(fd, protocolOne, sizeof protocolOne, MSG_NOSIGNAL), ssize_t(sizeof protocolOne));
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    uint8_t byte;
    EXPECT_EQ(recv(fd, &byte, 1, 0), 0) << "closed without a reply";
    close(fd);
}

TEST(GatewayRefused, TheOpenFailsWithTheSystemsReason) {
    LinePort port;
    std::string error;
    errno = 0;
    EXPECT_FALSE(port.open("mbtcp://127.0.0.1:1", LineSettings{}, error));
    EXPECT_EQ(errno, ECONNREFUSED);
    EXPECT_FALSE(error.empty());
}
