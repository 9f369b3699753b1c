#include "device/number_text.h"

#include "device/live_value.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <optional>

namespace olv::test {
namespace {

using namespace olv::device;

// Switches the process to a comma-decimal locale for one test, where the system has one.
class CommaLocale {
public:
    CommaLocale() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const char* old = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = old ? old : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "ru_RU.UTF-8", "ru_RU.utf8"}) {
            if (std::setlocale(LC_NUMERIC, name)) break;
        }
    }
    ~CommaLocale() {
        std::setlocale(LC_NUMERIC, saved_.c_str());
        QLocale::setDefault(QLocale::c());
    }

private:
    std::string saved_;
};

TEST(FormatValue, ElevenWideFourDecimals) {
    EXPECT_EQ(FormatValue(100.0f), "   100.0000");
    EXPECT_EQ(FormatValue(0.123456f), "     0.1235");
    EXPECT_EQ(FormatValue(-12.25f), "   -12.2500");
    EXPECT_EQ(FormatValue(-100000.0f), "-100000.0000"); // the width is a minimum
}

// Exact halves at the fourth decimal round as printf rounds them (to even), and negative zero and
// negatives that round to zero keep their sign; the measurement log line formats its value the same way.
TEST(FormatValue, AsPrintfGivesIt) {
    const std::pair<float, const char*> cases[] = {
        {44064.90625f, " 44064.9062"}, {0.03125f, "     0.0312"}, {-0.03125f, "    -0.0312"},
        {1.09375f, "     1.0938"},     {-0.0f, "    -0.0000"},    {-0.00001f, "    -0.0000"},
    };
    for (const auto& [value, text] : cases) {
        char printed[64];
        std::snprintf(printed, sizeof printed, "%11.4f", static_cast<double>(value));
        EXPECT_EQ(FormatValue(value), QString::fromLatin1(printed)) << value;
        EXPECT_EQ(FormatValue(value), QString::fromLatin1(text)) << value;
        std::snprintf(printed, sizeof printed, "12:00:00 \t %8.4f \t 00 \n", static_cast<double>(value));
        EXPECT_EQ(MeasurementLogLine(12, 0, 0, value, 0), QByteArray(printed)) << value;
    }
}

TEST(FormatValue, PointWhateverTheLocale) {
    CommaLocale comma;
    EXPECT_EQ(FormatValue(1.5f), "     1.5000");
    EXPECT_EQ(MeasurementLogLine(1, 2, 3, 1.5f, 0), QByteArray("01:02:03 \t   1.5000 \t 00 \n"));
}

struct IntegerCase {
    const char* text;
    std::optional<int32_t> value;
};

class ParseIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ParseIntegerTest, Converts) {
    const IntegerCase c = GetParam();
    EXPECT_EQ(ParseInteger(QString::fromUtf8(c.text)), c.value) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, ParseIntegerTest,
    ::testing::Values(IntegerCase{"123", 123}, IntegerCase{"   -5", -5}, IntegerCase{"+7", 7},
                      IntegerCase{"70000", 70000}, IntegerCase{"0", 0}, IntegerCase{"007", 7},
                      IntegerCase{"2147483647", 2147483647}, IntegerCase{"-2147483648", INT32_MIN},
                      IntegerCase{"12 ", 12}, IntegerCase{"\t9\t", 9},
                      IntegerCase{"2147483648", std::nullopt}, IntegerCase{"-2147483649", std::nullopt},
                      IntegerCase{"99999999999999999999", std::nullopt}, IntegerCase{"", std::nullopt},
                      IntegerCase{"   ", std::nullopt}, IntegerCase{"-", std::nullopt},
                      IntegerCase{"1.5", std::nullopt}, IntegerCase{"12a", std::nullopt},
                      IntegerCase{"1 2", std::nullopt}, IntegerCase{"0x10", std::nullopt},
                      IntegerCase{"$10", std::nullopt}, IntegerCase{"+-1", std::nullopt},
                      IntegerCase{"Данных нет", std::nullopt}, IntegerCase{"١٢", std::nullopt}));

struct FloatCase {
    const char* text;
    std::optional<double> value;
};

class ParseFloatTest : public ::testing::TestWithParam<FloatCase> {};

TEST_P(ParseFloatTest, Converts) {
    const FloatCase c = GetParam();
    EXPECT_EQ(ParseFloat(QString::fromUtf8(c.text)), c.value) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, ParseFloatTest,
    ::testing::Values(FloatCase{"1.5", 1.5}, FloatCase{"   100.0000", 100.0}, FloatCase{"-12.25", -12.25},
                      FloatCase{"+2", 2.0}, FloatCase{"1e3", 1000.0}, FloatCase{"1.5E-2", 0.015},
                      FloatCase{"-2.5e+1", -25.0}, FloatCase{".5", 0.5}, FloatCase{"5.", 5.0},
                      FloatCase{"7 ", 7.0}, FloatCase{"1,5", std::nullopt}, FloatCase{"", std::nullopt},
                      FloatCase{" ", std::nullopt}, FloatCase{".", std::nullopt}, FloatCase{"-", std::nullopt},
                      FloatCase{"abc", std::nullopt}, FloatCase{"inf", std::nullopt},
                      FloatCase{"nan", std::nullopt}, FloatCase{"1e", std::nullopt},
                      FloatCase{"1e+", std::nullopt}, FloatCase{"--1", std::nullopt},
                      FloatCase{"1.2.3", std::nullopt}, FloatCase{"1e400", std::nullopt},
                      FloatCase{" Данных нет", std::nullopt}, FloatCase{"0x1p3", std::nullopt}));

TEST(ParseFloat, PointWhateverTheLocale) {
    CommaLocale comma;
    EXPECT_EQ(ParseFloat("1.5"), 1.5);
    EXPECT_EQ(ParseFloat("1,5"), std::nullopt);
}

TEST(ParseSingle, RoundsToSinglePrecisionAndRejectsOverflow) {
    EXPECT_EQ(ParseSingle("1.0001234"), 1.0001234f);
    EXPECT_EQ(ParseSingle("3.4e38"), 3.4e38f);
    EXPECT_EQ(ParseSingle("1e39"), std::nullopt);
    EXPECT_EQ(ParseSingle("-1e39"), std::nullopt);
    EXPECT_EQ(ParseSingle("1e-50"), 0.0f); // too small for a float: rounds to zero, still a number
}

TEST(ParseFloat, ReadsBackEveryShownValue) {
    for (float v : {0.0f, 100.0f, -12.25f, 99999.5f, -100000.0f, 0.0001f}) {
        const std::optional<float> back = ParseSingle(FormatValue(v));
        ASSERT_TRUE(back.has_value()) << FormatValue(v).toStdString();
        EXPECT_EQ(FormatValue(*back), FormatValue(v));
    }
}

} // namespace
} // namespace olv::test
