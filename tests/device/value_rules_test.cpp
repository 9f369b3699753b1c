// The rules every write obeys, whoever proposes the values: one table of configurations, one of link
// values, and images made of random and extreme words.
#include "device/encodings.h"
#include "device/pending_device_link.h"
#include "device/register_map.h"
#include "device/value_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>

using namespace olv::device;
using Words = std::array<uint16_t, reg::ImageSize>;

namespace {

// A configuration the instrument may hold: 15.03.2007, range -0.1 … 2.5, damping "4" in кПа.
Words Good() {
    Words w{};
    w[reg::Date] = 0x0F37;
    w[reg::DampingUnits] = 0x0202;
    w[reg::ByteOrder] = 1;
    w[reg::SensorUnits] = 2;
    FloatToWords(2.5f, w[reg::RangeMax], w[reg::RangeMax + 1]);
    FloatToWords(-0.1f, w[reg::RangeMin], w[reg::RangeMin + 1]);
    FloatToWords(0.0125f, w[reg::TrimOffset], w[reg::TrimOffset + 1]);
    FloatToWords(1.0f, w[reg::TrimMultiplier], w[reg::TrimMultiplier + 1]);
    return w;
}

void SetFloat(Words& w, int first, float v) {
    FloatToWords(v, w[static_cast<size_t>(first)], w[static_cast<size_t>(first) + 1]);
}

struct ConfigCase {
    const char* name;
    std::function<void(Words&)> edit;
    std::vector<CheckedField> fields; // of the only refusal; empty: none
    const char* reason;               // the refusal's words, when one
};

class ConfigurationRules : public testing::TestWithParam<ConfigCase> {};

constexpr float Inf = std::numeric_limits<float>::infinity();
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
using F = CheckedField;

} // namespace

TEST_P(ConfigurationRules, RefuseExactlyWhatTheInstrumentMustNotHold) {
    Words w = Good();
    GetParam().edit(w);
    const std::vector<Refusal> refusals = ConfigurationRefusals(w);
    if (GetParam().fields.empty()) {
        EXPECT_TRUE(refusals.empty()) << refusals.front().reason.toStdString();
        return;
    }
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].fields, GetParam().fields);
    EXPECT_EQ(refusals[0].reason, QString::fromUtf8(GetParam().reason));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, ConfigurationRules, testing::Values(
    ConfigCase{"Good", [](Words&) {}, {}, ""},
    ConfigCase{"MinimumAboveMaximum", [](Words& w) { SetFloat(w, reg::RangeMin, 5.0f); SetFloat(w, reg::RangeMax, 1.6f); },
               {F::RangeMin, F::RangeMax}, "минимум диапазона 5.0000 не меньше максимума 1.6000"},
    ConfigCase{"MinimumEqualToMaximum", [](Words& w) { SetFloat(w, reg::RangeMin, 2.5f); },
               {F::RangeMin, F::RangeMax}, "минимум диапазона 2.5000 не меньше максимума 2.5000"},
    ConfigCase{"ApartBeyondFourDecimalsShowsEveryDigit", [](Words& w) { SetFloat(w, reg::RangeMin, 2.50001f); },
               {F::RangeMin, F::RangeMax}, "минимум диапазона 2.50001001 не меньше максимума 2.5"},
    ConfigCase{"MinimumJustBelow", [](Words& w) { SetFloat(w, reg::RangeMin, std::nextafter(2.5f, 0.0f)); }, {}, ""},
    // A range that is no number is named once, not also as a minimum not below its maximum.
    ConfigCase{"MaximumNaN", [](Words& w) { SetFloat(w, reg::RangeMax, NaN); },
               {F::RangeMax}, "максимум диапазона не число (nan)"},
    ConfigCase{"MinimumMinusInfinity", [](Words& w) { SetFloat(w, reg::RangeMin, -Inf); },
               {F::RangeMin}, "минимум диапазона не число (-inf)"},
    ConfigCase{"OffsetInfinity", [](Words& w) { SetFloat(w, reg::TrimOffset, Inf); },
               {F::TrimOffset}, "смещение подстройки не число (inf)"},
    ConfigCase{"MultiplierNaNPattern", [](Words& w) { w[reg::TrimMultiplier] = 0x7FFF; w[reg::TrimMultiplier + 1] = 1; },
               {F::TrimMultiplier}, "диапазон подстройки не число (nan)"},
    ConfigCase{"MultiplierZero", [](Words& w) { SetFloat(w, reg::TrimMultiplier, 0.0f); },
               {F::TrimMultiplier}, "диапазон подстройки равен 0: прибор показывал бы 0 при любом давлении"},
    ConfigCase{"MultiplierMinusZero", [](Words& w) { SetFloat(w, reg::TrimMultiplier, -0.0f); },
               {F::TrimMultiplier}, "диапазон подстройки равен 0: прибор показывал бы 0 при любом давлении"},
    ConfigCase{"MultiplierTinyAndNegative", [](Words& w) { SetFloat(w, reg::TrimMultiplier, -1e-38f); }, {}, ""},
    ConfigCase{"FloatLimits", [](Words& w) { SetFloat(w, reg::RangeMin, -std::numeric_limits<float>::max());
                                             SetFloat(w, reg::RangeMax, std::numeric_limits<float>::max()); }, {}, ""},
    ConfigCase{"LeapDay2004", [](Words& w) { w[reg::Date] = 0x1D24; }, {}, ""},
    ConfigCase{"LeapDay2001", [](Words& w) { w[reg::Date] = 0x1D21; },
               {F::Date}, "дата выпуска с днем 29 и месяцем 2 2001 года не существует"},
    ConfigCase{"ThirtyFirstOfApril", [](Words& w) { w[reg::Date] = 0x1F47; },
               {F::Date}, "дата выпуска с днем 31 и месяцем 4 2007 года не существует"},
    ConfigCase{"LastDayOfTheList", [](Words& w) { w[reg::Date] = 0x1FCF; }, {}, ""},
    ConfigCase{"NoDateRecorded", [](Words& w) { w[reg::Date] = 0x0000; }, {}, ""},
    ConfigCase{"DayWithoutMonth", [](Words& w) { w[reg::Date] = 0x0F07; },
               {F::Date}, "дата выпуска с днем 15 и месяцем 0 2007 года не существует"},
    ConfigCase{"MonthWithoutDay", [](Words& w) { w[reg::Date] = 0x0037; },
               {F::Date}, "дата выпуска с днем 0 и месяцем 3 2007 года не существует"},
    ConfigCase{"Month13", [](Words& w) { w[reg::Date] = 0x01D7; },
               {F::Date}, "дата выпуска с днем 1 и месяцем 13 2007 года не существует"},
    ConfigCase{"Day32", [](Words& w) { w[reg::Date] = 0x2017; },
               {F::Date}, "дата выпуска с днем 32 и месяцем 1 2007 года не существует"},
    ConfigCase{"LastCodes", [](Words& w) { w[reg::DampingUnits] = 0x080A; w[reg::SensorUnits] = 10; w[reg::ByteOrder] = 3; }, {}, ""},
    ConfigCase{"SensorUnitsNotSet", [](Words& w) { w[reg::SensorUnits] = 0; }, {}, ""},
    ConfigCase{"Damping9", [](Words& w) { w[reg::DampingUnits] = 0x0902; },
               {F::Damping}, "код демпфирования 9 вне списка (0..8)"},
    ConfigCase{"Units11", [](Words& w) { w[reg::DampingUnits] = 0x020B; },
               {F::Units}, "код единиц 11 вне списка (0..10)"},
    ConfigCase{"SensorUnitsHighByte", [](Words& w) { w[reg::SensorUnits] = 0x0102; },
               {F::SensorUnits}, "код единиц датчика 258 вне списка (1..10)"},
    ConfigCase{"ByteOrder4", [](Words& w) { w[reg::ByteOrder] = 4; },
               {F::ByteOrder}, "код порядка байт 4 больше 3"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Random words, and floats drawn from the extremes: whatever passes is something the instrument can
// hold (finite floats, a range in order, a multiplier that is not 0, codes in their lists, a real date).
TEST(ConfigurationRules, RandomAndExtremeImagesPassOnlyWhenWritable) {
    std::mt19937 random(20240506);
    const float extremes[] = {0.0f,
                              -0.0f,
                              1.0f,
                              -1.0f,
                              NaN,
                              Inf,
                              -Inf,
                              std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::denorm_min(),
                              std::numeric_limits<float>::lowest()};
    int passed = 0;
    for (int round = 0; round < 20000; ++round) {
        Words w{};
        for (uint16_t& word : w)
            word = static_cast<uint16_t>(random());
        if (round % 2) {
            w[reg::Date] =
                static_cast<uint16_t>((random() % 33) << 8 | (random() % 14) << 4 | (random() % 16));
            w[reg::DampingUnits] = static_cast<uint16_t>((random() % 10) << 8 | random() % 12);
            w[reg::SensorUnits] = static_cast<uint16_t>(random() % 12);
            w[reg::ByteOrder] = static_cast<uint16_t>(random() % 5);
            for (int first : {reg::RangeMax, reg::RangeMin, reg::TrimOffset, reg::TrimMultiplier})
                SetFloat(w, first, random() % 3 ? extremes[random() % 10] : float(random() % 200) - 100.0f);
        }
        const std::vector<Refusal> refusals = ConfigurationRefusals(w);
        for (const Refusal& refusal : refusals) {
            ASSERT_FALSE(refusal.fields.empty());
            ASSERT_FALSE(refusal.reason.isEmpty());
        }
        if (!refusals.empty()) continue;
        ++passed;
        const auto at = [&w](int first) { return WordsToFloat(w[first], w[first + 1]); };
        for (int first : {reg::RangeMax, reg::RangeMin, reg::TrimOffset, reg::TrimMultiplier})
            ASSERT_TRUE(std::isfinite(at(first)));
        ASSERT_LT(at(reg::RangeMin), at(reg::RangeMax));
        ASSERT_NE(at(reg::TrimMultiplier), 0.0f);
        ASSERT_LE(w[reg::DampingUnits] >> 8, 8);
        ASSERT_LE(w[reg::DampingUnits] & 0xFF, 10);
        ASSERT_LE(w[reg::SensorUnits], 10);
        ASSERT_LE(w[reg::ByteOrder], 3);
        const int day = w[reg::Date] >> 8, month = (w[reg::Date] >> 4) & 0x0F;
        ASSERT_TRUE((day == 0 && month == 0) || (day >= 1 && day <= 31 && month >= 1 && month <= 12));
    }
    EXPECT_GT(passed, 100); // the drawn images did reach the good side
}

struct LinkCase {
    const char* name;
    LinkValues link;
    std::vector<CheckedField> fields; // refused, in order
};

class LinkRules : public testing::TestWithParam<LinkCase> {};

TEST_P(LinkRules, RefuseWhatTheInstrumentDoesNotTake) {
    std::vector<CheckedField> fields;
    for (const Refusal& refusal : LinkRefusals(GetParam().link))
        fields.push_back(refusal.fields.front());
    EXPECT_EQ(fields, GetParam().fields);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, LinkRules, testing::Values(
    LinkCase{"Lowest", {1, 0, 0, 0}, {}},
    LinkCase{"Highest", {255, 5, 2, 3}, {}},
    LinkCase{"Broadcast", {0, 4, 2, 0}, {F::Address}},
    LinkCase{"AddressBeyondAByte", {256, 4, 2, 0}, {F::Address}},
    LinkCase{"RateWithoutCode", {1, -1, 2, 0}, {F::BaudRate}},
    LinkCase{"BaudCode6", {1, 6, 2, 0}, {F::BaudRate}},
    LinkCase{"Parity3", {1, 4, 3, 0}, {F::Parity}},
    LinkCase{"ByteOrder4", {1, 4, 2, 4}, {F::ByteOrder}},
    LinkCase{"AllWrong", {0, 9, -1, -1}, {F::Address, F::BaudRate, F::Parity, F::ByteOrder}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(LinkRules, TheBroadcastAddressAndAnUnlistedRateSayWhy) {
    const std::vector<Refusal> refusals = LinkRefusals(LinkValuesOf(PendingDeviceLink{0, 14400, 2, 0}));
    ASSERT_EQ(refusals.size(), 2u);
    EXPECT_EQ(RefusalSentence(refusals[0]),
              QStringLiteral("Сетевой номер 0 предназначен для широковещательных запросов: прибор с этим "
                             "номером не будет отвечать."));
    EXPECT_EQ(refusals[1].reason, QStringLiteral("скорость обмена не из списка"));
    EXPECT_EQ(LinkValuesOf(PendingDeviceLink{17, 38400, 1, 3}).baudCode, 5);
}
