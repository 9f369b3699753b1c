// The page writes as the window and the headless program make them: rules first, the blocks, the
// read-back, and what the instrument holds when a write stops part way.
#include "device/page_writes.h"

#include "device/encodings.h"
#include "device/register_map.h"
#include "tests/support/fake_master.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace olv::test {
namespace {

using namespace olv::device;

constexpr link::ResultFlags ExceptionFlags = link::WrongLength | link::WrongFunction | link::ExceptionReply;

// A configuration the instrument may hold: range 0 … 1.6, trim 0 / 1, 15.03.2007, damping 2 in МПа.
RegisterImage GoodImage() {
    RegisterImage image;
    auto& w = image.words;
    w[reg::Model] = 150;
    w[reg::ModelCode] = 2;
    w[reg::Date] = 0x0F37;
    w[reg::DampingUnits] = 0x0201;
    w[reg::SensorUnits] = 1;
    FloatToWords(1.6f, w[reg::RangeMax], w[reg::RangeMax + 1]);
    FloatToWords(0.0f, w[reg::RangeMin], w[reg::RangeMin + 1]);
    FloatToWords(0.0f, w[reg::TrimOffset], w[reg::TrimOffset + 1]);
    FloatToWords(1.0f, w[reg::TrimMultiplier], w[reg::TrimMultiplier + 1]);
    return image;
}

WordMasks NoneOwned() { return WordMasks{}; }

std::vector<std::string> Events(const FakeMaster& master) {
    std::vector<std::string> events;
    for (const FakeTransaction& t : master.transactions)
        events.push_back((t.function == FakeMaster::WriteFunction ? "w" : "r") + std::to_string(t.start));
    return events;
}

const std::vector<std::string> ConfigWritesThenReads{"w0",  "w9",  "w18", "w36", "w44", "w48", "w58",
                                                     "r0",  "r9",  "r18", "r36", "r44", "r48", "r58"};

TEST(WriteSensorConfiguration, WritesTheSevenBlocksThenReadsEachBack) {
    FakeMaster master;
    RegisterImage own;
    own.words[4] = 0x4444;  // a register the page does not show
    own.words[40] = 0x4040;
    RegisterImage page = GoodImage();
    page.words[4] = 0x0BAD; // whatever the window's image had there
    std::vector<std::string> steps;
    WriteHooks hooks;
    hooks.progress = [&](int done, int total) { steps.push_back(std::to_string(done) + "/" + std::to_string(total)); };
    hooks.pause = [&](int ms) { steps.push_back("pause " + std::to_string(ms)); };
    WordMasks owned{};
    owned[4] = 0xFFFF;
    owned[40] = 0xFFFF;

    const PageWriteResult result = WriteSensorConfiguration(master, page, own, owned, hooks);
    EXPECT_TRUE(result.succeeded());
    EXPECT_TRUE(result.allHeld());
    EXPECT_EQ(Events(master), ConfigWritesThenReads);
    EXPECT_EQ(steps, (std::vector<std::string>{"1/7", "pause 100", "2/7", "pause 100", "3/7", "pause 100", "4/7",
                                               "pause 100", "5/7", "pause 100", "6/7", "pause 100", "7/7"}));
    EXPECT_EQ(master.reg(4), 0x4444); // the instrument's own word went back, not the window's
    EXPECT_EQ(master.reg(40), 0x4040);
    EXPECT_EQ(master.reg(reg::Model), 150);
    EXPECT_EQ(result.readBack.at(4), 0x4444);
    EXPECT_EQ(BlocksText(result), QString());
    EXPECT_EQ(StopText(result), QString());
}

// Nothing at all goes out for a value the instrument must not hold; a bad word the instrument supplies
// itself (a list the page leaves empty) is its own business and goes back as it is.
TEST(WriteSensorConfiguration, RefusedValuesSendNothingButTheInstrumentsOwnBadWordsPass) {
    FakeMaster master;
    RegisterImage page = GoodImage();
    FloatToWords(5.0f, page.words[reg::RangeMin], page.words[reg::RangeMin + 1]);
    PageWriteResult result = WriteSensorConfiguration(master, page, RegisterImage{}, NoneOwned(), {});
    EXPECT_EQ(result.stop, WriteStop::Refused);
    EXPECT_TRUE(master.transactions.empty());
    EXPECT_FALSE(result.anyHeld());
    EXPECT_EQ(StopText(result), QStringLiteral("Минимум диапазона 5.0000 не меньше максимума 1.6000."));
    EXPECT_EQ(BlocksText(result), QString());

    page = GoodImage();
    RegisterImage own;
    own.words[reg::DampingUnits] = 0x6301; // damping code 99: not in the list
    WordMasks owned{};
    owned[reg::DampingUnits] = 0xFF00;
    result = WriteSensorConfiguration(master, page, own, owned, {});
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(master.reg(reg::DampingUnits), 0x6301);

    owned[reg::DampingUnits] = 0x00FF; // now the page supplies the damping code 99
    page.words[reg::DampingUnits] = 0x6301;
    master.transactions.clear();
    result = WriteSensorConfiguration(master, page, own, owned, {});
    EXPECT_EQ(result.stop, WriteStop::Refused);
    EXPECT_TRUE(master.transactions.empty());
}

class ConfigurationFailureTest : public ::testing::TestWithParam<int> {};

// A write refused at block N: the blocks before it are held and named, the refused one is read back
// (it reads back as the instrument had it), the later ones are never sent.
TEST_P(ConfigurationFailureTest, SaysWhichBlocksTheInstrumentHolds) {
    const int failing = GetParam();
    FakeMaster master;
    master.failTransaction(static_cast<size_t>(failing), {ExceptionFlags, 4});
    const PageWriteResult result = WriteSensorConfiguration(master, GoodImage(), RegisterImage{}, NoneOwned(), {});

    EXPECT_EQ(result.stop, WriteStop::Exchange);
    EXPECT_EQ(result.flags, ExceptionFlags);
    EXPECT_EQ(result.exceptionCode, 4);
    // Writes up to the refused one, then a read of each block sent.
    EXPECT_EQ(master.transactions.size(), static_cast<size_t>(2 * (failing + 1)));
    for (int i = 0; i < 7; ++i) {
        const BlockOutcome& block = result.blocks[static_cast<size_t>(i)];
        EXPECT_EQ(block.sent, i <= failing) << i;
        EXPECT_EQ(block.acknowledged, i < failing) << i;
        EXPECT_EQ(block.readBack, i <= failing) << i;
    }
    EXPECT_EQ(result.anyHeld(), failing > 0);
    const QStringList names{"0–5", "9–11", "18–21", "36–43", "44–47", "48–55", "58–62"};
    // Blocks the refused write would have set to the zeros they already hold read back as sent.
    QStringList held, notHeld;
    for (int i = 0; i < 7; ++i) {
        const BlockOutcome& block = result.blocks[static_cast<size_t>(i)];
        (block.state == BlockState::Held ? held : notHeld) << names[i];
        EXPECT_NE(block.state, BlockState::Unknown);
        if (i < failing) {
            EXPECT_EQ(block.state, BlockState::Held) << i;
        } else if (i > failing) {
            EXPECT_EQ(block.state, BlockState::NotHeld) << i;
        }
    }
    EXPECT_EQ(BlocksIn(result, BlockState::Held), held.join(", "));
    EXPECT_EQ(BlocksIn(result, BlockState::NotHeld), notHeld.join(", "));
    if (failing == 0) {
        EXPECT_EQ(BlocksText(result), QStringLiteral("В прибор ничего не записано."));
    } else if (failing == 2) {
        EXPECT_EQ(BlocksText(result), QStringLiteral("Прибор хранит записанные регистры 0–5, 9–11. Не записаны: "
                                                     "18–21, 36–43, 44–47, 48–55, 58–62."));
    }
}

INSTANTIATE_TEST_SUITE_P(EachBlock, ConfigurationFailureTest, ::testing::Range(0, 7));

// A write whose reply was lost although the instrument took it: the read-back shows it held.
TEST(WriteSensorConfiguration, BlockTakenWithoutAReplyReadsBackAsHeld) {
    FakeMaster master;
    const RegisterImage page = GoodImage();
    master.failStart(FakeMaster::WriteFunction, 18);
    master.onTransaction = [&](const FakeTransaction& t) {
        if (t.function == FakeMaster::WriteFunction && t.start == 18)
            for (int i = 0; i < 4; ++i) master.reg(18 + i) = page.words[static_cast<size_t>(18 + i)];
    };
    const PageWriteResult result = WriteSensorConfiguration(master, page, RegisterImage{}, NoneOwned(), {});
    EXPECT_EQ(result.stop, WriteStop::Exchange);
    EXPECT_EQ(result.blocks[2].state, BlockState::Held);
    EXPECT_EQ(BlocksIn(result, BlockState::Held), QStringLiteral("0–5, 9–11, 18–21"));
}

// A silent instrument after the failure: what it acknowledged is held, the failed block unknown.
TEST(WriteSensorConfiguration, SilentAfterTheFailureLeavesTheFailedBlockUnknown) {
    FakeMaster master;
    master.onTransaction = [&](const FakeTransaction&) {
        if (master.transactions.size() >= 2) master.failTransaction(master.transactions.size());
    };
    const PageWriteResult result = WriteSensorConfiguration(master, GoodImage(), RegisterImage{}, NoneOwned(), {});
    EXPECT_EQ(result.stop, WriteStop::Exchange);
    EXPECT_EQ(result.flags & link::NoReply, link::NoReply);
    EXPECT_EQ(Events(master), (std::vector<std::string>{"w0", "w9", "w18", "r0"}));
    EXPECT_EQ(BlocksText(result), QStringLiteral("Прибор хранит записанные регистры 0–5, 9–11. Не записаны: "
                                                 "36–43, 44–47, 48–55, 58–62. Неизвестно, записаны ли: 18–21."));
}

// Every block acknowledged, the instrument holds another value: a failed write naming the register,
// and the image takes what the instrument holds, not what was meant.
TEST(WriteSensorConfiguration, ReadBackThatDiffersIsAFailedWrite) {
    FakeMaster master;
    master.onTransaction = [&](const FakeTransaction& t) {
        if (t.function == FakeMaster::ReadFunction && t.start == 18) master.reg(21) ^= 1; // the meter rounds
    };
    const RegisterImage page = GoodImage();
    const PageWriteResult result = WriteSensorConfiguration(master, page, RegisterImage{}, NoneOwned(), {});
    EXPECT_EQ(result.stop, WriteStop::Mismatch);
    EXPECT_EQ(result.mismatched(), std::vector<int>{21});
    EXPECT_EQ(result.blocks[2].state, BlockState::NotHeld);
    EXPECT_EQ(StopText(result), QStringLiteral("Прибор возвращает иные значения регистров: 21."));
    EXPECT_EQ(BlocksText(result), QStringLiteral("Прибор хранит записанные регистры 0–5, 9–11, 36–43, 44–47, "
                                                 "48–55, 58–62. Не записаны: 18–21."));
    RegisterImage image = page;
    TakeHeldWords(image, result);
    EXPECT_EQ(image.words[21], page.words[21] ^ 1);
    EXPECT_EQ(image.words[20], page.words[20]);
}

// Whatever word the instrument returns in place of any one sent, the write fails naming that register.
TEST(WriteSensorConfiguration, AnyAlteredWordIsFound) {
    std::mt19937 random(20261209);
    std::vector<int> written;
    for (const Block& block : ConfigWriteBlocks)
        for (int r = block.start; r < block.start + block.count; ++r) written.push_back(r);
    for (int run = 0; run < 300; ++run) {
        FakeMaster master;
        const int altered = written[random() % written.size()];
        const uint16_t flip = static_cast<uint16_t>(1u << (random() % 16));
        master.onTransaction = [&](const FakeTransaction& t) {
            if (t.function == FakeMaster::ReadFunction && t.start <= altered && altered < t.start + t.count)
                master.reg(altered) ^= flip;
        };
        const PageWriteResult result = WriteSensorConfiguration(master, GoodImage(), RegisterImage{}, NoneOwned(), {});
        ASSERT_EQ(result.stop, WriteStop::Mismatch) << altered;
        ASSERT_EQ(result.mismatched(), std::vector<int>{altered});
    }
}

TEST(WriteSensorConfiguration, ReadBackThatFailsAfterEveryBlockWasTaken) {
    FakeMaster master;
    master.failStart(FakeMaster::ReadFunction, 0);
    const PageWriteResult result = WriteSensorConfiguration(master, GoodImage(), RegisterImage{}, NoneOwned(), {});
    EXPECT_EQ(result.stop, WriteStop::ReadBack);
    EXPECT_NE(result.flags, 0u);
    EXPECT_TRUE(result.allHeld()); // acknowledged, though unchecked
    EXPECT_EQ(Events(master).size(), 8u);
    EXPECT_EQ(StopText(result), QStringLiteral("Записанное не прочитано для проверки."));
}

// A cancel between blocks stops before the next one; what went is read back and named.
TEST(WriteSensorConfiguration, CancelBetweenBlocksStopsThere) {
    FakeMaster master;
    int done = 0;
    WriteHooks hooks;
    hooks.progress = [&](int d, int) { done = d; };
    hooks.cancelled = [&] { return done == 2; };
    const PageWriteResult result = WriteSensorConfiguration(master, GoodImage(), RegisterImage{}, NoneOwned(), hooks);
    EXPECT_EQ(result.stop, WriteStop::Cancelled);
    EXPECT_EQ(Events(master), (std::vector<std::string>{"w0", "w9", "r0", "r9"}));
    EXPECT_EQ(StopText(result), QStringLiteral("Запись прервана."));
    EXPECT_EQ(BlocksText(result), QStringLiteral("Прибор хранит записанные регистры 0–5, 9–11. Не записаны: "
                                                 "18–21, 36–43, 44–47, 48–55, 58–62."));
}

// A master that reaches the instrument only at the address it holds in register 8; the instrument takes
// a new address after the reply to its write, as the meter does.
class AddressedMaster : public link::ModbusMaster {
  public:
    explicit AddressedMaster(FakeMaster& meter) : meter_(meter) {}
    link::ResultFlags readHoldingRegisters(int start, int count, uint16_t* values, uint8_t& code) override {
        if (address != (meter_.reg(8) >> 8)) return silent(values, count, code);
        return meter_.readHoldingRegisters(start, count, values, code);
    }
    link::ResultFlags writeMultipleRegisters(int start, int count, const uint16_t* values, uint8_t& code) override {
        if (address != (meter_.reg(8) >> 8)) return silent(nullptr, 0, code);
        return meter_.writeMultipleRegisters(start, count, values, code);
    }
    int address = 1;
    int silences = 0;

  private:
    link::ResultFlags silent(uint16_t* values, int count, uint8_t& code) {
        ++silences;
        for (int i = 0; i < count; ++i) values[i] = 0;
        code = 0;
        return link::NoReply | link::WrongLength | link::WrongFunction | link::CrcMismatch;
    }
    FakeMaster& meter_;
};

struct Follower : DeviceLinkSteps {
    Follower(AddressedMaster& master, std::vector<std::string>& events, bool follows)
        : master(master), events(events), follows(follows) {}
    void byteOrderWritten() override { events.push_back("follow byte order"); }
    void addressBaudWritten() override {
        events.push_back("follow address");
        if (follows) master.address = 17;
    }
    void parityWritten() override { events.push_back("follow parity"); }
    AddressedMaster& master;
    std::vector<std::string>& events;
    bool follows;
};

TEST(WriteLinkSettings, FollowsEachWriteAndChecksTheInstrumentAnswersAtItsNewAddress) {
    FakeMaster meter;
    meter.reg(8) = 0x0104;
    AddressedMaster master(meter);
    std::vector<std::string> events;
    meter.onTransaction = [&](const FakeTransaction& t) {
        events.push_back((t.function == FakeMaster::WriteFunction ? "w" : "r") + std::to_string(t.start));
    };
    Follower follow(master, events, true);
    WriteHooks hooks;
    hooks.pause = [&](int ms) { events.push_back("pause " + std::to_string(ms)); };
    const PageWriteResult result = WriteLinkSettings(master, {17, 5, 1, 3}, follow, hooks);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(events, (std::vector<std::string>{"w11", "pause 100", "follow byte order", "w8", "pause 100",
                                                "follow address", "w1034", "pause 100", "follow parity", "r11",
                                                "r8", "r1034"}));
    EXPECT_EQ(meter.reg(8), 0x1105);
    EXPECT_EQ(meter.reg(11), 3);
    EXPECT_EQ(meter.reg(1034), 1);

    // A link that does not follow finds no instrument where it looks: the write is not confirmed.
    FakeMaster other;
    other.reg(8) = 0x0104;
    AddressedMaster lost(other);
    events.clear();
    Follower stays(lost, events, false);
    const PageWriteResult unconfirmed = WriteLinkSettings(lost, {17, 5, 1, 3}, stays, {});
    EXPECT_EQ(unconfirmed.stop, WriteStop::Exchange); // the parity write already went unanswered
    EXPECT_EQ(BlocksIn(unconfirmed, BlockState::Held), QStringLiteral("11, 8"));
    EXPECT_EQ(BlocksIn(unconfirmed, BlockState::Unknown), QStringLiteral("1034"));
}

TEST(WriteLinkSettings, RefusedValuesSendNothing) {
    FakeMaster meter;
    AddressedMaster master(meter);
    std::vector<std::string> events;
    Follower follow(master, events, true);
    for (const LinkValues& values : {LinkValues{0, 4, 2, 0}, LinkValues{1, -1, 2, 0}, LinkValues{1, 6, 2, 0},
                                     LinkValues{1, 4, 3, 0}, LinkValues{1, 4, 2, 4}, LinkValues{256, 4, 2, 0}}) {
        const PageWriteResult result = WriteLinkSettings(master, values, follow, {});
        EXPECT_EQ(result.stop, WriteStop::Refused);
        EXPECT_FALSE(StopText(result).isEmpty());
    }
    EXPECT_TRUE(meter.transactions.empty());
    EXPECT_TRUE(events.empty());
}

TEST(WriteTextAndVersions, VersionsThenTextEachReadBack) {
    FakeMaster master;
    RegisterImage image;
    image.moduleModel = 256;
    image.moduleHardware = 2;
    image.moduleSoftware = 107;
    TextToWords(QStringLiteral("Котельная 2"), image.words.data() + reg::Text);
    PageWriteResult result = WriteTextAndVersions(master, image, {});
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(Events(master), (std::vector<std::string>{"w1024", "w1027", "w48", "r1024", "r1027", "r48"}));
    EXPECT_EQ(master.reg(1028), 107);
    EXPECT_EQ(TextFromWords(image.words.data() + reg::Text), QStringLiteral("Котельная 2     "));

    FakeMaster refusing;
    refusing.failStart(FakeMaster::WriteFunction, 1027, {ExceptionFlags, 3});
    result = WriteTextAndVersions(refusing, image, {});
    EXPECT_EQ(result.stop, WriteStop::Exchange);
    EXPECT_EQ(BlocksText(result), QStringLiteral("Прибор хранит записанные регистры 1024. Не записаны: 1027–1028, 48–55."));
    RegisterImage held;
    TakeHeldWords(held, result);
    EXPECT_EQ(held.moduleModel, 256);
    EXPECT_EQ(held.moduleSoftware, 0);
    EXPECT_EQ(held.words[reg::Text], 0);
}

} // namespace
} // namespace olv::test
