#include "device/encodings.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <limits>

namespace olv::test {
namespace {

using namespace olv::device;

// ---- Live float byte orders --------------------------------------------------------------------------

struct OrderCase {
    int order;
    uint16_t first;
    uint16_t second;
};

class ByteOrderTest : public ::testing::TestWithParam<OrderCase> {};

// 100.0 is 42 C8 00 00, most significant byte first; each order sends it its own way.
TEST_P(ByteOrderTest, HundredDecodesUnderItsOwnOrder) {
    const OrderCase c = GetParam();
    bool implausible = true;
    EXPECT_EQ(DecodeFloat(c.first, c.second, c.order, implausible), 100.0f);
    EXPECT_FALSE(implausible);
}

TEST_P(ByteOrderTest, OtherOrdersDoNotGiveHundred) {
    const OrderCase c = GetParam();
    for (int other = 0; other < 4; ++other) {
        if (other == c.order) continue;
        bool implausible = false;
        const float v = DecodeFloat(c.first, c.second, other, implausible);
        EXPECT_TRUE(implausible || v != 100.0f) << "order " << other;
        if (implausible) {
            EXPECT_EQ(v, 0.0f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FourOrders, ByteOrderTest,
                         ::testing::Values(OrderCase{0, 0x42C8, 0x0000}, OrderCase{1, 0x0000, 0x42C8},
                                           OrderCase{2, 0xC842, 0x0000}, OrderCase{3, 0x0000, 0xC842}));

TEST(DecodeFloat, OrdersPlaceEveryByte) {
    // Four distinct bytes show a swap that a symmetric value like 100.0 would hide.
    const uint16_t first = 0x3F81, second = 0x2345; // R0=3F R1=81 R2=23 R3=45
    bool implausible = false;
    EXPECT_EQ(std::bit_cast<uint32_t>(DecodeFloat(first, second, 0, implausible)), 0x3F812345u);
    EXPECT_EQ(std::bit_cast<uint32_t>(DecodeFloat(0x2345, 0x3F81, 1, implausible)), 0x3F812345u);
    EXPECT_EQ(std::bit_cast<uint32_t>(DecodeFloat(0x813F, 0x4523, 2, implausible)), 0x3F812345u);
    EXPECT_EQ(std::bit_cast<uint32_t>(DecodeFloat(0x4523, 0x813F, 3, implausible)), 0x3F812345u);
}

struct PlausibilityCase {
    uint32_t bits;
    bool implausible;
};

class PlausibilityTest : public ::testing::TestWithParam<PlausibilityCase> {};

TEST_P(PlausibilityTest, BoundsAreInclusiveAndNanAndInfinityAreRejected) {
    const PlausibilityCase c = GetParam();
    bool implausible = !c.implausible;
    const float v = DecodeFloat(static_cast<uint16_t>(c.bits >> 16), static_cast<uint16_t>(c.bits), 0, implausible);
    EXPECT_EQ(implausible, c.implausible);
    EXPECT_EQ(IsImplausibleReading(std::bit_cast<float>(c.bits)), c.implausible);
    if (c.implausible) {
        EXPECT_EQ(v, 0.0f);
    } else {
        EXPECT_EQ(std::bit_cast<uint32_t>(v), c.bits);
    }
}

INSTANTIATE_TEST_SUITE_P(Vectors, PlausibilityTest,
                         ::testing::Values(PlausibilityCase{0x47C35000, false}, // 100000
                                           PlausibilityCase{0x47C35001, true},  // just above
                                           PlausibilityCase{0xC7C35000, false}, // -100000
                                           PlausibilityCase{0xC7C35001, true},  // just below
                                           PlausibilityCase{0x7FC00000, true},  // NaN
                                           PlausibilityCase{0xFFC00001, true},  // another NaN
                                           PlausibilityCase{0x7F800000, true},  // +infinity
                                           PlausibilityCase{0xFF800000, true},  // -infinity
                                           PlausibilityCase{0x00000000, false},
                                           PlausibilityCase{0x80000000, false})); // -0

TEST(DecodeFloat, UnknownOrderCodeIsImplausible) {
    for (int order : {-1, 4, 255}) {
        bool implausible = false;
        EXPECT_EQ(DecodeFloat(0x42C8, 0x0000, order, implausible), 0.0f);
        EXPECT_TRUE(implausible) << order;
    }
}

// ---- Configuration floats and 32-bit integers ----------------------------------------------------

TEST(ConfigurationWords, FloatGoesHighHalfFirst) {
    uint16_t high = 0, low = 0;
    FloatToWords(-12.25f, high, low);
    EXPECT_EQ(high, 0xC144);
    EXPECT_EQ(low, 0x0000);
    EXPECT_EQ(WordsToFloat(0x42C8, 0x0000), 100.0f);
}

TEST(ConfigurationWords, FloatBitsSurviveTheRoundTrip) {
    for (uint32_t bits : {0x3F800001u, 0x7FC01234u, 0x00000001u, 0xFF7FFFFFu}) {
        uint16_t high = 0, low = 0;
        FloatToWords(std::bit_cast<float>(bits), high, low);
        EXPECT_EQ(JoinWords(high, low), bits);
        EXPECT_EQ(std::bit_cast<uint32_t>(WordsToFloat(high, low)), bits);
    }
}

TEST(ConfigurationWords, SerialNumberSplitsAndJoins) {
    uint16_t high = 0, low = 0;
    SplitWords(123456, high, low);
    EXPECT_EQ(high, 0x0001);
    EXPECT_EQ(low, 0xE240);
    EXPECT_EQ(JoinWords(0x0001, 0xE240), 123456u);
    // Bit 31 set reads back negative as a signed 32-bit number.
    EXPECT_EQ(static_cast<int32_t>(JoinWords(0xFFFF, 0xFFFE)), -2);
    SplitWords(static_cast<uint32_t>(-2), high, low);
    EXPECT_EQ(high, 0xFFFF);
    EXPECT_EQ(low, 0xFFFE);
}

// ---- Date ----------------------------------------------------------------------------------------

struct DateCase {
    uint16_t word;
    int day, month, year;
};

class DateReadTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateReadTest, IndexesOfTheThreeLists) {
    const DateCase c = GetParam();
    const DateIndexes d = DateFromRegister(c.word);
    EXPECT_EQ(d.day, c.day);
    EXPECT_EQ(d.month, c.month);
    EXPECT_EQ(d.year, c.year);
}

INSTANTIATE_TEST_SUITE_P(Vectors, DateReadTest,
                         ::testing::Values(DateCase{0x0F37, 14, 2, 7},     // 15 March 2007
                                           DateCase{0x1FCF, 30, 11, 15},   // 31 December 2015
                                           DateCase{0x0000, -1, -1, 0},    // zero day and month
                                           DateCase{0x20D0, -1, -1, 0},    // day 32, month 13
                                           DateCase{0xFFFF, -1, -1, 15})); // both beyond the lists

TEST(DateWrite, FieldsFromTheLists) {
    EXPECT_EQ(DateToRegister({30, 11, 15}), 0x1FCF);
    EXPECT_EQ(DateToRegister({14, 2, 7}), 0x0F37);
    EXPECT_EQ(DateToRegister({-1, -1, -1}), 0x000F); // empty day and month give 0, empty year 15
    EXPECT_EQ(DateToRegister({0, -1, 3}), 0x0103);
}

// ---- Damping, units ----------------------------------------------------------------------------

TEST(Register9, ClampedCodesAndTheirNames) {
    EXPECT_EQ(DampingIndexFromRegister(0x0904), 8);
    EXPECT_EQ(DampingNames()[DampingIndexFromRegister(0x0904)], "64");
    EXPECT_EQ(UnitNames()[UnitsIndexFromRegister(0x0904)], "кг/см2");
    EXPECT_EQ(DampingNames()[DampingIndexFromRegister(0x0202)], "4");
    EXPECT_EQ(UnitNames()[UnitsIndexFromRegister(0x0202)], "кПа");
    EXPECT_EQ(UnitsIndexFromRegister(0x00FF), 10);
    EXPECT_EQ(UnitName(UnitsIndexFromRegister(0x00FF)), "psi");
}

TEST(Register9, EmptySelectionsGive0xFF) {
    EXPECT_EQ(DampingUnitsToRegister(2, 2), 0x0202);
    EXPECT_EQ(DampingUnitsToRegister(-1, 4), 0xFF04);
    EXPECT_EQ(DampingUnitsToRegister(8, -1), 0x08FF);
}

TEST(Register58, SensorUnitsAtCodeMinusOne) {
    EXPECT_EQ(SensorUnitsIndexFromRegister(0x0000), -1);
    EXPECT_EQ(SensorUnitsToRegister(-1), 0x0000); // written back without a choice
    EXPECT_EQ(SensorUnitsIndexFromRegister(0x0001), 0);
    EXPECT_EQ(SensorUnitsIndexFromRegister(0x000A), 9);
    EXPECT_EQ(SensorUnitsIndexFromRegister(0x000C), 9); // limited to 10
    EXPECT_EQ(SensorUnitsIndexFromRegister(0x0104), 3); // the high byte is not part of the code
    EXPECT_EQ(SensorUnitsToRegister(3), 0x0004);
}

// ---- Text ------------------------------------------------------------------------------------------

using Words = std::array<uint16_t, 8>;

Words Pack(const QString& text) {
    Words w{};
    TextToWords(text, w.data());
    return w;
}

TEST(DeviceText, PacksTwoCharactersPerRegisterBlankPadded) {
    EXPECT_EQ(Pack("PT-100 sensor"), (Words{0x5054, 0x2D31, 0x3030, 0x2073, 0x656E, 0x736F, 0x7220, 0x2020}));
    EXPECT_EQ(Pack(""), (Words{0x2020, 0x2020, 0x2020, 0x2020, 0x2020, 0x2020, 0x2020, 0x2020}));
}

TEST(DeviceText, KeepsOnlySixteenCharacters) {
    const Words w = Pack("0123456789ABCDEFGHIJ");
    EXPECT_EQ(TextFromWords(w.data()), "0123456789ABCDEF");
}

TEST(DeviceText, CyrillicIsStoredAsWindows1251) {
    const Words w = Pack("Датчик");
    EXPECT_EQ(w[0], 0xC4E0);
    EXPECT_EQ(w[1], 0xF2F7);
    EXPECT_EQ(w[2], 0xE8EA);
    EXPECT_EQ(w[3], 0x2020);
    EXPECT_EQ(TextFromWords(w.data()), "Датчик          "); // read back with its padding
}

TEST(DeviceText, CharacterOutsideTheCodePageBecomesQuestionMark) {
    // The CJK character and the emoji (two UTF-16 units) are one character each.
    EXPECT_EQ(TextFromWords(Pack("a日b😀c").data()), "a?b?c           ");
}

TEST(DeviceText, ZeroByteEndsTheShownText) {
    const Words w{0x4100, 0x4242, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(TextFromWords(w.data()), "A");
    const Words odd{0x4142, 0x4300, 0x4444, 0x2020, 0x2020, 0x2020, 0x2020, 0x2020};
    EXPECT_EQ(TextFromWords(odd.data()), "ABC");
}

// ---- Status ---------------------------------------------------------------------------------------

TEST(StatusText, SetBitsJoinedInTableOrderWithNothingBetween) {
    EXPECT_EQ(StatusText(0x0041), "Давление ниже НПИ.");
    EXPECT_EQ(StatusText(0x00C0), "Давление ниже НПИ.Давление выше ВПИ.");
    EXPECT_EQ(StatusText(0x8000), "Ошибка EEPROM микроконтроллера.");
    EXPECT_EQ(StatusText(0x0001), "");
    EXPECT_EQ(StatusText(0x031F), ""); // bits without a name
    EXPECT_EQ(StatusText(0x8020), "Перезапись информации о сенсоре в EEPROM.Ошибка EEPROM микроконтроллера.");
    QString all;
    for (const StatusBitText& entry : StatusBitTexts) all += QString::fromUtf8(entry.text);
    EXPECT_EQ(StatusText(0xFFFF), all);
}

// ---- Baud codes -------------------------------------------------------------------------------

TEST(BaudCode, SixRatesAndTheDefault) {
    const std::array<int, 6> rates{1200, 2400, 4800, 9600, 19200, 38400};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(BaudCode(rates[i]), i);
        EXPECT_EQ(BaudRateOfIndex(i), rates[i]);
    }
    for (int other : {0, 600, 57600, 115200, -1}) EXPECT_EQ(BaudCode(other), 4) << other;
    EXPECT_EQ(BaudRateOfIndex(-1), 19200);
    EXPECT_EQ(BaudRateOfIndex(6), 19200);
}

} // namespace
} // namespace olv::test
