#include "device/sensor_configuration.h"

#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "tests/support/fake_master.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olv::test {
namespace {

using namespace olv::device;

// Fills every register of the instrument with a value that tells it apart: 0x1000 + its number.
void FillDistinct(FakeMaster& master) {
    for (auto& [number, value] : master.registers) value = static_cast<uint16_t>(0x1000 + number);
}

std::vector<std::pair<int, int>> Blocks(const FakeMaster& master, int function) {
    std::vector<std::pair<int, int>> blocks;
    for (const auto& t : master.transactions) {
        if (t.function == function) blocks.emplace_back(t.start, t.count);
    }
    return blocks;
}

const std::vector<std::pair<int, int>> ReadOrder{{0, 6}, {8, 4}, {18, 4}, {36, 8}, {44, 4}, {48, 8}, {58, 5}};
const std::vector<std::pair<int, int>> WriteOrder{{0, 6}, {9, 3}, {18, 4}, {36, 8}, {44, 4}, {48, 8}, {58, 5}};

TEST(ReadConfiguration, SevenBlocksInOrderIntoTheImage) {
    FakeMaster master;
    FillDistinct(master);
    RegisterImage image;
    std::vector<int> progress;
    uint8_t exc = 7;
    EXPECT_EQ(ReadConfiguration(master, image, exc, [&](int done) { progress.push_back(done); }), 0);
    EXPECT_EQ(exc, 0);
    EXPECT_EQ(Blocks(master, FakeMaster::ReadFunction), ReadOrder);
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    for (auto [start, count] : ReadOrder) {
        for (int r = start; r < start + count; ++r) EXPECT_EQ(image.words[r], 0x1000 + r) << r;
    }
    // Registers outside the blocks are not read.
    for (int r : {6, 7, 12, 15, 17, 22, 35, 56, 57}) EXPECT_EQ(image.words[r], 0) << r;
}

TEST(ReadConfiguration, StopsAtTheFirstFailureKeepingEarlierBlocks) {
    FakeMaster master;
    FillDistinct(master);
    master.failStart(FakeMaster::ReadFunction, 18, {link::WrongLength | link::WrongFunction | link::ExceptionReply, 4});
    RegisterImage image;
    image.words[18] = 0xAAAA;
    std::vector<int> progress;
    uint8_t exc = 0;
    EXPECT_EQ(ReadConfiguration(master, image, exc, [&](int done) { progress.push_back(done); }), 0x1A);
    EXPECT_EQ(exc, 4);
    EXPECT_EQ(master.transactions.size(), 3u);
    EXPECT_EQ(progress, (std::vector<int>{1, 2}));
    EXPECT_EQ(image.words[0], 0x1000);
    EXPECT_EQ(image.words[11], 0x100B);
    EXPECT_EQ(image.words[18], 0xAAAA); // the failed block is not stored
    EXPECT_EQ(image.words[48], 0);
}

TEST(WriteConfiguration, SevenBlocksWithPausesBetweenAndRegister8Untouched) {
    FakeMaster master;
    master.reg(8) = 0x1105;
    RegisterImage image;
    for (int r = 0; r < reg::ImageSize; ++r) image.words[r] = static_cast<uint16_t>(0x2000 + r);

    std::vector<std::string> events;
    master.onTransaction = [&](const FakeTransaction& t) { events.push_back("write " + std::to_string(t.start)); };
    uint8_t exc = 0;
    const auto flags = WriteConfiguration(
        master, image, exc, [&](int done) { events.push_back("progress " + std::to_string(done)); },
        [&](int ms) { events.push_back("pause " + std::to_string(ms)); });
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(Blocks(master, FakeMaster::WriteFunction), WriteOrder);
    EXPECT_EQ(events, (std::vector<std::string>{
                          "write 0",  "progress 1", "pause 100", "write 9",  "progress 2", "pause 100",
                          "write 18", "progress 3", "pause 100", "write 36", "progress 4", "pause 100",
                          "write 44", "progress 5", "pause 100", "write 48", "progress 6", "pause 100",
                          "write 58", "progress 7"}));
    EXPECT_EQ(master.reg(8), 0x1105);
    for (auto [start, count] : WriteOrder) {
        for (int r = start; r < start + count; ++r) EXPECT_EQ(master.reg(r), 0x2000 + r) << r;
    }
}

TEST(WriteConfiguration, ThirdWriteFailingLeavesOnlyTwoBlocksWritten) {
    FakeMaster master;
    RegisterImage image;
    image.words.fill(0x5555);
    master.failTransaction(2);
    int pauses = 0;
    uint8_t exc = 0;
    const auto flags = WriteConfiguration(master, image, exc, {}, [&](int) { ++pauses; });
    EXPECT_NE(flags, 0);
    EXPECT_EQ(master.transactions.size(), 3u);
    EXPECT_EQ(pauses, 2);
    EXPECT_EQ(master.reg(5), 0x5555);
    EXPECT_EQ(master.reg(11), 0x5555);
    EXPECT_EQ(master.reg(18), 0);
    EXPECT_EQ(master.reg(58), 0);
}

// The instrument's own data, which the page does not show.
void FillKept(FakeMaster& master) {
    FillDistinct(master);
    master.reg(11) = 2;
}

// Every list of the sensor page with an entry selected.
const ConfigurationLists AllSelected{0, 0, 0, {0, 0, 0}};

const std::vector<std::pair<int, int>> OwnReadOrder{{0, 6}, {8, 4}, {36, 8}, {44, 4}, {48, 8}, {58, 5}};

TEST(ReadKeptRegisters, TakesOnlyTheKeptWordsTheByteOrderAndTheText) {
    FakeMaster master;
    FillKept(master);
    RegisterImage image;
    image.words[0] = 77;   // collected from the page
    image.words[5] = 0x0F37;
    image.words[9] = 0x0202;
    image.words[58] = 3;
    uint8_t exc = 0;
    EXPECT_EQ(ReadKeptRegisters(master, image, exc, InstrumentOwnedBits(AllSelected)), 0);
    EXPECT_EQ(Blocks(master, FakeMaster::ReadFunction), OwnReadOrder);
    EXPECT_EQ(image.words[4], 0x1004);
    EXPECT_EQ(image.words[10], 0x100A);
    EXPECT_EQ(image.words[11], 2);
    for (int r = 36; r <= 55; ++r)
        EXPECT_EQ(image.words[r], 0x1000 + r) << r;
    // What the page collected stays.
    EXPECT_EQ(image.words[0], 77);
    EXPECT_EQ(image.words[5], 0x0F37);
    EXPECT_EQ(image.words[9], 0x0202);
    EXPECT_EQ(image.words[58], 3);
    EXPECT_EQ(image.words[8], 0);
    EXPECT_EQ(image.words[1], 0);
}

TEST(ReadKeptRegisters, FailureLeavesTheImageAlone) {
    for (size_t failing = 0; failing < OwnReadOrder.size(); ++failing) {
        FakeMaster master;
        FillKept(master);
        master.failTransaction(failing);
        RegisterImage image;
        image.words[0] = 77;
        const RegisterImage before = image;
        uint8_t exc = 0;
        EXPECT_NE(ReadKeptRegisters(master, image, exc, InstrumentOwnedBits({})), 0) << failing;
        EXPECT_EQ(master.transactions.size(), failing + 1);
        EXPECT_EQ(image.words, before.words) << failing;
    }
}

TEST(ReadKeptRegisters, ThenAWriteSendsTheInstrumentsOwnDataBack) {
    FakeMaster master;
    FillKept(master);
    const auto instrument = master.registers;
    RegisterImage image;
    uint8_t exc = 0;
    ASSERT_EQ(ReadKeptRegisters(master, image, exc, InstrumentOwnedBits(AllSelected)), 0);
    ASSERT_EQ(WriteConfiguration(master, image, exc, {}, {}), 0);
    for (int r : {4, 10, 11, 36, 40, 47, 48, 55})
        EXPECT_EQ(master.reg(r), instrument.at(r)) << r;
}

// A list that shows nothing is never encoded as a code of its own (0xFF, 0, a made-up date): that
// part of its word is the instrument's, read before the write; the other parts are the page's.
TEST(CollectLists, AnEmptyListLeavesItsPartToTheInstrument) {
    struct Case {
        const char* name;
        ConfigurationLists lists;
        uint16_t reg5, reg9, reg58; // after the collect and the read of the instrument's own bits
    };
    // The instrument holds 0x1005, 0x1009 and 0x103A; the page's lists give 31.12.2015, damping 8,
    // units 10 and sensor units 10 where an entry is selected.
    const Case cases[] = {
        {"all selected", {8, 10, 9, {30, 11, 15}}, 0x1FCF, 0x080A, 10},
        {"all empty", {}, 0x1005, 0x1009, 0x103A},
        {"no damping", {-1, 10, 9, {30, 11, 15}}, 0x1FCF, 0x100A, 10},
        {"no units", {8, -1, 9, {30, 11, 15}}, 0x1FCF, 0x0809, 10},
        {"no sensor units", {8, 10, -1, {30, 11, 15}}, 0x1FCF, 0x080A, 0x103A},
        {"no day", {8, 10, 9, {-1, 11, 15}}, 0x10CF, 0x080A, 10},
        {"no month", {8, 10, 9, {30, -1, 15}}, 0x1F0F, 0x080A, 10},
        {"no year", {8, 10, 9, {30, 11, -1}}, 0x1FC5, 0x080A, 10},
    };
    for (const Case& c : cases) {
        FakeMaster master;
        FillDistinct(master);
        RegisterImage image; // nothing read yet: zeros
        CollectLists(c.lists, image);
        uint8_t exc = 0;
        ASSERT_EQ(ReadKeptRegisters(master, image, exc, InstrumentOwnedBits(c.lists)), 0) << c.name;
        ASSERT_EQ(WriteConfiguration(master, image, exc, {}, {}), 0) << c.name;
        EXPECT_EQ(master.reg(5), c.reg5) << c.name;
        EXPECT_EQ(master.reg(9), c.reg9) << c.name;
        EXPECT_EQ(master.reg(58), c.reg58) << c.name;
    }
}

// With the image read from the instrument being written, an empty list keeps the word as read.
TEST(CollectLists, AnEmptyListKeepsTheWordReadFromTheInstrument) {
    RegisterImage image;
    image.words[5] = 0x0037;  // day 0: no day shown
    image.words[9] = 0x0C03;  // damping code 12: beyond the list
    image.words[58] = 0x0100; // unit code 0: nothing shown
    CollectLists({-1, 3, -1, {-1, 2, 7}}, image);
    EXPECT_EQ(image.words[5], 0x0037);
    EXPECT_EQ(image.words[9], 0x0C03);
    EXPECT_EQ(image.words[58], 0x0100);
}

TEST(FloatTextUnchanged, UneditedFieldKeepsTheExactCalibration) {
    uint16_t high = 0, low = 0;
    FloatToWords(1.0001234f, high, low);
    const QString shown = FormatValue(WordsToFloat(high, low));
    EXPECT_EQ(shown, "     1.0001");
    EXPECT_TRUE(FloatTextUnchanged(shown, high, low));

    uint16_t h = high, l = low;
    EXPECT_TRUE(CollectFloatField(shown, h, l));
    EXPECT_EQ(h, high);
    EXPECT_EQ(l, low);
    EXPECT_EQ(WordsToFloat(h, l), 1.0001234f);
}

TEST(FloatTextUnchanged, EditedFieldIsConverted) {
    uint16_t high = 0, low = 0;
    FloatToWords(1.0001234f, high, low);
    EXPECT_FALSE(FloatTextUnchanged("1.0001", high, low)); // the same number typed differently is an edit
    EXPECT_TRUE(CollectFloatField("1.0001", high, low));
    EXPECT_EQ(WordsToFloat(high, low), 1.0001f);

    EXPECT_TRUE(CollectFloatField("   -12.25", high, low));
    EXPECT_EQ(high, 0xC144);
    EXPECT_EQ(low, 0x0000);
}

TEST(FloatTextUnchanged, FieldThatDoesNotConvertLeavesTheWords) {
    uint16_t high = 0x42C8, low = 0;
    EXPECT_FALSE(CollectFloatField("1,5", high, low));
    EXPECT_FALSE(CollectFloatField(" Данных нет", high, low));
    EXPECT_EQ(high, 0x42C8);
    EXPECT_EQ(low, 0);
}

TEST(FloatTextUnchanged, NotANumberInTheImageGoesBackAsItCame) {
    uint16_t high = 0x7FC0, low = 0x1234;
    EXPECT_TRUE(CollectFloatField(FormatValue(WordsToFloat(high, low)), high, low));
    EXPECT_EQ(high, 0x7FC0);
    EXPECT_EQ(low, 0x1234);
}

} // namespace
} // namespace olv::test
