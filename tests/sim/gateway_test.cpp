// The program's master against the simulator serving as a Modbus TCP gateway.
#include "device/device_text.h"
#include "device/live_value.h"
#include "link/line_port.h"
#include "link/link_settings.h"
#include "link/port_master.h"
#include "tests/support/sim_fixture.h"

#include <gtest/gtest.h>

#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace olv::link;

namespace {

struct Gateway {
    explicit Gateway(std::vector<std::string> args, int address = 1) {
        args.insert(args.begin(), {"--quiet", "--mbtcp", "127.0.0.1:0"});
        std::string error;
        EXPECT_TRUE(sim.start(args) && port.open(sim.path(), LineSettings{}, error)) << error;
        settings.address = address;
        settings.timeoutMs = 300;
    }
    olv::test::SimInstrument sim; // ended by its pid at the end of the test
    LinePort port;
    LinkSettings settings;
    PortMaster master{port, settings};
    uint8_t code = 0;
};

} // namespace

TEST(SimGateway, TheDeviceOperationsReadAndWriteThroughIt) {
    Gateway g({"--value", "2.5"});
    bool allModbusTcp = true;
    g.master.setObserver([&](const ExchangeRecord& r) { allModbusTcp &= r.framing == Framing::ModbusTcp; });
    olv::device::LiveReading live;
    ASSERT_EQ(olv::device::ReadLiveValue(g.master, 0, live, g.code), 0);
    EXPECT_FLOAT_EQ(live.liveValue, 2.5f);
    olv::device::RegisterImage image;
    image.words[48] = 0x4142; // "AB"
    ASSERT_EQ(olv::device::WriteDeviceText(g.master, image, g.code), 0);
    EXPECT_EQ(g.sim.reg(48), 0x4142);
    EXPECT_TRUE(allModbusTcp);
}

TEST(SimGateway, AUnitThatDoesNotAnswerIsExceptionElevenOrSilence) {
    uint16_t values[3];
    Gateway answering({}, 9);
    EXPECT_EQ(answering.master.readHoldingRegisters(15, 3, values, answering.code),
              ExceptionReply | WrongFunction | WrongLength);
    EXPECT_EQ(answering.code, 11);

    Gateway silent({"--gateway-silent"}, 9);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(silent.master.readHoldingRegisters(15, 3, values, silent.code), NoReply | WrongLength);
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
}

// Faults are switched on a gateway while it serves, through its FIFO as on a line; the FIFO it made
// goes with it.
TEST(SimGateway, TakesCommandsThroughItsControlFifo) {
    const std::string fifo = "/tmp/olv-gateway-test-" + std::to_string(getpid()) + "-control";
    {
        Gateway g({"--control", fifo});
        ASSERT_TRUE(g.sim.running());
        const auto send = [&fifo](const std::string& command) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            const bool sent =
                fd >= 0 && ::write(fd, command.data(), command.size()) == ssize_t(command.size());
            if (fd >= 0) ::close(fd);
            return sent;
        };
        ASSERT_TRUE(send("fault exception 4 once\n"));
        EXPECT_EQ(g.sim.readReply(), "ok fault exception 4 once");
        uint16_t values[3];
        EXPECT_EQ(g.master.readHoldingRegisters(15, 3, values, g.code),
                  ExceptionReply | WrongFunction | WrongLength);
        EXPECT_EQ(g.code, 4);
        EXPECT_EQ(g.master.readHoldingRegisters(15, 3, values, g.code), 0);
        ASSERT_TRUE(send("quit\n"));
        EXPECT_EQ(g.sim.readReply(), "ok bye");
    }
    struct stat st {};
    EXPECT_NE(::stat(fifo.c_str(), &st), 0) << "the FIFO it made outlived it";
}
