// The simulated instrument as a Modbus slave: request frames in, reply frames out.

#include "device/register_map.h"
#include "sim/line.h"
#include "sim/options.h"
#include "tests/sim/frames.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

using namespace olv::sim;
using namespace olv::test;
namespace reg = olv::device::reg;

namespace {

Line OneInstrument() {
    return Line({Instrument()});
}

std::vector<uint16_t> AllRegisters(const Instrument& inst) {
    std::vector<uint16_t> regs;
    for (int r = 0; r <= 1034; ++r)
        if (IsMapped(r) && (r < 15 || r > 17)) regs.push_back(inst.reg(r));
    return regs;
}

// --- Exceptions --------------------------------------------------------------------------------------

struct ExceptionCase {
    const char* name;
    std::vector<uint8_t> request;
    uint8_t function;
    uint8_t code;
};

class SlaveException : public testing::TestWithParam<ExceptionCase> {};

TEST_P(SlaveException, AnswersWithTheExceptionAndChangesNothing) {
    Line line = OneInstrument();
    const auto before = AllRegisters(line.instruments()[0]);
    const Reply reply = line.handleFrame(GetParam().request, {}, 0.0);
    EXPECT_EQ(reply.bytes, WithCrc({1, static_cast<uint8_t>(GetParam().function | 0x80), GetParam().code}));
    EXPECT_EQ(AllRegisters(line.instruments()[0]), before);
}

std::vector<uint8_t> WriteWithByteCount(int count, int byteCount, int values) {
    std::vector<uint8_t> f{1, 16, 0, 0, 0, static_cast<uint8_t>(count), static_cast<uint8_t>(byteCount)};
    for (int i = 0; i < values; ++i)
        f.insert(f.end(), {0, 1});
    return WithCrc(f);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SlaveException,
    testing::Values(ExceptionCase{"ReadInputRegisters", WithCrc({1, 4, 0, 15, 0, 3}), 4, 1},
                    ExceptionCase{"WriteSingleRegister", WithCrc({1, 6, 0, 11, 0, 1}), 6, 1},
                    ExceptionCase{"UnknownFunction", WithCrc({1, 0x41, 0, 0}), 0x41, 1},
                    ExceptionCase{"ReadFirstUnmapped", ReadRequest(1, 63, 1), 3, 2},
                    ExceptionCase{"ReadAcrossTheEndOfTheMap", ReadRequest(1, 61, 3), 3, 2},
                    ExceptionCase{"ReadBetweenModuleAndParity", ReadRequest(1, 1029, 1), 3, 2},
                    ExceptionCase{"ReadUpToParity", ReadRequest(1, 1033, 2), 3, 2},
                    ExceptionCase{"ReadPastParity", ReadRequest(1, 1034, 2), 3, 2},
                    ExceptionCase{"ReadFarAway", ReadRequest(1, 40000, 1), 3, 2},
                    ExceptionCase{"WriteAcrossTheEndOfTheMap", WriteRequest(1, 62, {1, 2}), 16, 2},
                    ExceptionCase{"ReadNothing", ReadRequest(1, 0, 0), 3, 3},
                    ExceptionCase{"ReadTooMany", ReadRequest(1, 0, 126), 3, 3},
                    ExceptionCase{"WriteTooMany", WriteRequest(1, 0, std::vector<uint16_t>(124, 0)), 16, 3},
                    ExceptionCase{"WriteNothing", WriteWithByteCount(0, 0, 0), 16, 3},
                    ExceptionCase{"ByteCountBelowTheValues", WriteWithByteCount(2, 2, 1), 16, 3},
                    ExceptionCase{"ByteCountAboveTheValues", WriteWithByteCount(1, 4, 2), 16, 3},
                    ExceptionCase{"BaudCodeSix", WriteRequest(1, 8, {0x0106}), 16, 3},
                    ExceptionCase{"AddressZero", WriteRequest(1, 8, {0x0004}), 16, 3},
                    ExceptionCase{"ByteOrderFour", WriteRequest(1, 11, {4}), 16, 3},
                    ExceptionCase{"ParityThree", WriteRequest(1, 1034, {3}), 16, 3},
                    ExceptionCase{"BadCodeLastInABlock", WriteRequest(1, 9, {0x0101, 0x2222, 7}), 16, 3},
                    ExceptionCase{"BadCodeInTheWholeMap",
                                  WriteRequest(1, 0, std::vector<uint16_t>(63, 0x0909)), 16, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Slave, ExceptionFrameForAnUnmappedReadIsTheOneMastersExpect) {
    Line line = OneInstrument();
    const std::vector<uint8_t> expected{0x01, 0x83, 0x02, 0xC0, 0xF1};
    EXPECT_EQ(line.handleFrame(ReadRequest(1, 100, 3), {}, 0.0).bytes, expected);
}

// --- Reads and writes over the map ------------------------------------------------------------------

TEST(Slave, ReadOfEveryConfigurationBlockGivesTheStoredWords) {
    Line line = OneInstrument();
    const Instrument& inst = line.instruments()[0];
    for (const auto& block : olv::device::ConfigReadBlocks) {
        const Reply reply = line.handleFrame(ReadRequest(1, block.start, block.count), {}, 0.0);
        ASSERT_EQ(reply.bytes.size(), static_cast<size_t>(2 * block.count + 5)) << block.start;
        EXPECT_TRUE(CrcMatches(reply.bytes));
        EXPECT_EQ(reply.bytes[2], 2 * block.count);
        for (int i = 0; i < block.count; ++i)
            EXPECT_EQ(ReplyWord(reply.bytes, i), inst.reg(block.start + i));
    }
}

TEST(Slave, StartingStateIsTheDeliveredMeter) {
    const Instrument inst;
    EXPECT_EQ(inst.address(), 1);
    EXPECT_EQ(inst.baudRate(), 19200);
    EXPECT_EQ(inst.parity(), 2);
    EXPECT_EQ(inst.byteOrder(), 0);
    EXPECT_EQ(inst.rangeMin(), 0.0f);
    EXPECT_EQ(inst.rangeMax(), 1.6f);
    EXPECT_EQ(inst.trimOffset(), 0.0f);
    EXPECT_EQ(inst.trimMultiplier(), 1.0f);
    EXPECT_EQ(inst.reg(9) & 0xFF, 1); // МПа
    EXPECT_EQ(inst.reg(reg::SensorUnits), 1);
    EXPECT_EQ(inst.reg(reg::Text), 0xC4E0); // "Да" in Windows-1251
    EXPECT_EQ(inst.reg(1024), 256);
    EXPECT_EQ(inst.reg(1027), 0);
    EXPECT_EQ(inst.reg(1028), 107);
}

TEST(Slave, WriteOfEveryConfigurationBlockIsStoredAndEchoed) {
    Line line = OneInstrument();
    for (const auto& block : olv::device::ConfigWriteBlocks) {
        std::vector<uint16_t> values;
        for (int i = 0; i < block.count; ++i) {
            const int r = block.start + i;
            values.push_back(r == reg::ByteOrder ? 3 : static_cast<uint16_t>(0x1000 + 17 * r));
        }
        const Reply reply = line.handleFrame(WriteRequest(1, block.start, values), {}, 0.0);
        EXPECT_EQ(reply.bytes, WithCrc({1, 16, 0, static_cast<uint8_t>(block.start), 0,
                                        static_cast<uint8_t>(block.count)}));
        for (int i = 0; i < block.count; ++i) {
            if (block.start + i < 15 || block.start + i > 17) {
                EXPECT_EQ(line.instruments()[0].reg(block.start + i), values[static_cast<size_t>(i)]);
            }
        }
    }
}

TEST(Slave, VersionAndParityRegistersAreWrittenAlone) {
    Line line = OneInstrument();
    EXPECT_FALSE(line.handleFrame(WriteRequest(1, 1024, {300}), {}, 0).bytes.empty());
    EXPECT_FALSE(line.handleFrame(WriteRequest(1, 1027, {5, 110}), {}, 0).bytes.empty());
    EXPECT_FALSE(line.handleFrame(WriteRequest(1, 1034, {1}), {}, 0).bytes.empty());
    const Instrument& inst = line.instruments()[0];
    EXPECT_EQ(inst.reg(1024), 300);
    EXPECT_EQ(inst.reg(1027), 5);
    EXPECT_EQ(inst.reg(1028), 110);
    EXPECT_EQ(inst.parity(), 1);
}

TEST(Slave, WriteToTheMeasuredRegistersIsAcceptedAndChangesNothing) {
    Line line = OneInstrument();
    line.instruments()[0].forceValue(1.0f);
    EXPECT_FALSE(line.handleFrame(WriteRequest(1, 15, {0xFFFF, 0, 0}), {}, 0).bytes.empty());
    EXPECT_EQ(line.instruments()[0].reg(16), 0x3F80);
    EXPECT_EQ(line.instruments()[0].reg(15), 0);
}

TEST(Slave, SilentOnBadCrcOtherAddressAndBroadcastRead) {
    Line line = OneInstrument();
    auto bad = ReadRequest(1, 15, 3);
    bad.back() ^= 1;
    EXPECT_TRUE(line.handleFrame(bad, {}, 0).bytes.empty());
    EXPECT_TRUE(line.handleFrame(ReadRequest(2, 15, 3), {}, 0).bytes.empty());
    EXPECT_TRUE(line.handleFrame(ReadRequest(0, 15, 3), {}, 0).bytes.empty());
    EXPECT_TRUE(line.handleFrame({0x01, 0x03}, {}, 0).bytes.empty());
}

TEST(Slave, BroadcastWriteIsExecutedWithoutReply) {
    Line line({Instrument(), Instrument()});
    std::string error;
    line.instruments()[1].setKey("address", "2", error);
    EXPECT_TRUE(line.handleFrame(WriteRequest(0, 1024, {777}), {}, 0).bytes.empty());
    EXPECT_EQ(line.instruments()[0].reg(1024), 777);
    EXPECT_EQ(line.instruments()[1].reg(1024), 777);
}

// --- Link changes -----------------------------------------------------------------------------------

TEST(Slave, NewAddressAndRateTakeEffectAfterTheReply) {
    Line line = OneInstrument();
    const Reply reply = line.handleFrame(WriteRequest(1, 8, {0x1105}), {19200, -1}, 0);
    // The reply still comes from the old address.
    EXPECT_EQ(reply.bytes, WithCrc({1, 16, 0, 8, 0, 1}));
    EXPECT_EQ(reply.linkChanged, 0);
    EXPECT_TRUE(line.handleFrame(ReadRequest(1, 15, 3), {19200, -1}, 0).bytes.empty());
    EXPECT_TRUE(line.handleFrame(ReadRequest(17, 15, 3), {19200, -1}, 0).bytes.empty());
    EXPECT_EQ(line.handleFrame(ReadRequest(17, 15, 3), {38400, -1}, 0).bytes.size(), 11u);
    // Where the rate cannot be seen, the address alone decides; a rate outside the table never answers.
    EXPECT_EQ(line.handleFrame(ReadRequest(17, 15, 3), {}, 0).bytes.size(), 11u);
    EXPECT_TRUE(line.handleFrame(ReadRequest(17, 15, 3), {-1, -1}, 0).bytes.empty());
}

TEST(Slave, NewParityTakesEffectWhereTheLineShowsIt) {
    Line line = OneInstrument();
    EXPECT_EQ(line.handleFrame(WriteRequest(1, 1034, {1}), {19200, 2}, 0).bytes,
              WithCrc({1, 16, 4, 10, 0, 1}));
    EXPECT_TRUE(line.handleFrame(ReadRequest(1, 15, 3), {19200, 2}, 0).bytes.empty());
    EXPECT_FALSE(line.handleFrame(ReadRequest(1, 15, 3), {19200, 1}, 0).bytes.empty());
    EXPECT_FALSE(line.handleFrame(ReadRequest(1, 15, 3), {19200, -1}, 0).bytes.empty());
}

TEST(Slave, RejectedLinkWriteKeepsTheOldLink) {
    Line line = OneInstrument();
    const Reply reply = line.handleFrame(WriteRequest(1, 8, {0x0506}), {19200, -1}, 0);
    EXPECT_EQ(reply.linkChanged, -1);
    EXPECT_FALSE(line.handleFrame(ReadRequest(1, 15, 3), {19200, -1}, 0).bytes.empty());
}

// --- The live value ---------------------------------------------------------------------------------

struct OrderCase {
    int code;
    uint16_t reg16, reg17;
};

class LiveByteOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(LiveByteOrder, HundredTravelsInTheOrderOfRegisterEleven) {
    Line line = OneInstrument();
    line.instruments()[0].forceValue(100.0f);
    ASSERT_FALSE(
        line.handleFrame(WriteRequest(1, 11, {static_cast<uint16_t>(GetParam().code)}), {}, 0).bytes.empty());
    const Reply reply = line.handleFrame(ReadRequest(1, 15, 3), {}, 0);
    ASSERT_EQ(reply.bytes.size(), 11u);
    EXPECT_EQ(ReplyWord(reply.bytes, 1), GetParam().reg16);
    EXPECT_EQ(ReplyWord(reply.bytes, 2), GetParam().reg17);
}

// 100.0 is 42 C8 00 00, most significant byte first.
INSTANTIATE_TEST_SUITE_P(Codes, LiveByteOrder,
                         testing::Values(OrderCase{0, 0x42C8, 0x0000}, OrderCase{1, 0x0000, 0x42C8},
                                         OrderCase{2, 0xC842, 0x0000}, OrderCase{3, 0x0000, 0xC842}));

TEST(LiveValue, EveryOrderIsItsOwnInverse) {
    const uint32_t bits = 0x12345678;
    const std::array<uint32_t, 4> expected{0x12345678, 0x56781234, 0x34127856, 0x78563412};
    for (int code = 0; code < 4; ++code) {
        const auto w = EncodeLiveWords(bits, code);
        EXPECT_EQ(static_cast<uint32_t>(w[0]) << 16 | w[1], expected[static_cast<size_t>(code)]) << code;
    }
}

TEST(LiveValue, RawPatternsGoOutUnchanged) {
    Instrument inst;
    inst.forceValueBits(0x7FC00000);
    EXPECT_EQ(inst.reg(16), 0x7FC0);
    EXPECT_EQ(inst.reg(17), 0x0000);
    inst.forceValueBits(0x7F800000);
    EXPECT_EQ(inst.reg(16), 0x7F80);
}

TEST(LiveValue, StaysInsideTheRangeAndMoves) {
    Instrument inst;
    float lowest = 10, highest = -10;
    for (double t = 0; t < 60; t += 0.5) {
        const float v = inst.liveValue(t);
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
        EXPECT_EQ(inst.liveStatus(t), 0) << t;
    }
    EXPECT_GE(lowest, 0.0f);
    EXPECT_LE(highest, 1.6f);
    EXPECT_GT(highest - lowest, 0.5f);
}

TEST(LiveValue, TrimIsAppliedAndOutOfRangeIsFlagged) {
    Instrument plain, trimmed;
    std::string error;
    ASSERT_TRUE(trimmed.setKey("trim_multiplier", "2", error));
    ASSERT_TRUE(trimmed.setKey("trim_offset", "0.5", error));
    const double t = 7.0;
    EXPECT_FLOAT_EQ(trimmed.liveValue(t), plain.liveValue(t) * 2 + 0.5f);

    ASSERT_TRUE(trimmed.setKey("trim_multiplier", "1", error));
    ASSERT_TRUE(trimmed.setKey("trim_offset", "5", error));
    EXPECT_EQ(trimmed.liveStatus(t), 0x0080);
    ASSERT_TRUE(trimmed.setKey("trim_offset", "-5", error));
    EXPECT_EQ(trimmed.liveStatus(t), 0x0040);
    trimmed.forceStatus(0x2400);
    EXPECT_EQ(trimmed.reg(15), 0x2400);
}

} // namespace
