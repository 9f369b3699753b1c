// Our RTU master against an independent Modbus implementation: pymodbus serving an RTU slave on one
// end of a socat pseudo-terminal pair, our termios port on the other (and as a Modbus TCP server).
#include "link/link_settings.h"
#include "link/port_master.h"
#include "link/tcp_port.h"
#include "link/termios_port.h"
#include "tests/support/pty_peer.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace olv::link;

namespace {

class PymodbusInterop : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        socat = new olv::test::SocatPtyPair;
        slave = new olv::test::PymodbusSlave;
        if (!socat->start()) {
            failure = "socat did not come up:\n" + socat->output();
            return;
        }
        if (!slave->start(socat->first(), 1, 19200))
            failure = "pymodbus did not come up:\n" + slave->output();
    }

    static void TearDownTestSuite() {
        delete slave; // ends the python process by its pid
        delete socat; // then socat
        slave = nullptr;
        socat = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(failure.empty()) << failure;
        std::string error;
        ASSERT_TRUE(port.open(socat->second(), LineSettings{19200, 8, 0}, error)) << error;
        settings.address = 1;
        settings.baudRate = 19200;
        settings.parity = 0;
        settings.timeoutMs = 1000;
        settings.traceEnabled = 0;
    }

    static olv::test::SocatPtyPair* socat;
    static olv::test::PymodbusSlave* slave;
    static std::string failure;

    TermiosPort port;
    LinkSettings settings;
    PortMaster master{port, settings};
    uint8_t exc = 0;
};

olv::test::SocatPtyPair* PymodbusInterop::socat = nullptr;
olv::test::PymodbusSlave* PymodbusInterop::slave = nullptr;
std::string PymodbusInterop::failure;

} // namespace

TEST_F(PymodbusInterop, ReadsOneToEightRegisters) {
    for (int count = 1; count <= 8; ++count) {
        uint16_t values[8] = {};
        ASSERT_EQ(master.readHoldingRegisters(10, count, values, exc), 0) << count;
        EXPECT_EQ(exc, 0);
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(values[i], 1010 + i) << count << ":" << i;
    }
}

TEST_F(PymodbusInterop, WritesOneToEightRegistersAndReadsThemBack) {
    for (int count = 1; count <= 8; ++count) {
        uint16_t written[8];
        for (int i = 0; i < count; ++i)
            written[i] = static_cast<uint16_t>(0xA000 + 0x100 * count + i);
        ASSERT_EQ(master.writeMultipleRegisters(40, count, written, exc), 0) << count;
        EXPECT_EQ(exc, 0);
        uint16_t back[8] = {};
        ASSERT_EQ(master.readHoldingRegisters(40, count, back, exc), 0) << count;
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(back[i], written[i]) << count << ":" << i;
    }
}

TEST_F(PymodbusInterop, UnmappedAddressGivesAnExceptionReply) {
    uint16_t values[3] = {};
    EXPECT_EQ(master.readHoldingRegisters(200, 3, values, exc), ExceptionReply | WrongFunction | WrongLength);
    EXPECT_EQ(exc, 2);
    const uint16_t words[2] = {1, 2};
    EXPECT_EQ(master.writeMultipleRegisters(1000, 2, words, exc),
              ExceptionReply | WrongFunction | WrongLength);
    EXPECT_EQ(exc, 2);
    // The next good transaction clears the code again.
    EXPECT_EQ(master.readHoldingRegisters(0, 1, values, exc), 0);
    EXPECT_EQ(exc, 0);
}

TEST(PymodbusTcp, ReadsAndWritesTheMetersBlocksThroughAGateway) {
    olv::test::PymodbusSlave server; // ended by its pid when the test ends
    ASSERT_TRUE(server.startTcp(1)) << server.output();
    TcpPort port;
    std::string error;
    ASSERT_TRUE(port.open(server.path(), LineSettings{}, error)) << error;
    LinkSettings settings;
    settings.address = 1;
    PortMaster master{port, settings};
    for (const auto& [start, count] : {std::pair{0, 8}, {15, 3}, {1024, 5}, {1034, 1}}) {
        uint16_t values[8] = {},
                 written[8] = {0xB001, 0xB002, 0xB003, 0xB004, 0xB005, 0xB006, 0xB007, 0xB008};
        uint8_t exc = 0;
        ASSERT_EQ(master.readHoldingRegisters(start, count, values, exc), 0) << start;
        EXPECT_EQ(values[count - 1], 1000 + start + count - 1) << start;
        ASSERT_EQ(master.writeMultipleRegisters(start, count, written, exc), 0) << start;
        ASSERT_EQ(master.readHoldingRegisters(start, count, values, exc), 0) << start;
        EXPECT_TRUE(std::equal(values, values + count, written)) << start;
    }
}
