#include "device/device_text.h"

#include "tests/support/fake_master.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olv::test {
namespace {

using namespace olv::device;

TEST(DeviceText, ReadStoresTheEightWordsOnlyOnSuccess) {
    FakeMaster master;
    for (int r = 48; r <= 55; ++r) master.reg(r) = static_cast<uint16_t>(0x4100 + r);
    RegisterImage image;
    uint8_t exc = 0;
    EXPECT_EQ(ReadDeviceText(master, image, exc), 0);
    ASSERT_EQ(master.transactions.size(), 1u);
    EXPECT_EQ(master.transactions[0].start, 48);
    EXPECT_EQ(master.transactions[0].count, 8);
    for (int r = 48; r <= 55; ++r) EXPECT_EQ(image.words[r], 0x4100 + r);

    master.failTransaction(1);
    RegisterImage untouched;
    untouched.words[48] = 0x2020;
    EXPECT_NE(ReadDeviceText(master, untouched, exc), 0);
    EXPECT_EQ(untouched.words[48], 0x2020);
    EXPECT_EQ(untouched.words[49], 0);
}

TEST(DeviceText, WriteSendsTheImagesTextWords) {
    FakeMaster master;
    RegisterImage image;
    for (int r = 48; r <= 55; ++r) image.words[r] = static_cast<uint16_t>(r);
    image.words[47] = 0xEEEE;
    image.words[56] = 0xEEEE;
    uint8_t exc = 0;
    EXPECT_EQ(WriteDeviceText(master, image, exc), 0);
    ASSERT_EQ(master.transactions.size(), 1u);
    EXPECT_EQ(master.transactions[0].function, FakeMaster::WriteFunction);
    EXPECT_EQ(master.transactions[0].words, (std::vector<uint16_t>{48, 49, 50, 51, 52, 53, 54, 55}));
    EXPECT_EQ(master.reg(47), 0);
    EXPECT_EQ(master.reg(56), 0);
}

// Records the transactions and the pauses in one sequence.
struct Sequence {
    explicit Sequence(FakeMaster& master) {
        master.onTransaction = [this](const FakeTransaction& t) {
            events.push_back((t.function == FakeMaster::ReadFunction ? "read " : "write ") + std::to_string(t.start) +
                             "x" + std::to_string(t.count));
        };
    }
    std::function<void(int)> pause() {
        return [this](int ms) { events.push_back("pause " + std::to_string(ms)); };
    }
    std::vector<std::string> events;
};

TEST(Versions, ReadIsModelPauseThenThePair) {
    FakeMaster master;
    master.reg(1024) = 512;
    master.reg(1027) = 3;
    master.reg(1028) = 0xFFFF;
    Sequence seq(master);
    RegisterImage image;
    uint8_t exc = 0;
    EXPECT_EQ(ReadVersions(master, image, exc, seq.pause()), 0);
    EXPECT_EQ(seq.events, (std::vector<std::string>{"read 1024x1", "pause 100", "read 1027x2"}));
    EXPECT_EQ(image.moduleModel, 512);
    EXPECT_EQ(image.moduleHardware, 3);
    EXPECT_EQ(image.moduleSoftware, 0xFFFF);
}

TEST(Versions, ReadFailuresStoreOnlyWhatSucceeded) {
    FakeMaster first;
    first.reg(1024) = 512;
    first.failTransaction(0);
    Sequence seq(first);
    RegisterImage image;
    uint8_t exc = 0;
    EXPECT_NE(ReadVersions(first, image, exc, seq.pause()), 0);
    EXPECT_EQ(seq.events, (std::vector<std::string>{"read 1024x1"}));
    EXPECT_EQ(image.moduleModel, 0);

    FakeMaster second;
    second.reg(1024) = 512;
    second.reg(1027) = 3;
    second.failStart(FakeMaster::ReadFunction, 1027, {link::WrongLength | link::WrongFunction | link::ExceptionReply, 2});
    EXPECT_EQ(ReadVersions(second, image, exc, {}), 0x1A);
    EXPECT_EQ(exc, 2);
    EXPECT_EQ(image.moduleModel, 512);
    EXPECT_EQ(image.moduleHardware, 0);
}

TEST(Versions, WriteIsModelPauseThenThePair) {
    FakeMaster master;
    Sequence seq(master);
    RegisterImage image;
    image.moduleModel = 0xFFFF;
    image.moduleHardware = 0;
    image.moduleSoftware = 7;
    uint8_t exc = 0;
    EXPECT_EQ(WriteVersions(master, image, exc, seq.pause()), 0);
    EXPECT_EQ(seq.events, (std::vector<std::string>{"write 1024x1", "pause 100", "write 1027x2"}));
    EXPECT_EQ(master.reg(1024), 0xFFFF);
    EXPECT_EQ(master.reg(1027), 0);
    EXPECT_EQ(master.reg(1028), 7);
}

TEST(Versions, FailedModelWriteSendsNothingMore) {
    FakeMaster master;
    master.failTransaction(0);
    Sequence seq(master);
    RegisterImage image;
    image.moduleHardware = 5;
    uint8_t exc = 0;
    EXPECT_NE(WriteVersions(master, image, exc, seq.pause()), 0);
    EXPECT_EQ(seq.events, (std::vector<std::string>{"write 1024x1"}));
    EXPECT_EQ(master.reg(1027), 0);
}

} // namespace
} // namespace olv::test
