#include "device/device_link.h"

#include "device/sensor_configuration.h"
#include "tests/support/fake_master.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olv::test {
namespace {

using namespace olv::device;

TEST(DeviceLinkWords, AddressAndBaud) {
    EXPECT_EQ(AddressBaudWord(17, 38400), 0x1105);
    EXPECT_EQ(AddressBaudWord(1, 19200), 0x0104);
    EXPECT_EQ(AddressBaudWord(255, 1200), 0xFF00);
    EXPECT_EQ(AddressBaudWord(0x103, 9600), 0x0303); // only the low byte of the address
    EXPECT_EQ(AddressBaudWord(5, 57600), 0x0504);    // a rate not in the list goes as 19200
}

TEST(DeviceLinkWords, ByteOrderAndParity) {
    for (int order = 0; order < 4; ++order) EXPECT_EQ(ByteOrderWord(order), order);
    EXPECT_EQ(ByteOrderWord(4), 0);
    EXPECT_EQ(ByteOrderWord(-1), 0);
    EXPECT_EQ(ParityWord(0), 0);
    EXPECT_EQ(ParityWord(1), 1);
    EXPECT_EQ(ParityWord(2), 2);
    EXPECT_EQ(ParityWord(-1), 2);
    EXPECT_EQ(ParityWord(7), 2);
}

// Records the writes and the window's steps in one sequence.
struct RecordingSteps : DeviceLinkSteps {
    explicit RecordingSteps(FakeMaster& master) {
        master.onTransaction = [this](const FakeTransaction& t) {
            events.push_back("write " + std::to_string(t.start) + "=" + std::to_string(t.words.at(0)));
        };
    }
    void byteOrderWritten() override { events.push_back("byte order"); }
    void addressBaudWritten() override { events.push_back("address baud"); }
    void parityWritten() override { events.push_back("parity"); }
    std::vector<std::string> events;
};

const PendingDeviceLink Pending{17, 38400, 1, 3};

TEST(WriteDeviceLinkSettings, ThreeWritesInOrderEachFollowedByItsStep) {
    FakeMaster master;
    RecordingSteps steps(master);
    RegisterImage image;
    uint8_t exc = 5;
    EXPECT_EQ(WriteDeviceLinkSettings(master, Pending, image, steps, exc), 0);
    EXPECT_EQ(exc, 0);
    EXPECT_EQ(steps.events, (std::vector<std::string>{"write 11=3", "byte order", "write 8=4357", "address baud",
                                                      "write 1034=1", "parity"}));
    for (const auto& t : master.transactions) EXPECT_EQ(t.count, 1);
    EXPECT_EQ(master.reg(8), 0x1105);
    EXPECT_EQ(image.words[8], 0x1105);
    EXPECT_EQ(image.words[11], 3);
}

class DeviceLinkFailureTest : public ::testing::TestWithParam<int> {};

// A failure at write N leaves the later writes unsent and their steps not taken.
TEST_P(DeviceLinkFailureTest, StopsAtTheFailedWrite) {
    const int failing = GetParam();
    FakeMaster master;
    master.failTransaction(failing, {link::WrongLength | link::WrongFunction | link::ExceptionReply, 3});
    RecordingSteps steps(master);
    RegisterImage image;
    image.words[8] = 0x0104;
    image.words[11] = 0;
    uint8_t exc = 0;
    EXPECT_EQ(WriteDeviceLinkSettings(master, Pending, image, steps, exc), 0x1A);
    EXPECT_EQ(exc, 3);
    EXPECT_EQ(master.transactions.size(), static_cast<size_t>(failing + 1));

    const std::vector<std::string> all{"write 11=3", "byte order", "write 8=4357", "address baud", "write 1034=1"};
    const std::vector<std::string> expected(all.begin(), all.begin() + 2 * failing + 1);
    EXPECT_EQ(steps.events, expected);
    // The image follows only what the instrument accepted.
    EXPECT_EQ(image.words[11], failing > 0 ? 3 : 0);
    EXPECT_EQ(image.words[8], failing > 1 ? 0x1105 : 0x0104);
}

INSTANTIATE_TEST_SUITE_P(EachWrite, DeviceLinkFailureTest, ::testing::Values(0, 1, 2));

// The window resets its pending values when it refreshes its controls between the steps; the words
// still come from what the user confirmed.
TEST(WriteDeviceLinkSettings, WordsComeFromThePendingValuesAtTheStart) {
    FakeMaster master;
    PendingDeviceLink windowPending = Pending;
    struct ResettingSteps : RecordingSteps {
        ResettingSteps(FakeMaster& m, PendingDeviceLink& p) : RecordingSteps(m), pending(p) {}
        void byteOrderWritten() override { pending = PendingDeviceLink{}; }
        PendingDeviceLink& pending;
    } steps(master, windowPending);
    RegisterImage image;
    uint8_t exc = 0;
    EXPECT_EQ(WriteDeviceLinkSettings(master, windowPending, image, steps, exc), 0);
    EXPECT_EQ(master.reg(8), 0x1105);
    EXPECT_EQ(master.reg(1034), 1);
}

// After the byte order has been changed, the next configuration write must not put the old one back.
TEST(WriteDeviceLinkSettings, LaterConfigurationWriteKeepsTheNewByteOrder) {
    FakeMaster master;
    master.reg(11) = 0;
    RegisterImage image;
    uint8_t exc = 0;
    ASSERT_EQ(ReadConfiguration(master, image, exc, {}), 0);
    RecordingSteps steps(master);
    ASSERT_EQ(WriteDeviceLinkSettings(master, Pending, image, steps, exc), 0);
    ASSERT_EQ(WriteConfiguration(master, image, exc, {}, {}), 0);
    EXPECT_EQ(master.reg(11), 3);
}

} // namespace
} // namespace olv::test
