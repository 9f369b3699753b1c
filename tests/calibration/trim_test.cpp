// The trim worked out from readings that already carry the meter's current trim.

#include "calibration/trim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace olv::calibration;

namespace {

// A sensor that measures P × (1 + gain) + zero, behind a meter that sends that × m + b.
struct Meter {
    double gain = 0, zero = 0;
    Trim trim;
    double reading(double pressure) const {
        return (pressure * (1 + gain) + zero) * trim.multiplier + trim.offset;
    }
    TrimPoint at(double pressure) const { return {pressure, reading(pressure)}; }
};

struct TwoPointCase {
    const char* name;
    Meter meter;
    double low, high, span;
    bool confirm;
};

class TwoPointTrimTest : public testing::TestWithParam<TwoPointCase> {};

// The right trim sends the applied pressure whatever the current trim was: 1 / (1 + gain) and
// -zero / (1 + gain).
TEST_P(TwoPointTrimTest, SendsThePressureAppliedWhateverTheCurrentTrim) {
    const TwoPointCase& c = GetParam();
    const TrimProposal p = TwoPointTrim(c.meter.trim, c.meter.at(c.low), c.meter.at(c.high), c.span);
    ASSERT_TRUE(p.ok) << p.refusal.toStdString();
    EXPECT_EQ(p.kind, TrimKind::TwoPoint);
    EXPECT_EQ(p.current, c.meter.trim);
    EXPECT_NEAR(p.proposed.multiplier, 1 / (1 + c.meter.gain), 1e-6);
    EXPECT_NEAR(p.proposed.offset, -c.meter.zero / (1 + c.meter.gain), 1e-6 * (c.span + std::fabs(c.low)));
    EXPECT_EQ(p.needsConfirmation, c.confirm) << p.confirmation.toStdString();
    EXPECT_EQ(p.confirmation.isEmpty(), !c.confirm);
    for (double pressure : {c.low, (c.low + c.high) / 2, c.high}) {
        const double after = ReadingUnder(p.proposed, c.meter.trim, c.meter.reading(pressure));
        EXPECT_NEAR(after, pressure, 1e-6 * (c.span + std::fabs(pressure))) << pressure;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Trim, TwoPointTrimTest,
    testing::Values(TwoPointCase{"ideal sensor, identity trim", {0, 0, {0, 1}}, 0, 1.6, 1.6, false},
                    TwoPointCase{"errors, identity trim", {0.01, 0.008, {0, 1}}, 0, 1.6, 1.6, false},
                    TwoPointCase{"errors, earlier trim", {0.01, 0.008, {0.01f, 0.98f}}, 0, 1.6, 1.6, false},
                    TwoPointCase{"inner points", {0.01, 0.008, {0.01f, 0.98f}}, 0.4, 1.2, 1.6, false},
                    TwoPointCase{"negative range", {-0.005, 0.3, {-0.1f, 1.002f}}, -100, 0, 100, false},
                    TwoPointCase{"offset range", {0.02, -1, {0.5f, 0.99f}}, 100, 200, 100, false},
                    TwoPointCase{"gain beyond 10 %", {-0.15, 0, {0, 1}}, 0, 1.6, 1.6, true},
                    TwoPointCase{"zero beyond 5 %", {0, 0.1, {0, 1}}, 0, 1.6, 1.6, true}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

struct RefusedCase {
    const char* name;
    Trim current;
    TrimPoint low, high;
    double span;
};

class RefusedTrimTest : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedTrimTest, GivesAReasonAndNoTrim) {
    const RefusedCase& c = GetParam();
    const TrimProposal p = TwoPointTrim(c.current, c.low, c.high, c.span);
    EXPECT_FALSE(p.ok);
    EXPECT_FALSE(p.refusal.isEmpty());
    EXPECT_EQ(p.proposed, Trim{}) << "a refused proposal holds nothing to write";
}

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Trim, RefusedTrimTest,
    testing::Values(RefusedCase{"points closer than 10 %", {0, 1}, {0.4, 0.4}, {0.55, 0.55}, 1.6},
                    RefusedCase{"no span", {0, 1}, {0, 0}, {1.6, 1.6}, 0},
                    RefusedCase{"negative span", {0, 1}, {0, 0}, {1.6, 1.6}, -1.6},
                    RefusedCase{"NaN span", {0, 1}, {0, 0}, {1.6, 1.6}, NaN},
                    RefusedCase{"current multiplier 0", {0, 0}, {0, 0}, {1.6, 1.6}, 1.6},
                    RefusedCase{"current offset NaN", {NAN, 1}, {0, 0}, {1.6, 1.6}, 1.6},
                    RefusedCase{"current multiplier infinite", {0, INFINITY}, {0, 0}, {1.6, 1.6}, 1.6},
                    RefusedCase{"reading NaN", {0, 1}, {0, NaN}, {1.6, 1.6}, 1.6},
                    RefusedCase{"reference infinite", {0, 1}, {0, 0}, {INFINITY, 1.6}, 1.6},
                    RefusedCase{"equal readings", {0, 1}, {0, 0.8}, {1.6, 0.8}, 1.6},
                    RefusedCase{"readings falling", {0, 1}, {0, 1.6}, {1.6, 0}, 1.6},
                    RefusedCase{"beyond a float", {0, 1}, {0, 0}, {1.6, 1e-300}, 1.6}));

TEST(TwoPointTrim, PointsTenPercentApartAreEnough) {
    EXPECT_TRUE(TwoPointTrim({0, 1}, {0.4, 0.4}, {0.56, 0.56}, 1.6).ok);
    EXPECT_TRUE(TwoPointTrim({0, 1}, {-50, -50}, {-40, -40}, 100).ok);
    EXPECT_FALSE(TwoPointTrim({0, 1}, {-50, -50}, {-40.01, -40.01}, 100).ok);
}

TEST(TwoPointTrim, TheConfirmationLimitsAreInclusive) {
    // A multiplier of exactly 1.1 or 0.9 (as floats) and an offset moved by exactly 5 % pass quietly.
    const Meter slow{1 / 1.1f - 1, 0, {0, 1}};
    EXPECT_FALSE(TwoPointTrim(slow.trim, slow.at(0), slow.at(100), 100).needsConfirmation);
    const TrimProposal moved = ZeroTrim({0, 1}, {0, -5}, 100);
    ASSERT_TRUE(moved.ok);
    EXPECT_FLOAT_EQ(moved.proposed.offset, 5);
    EXPECT_FALSE(moved.needsConfirmation);
    EXPECT_TRUE(ZeroTrim({0, 1}, {0, -5.01}, 100).needsConfirmation);
    EXPECT_TRUE(ZeroTrim({0, 1}, {0, 5.01}, 100).needsConfirmation);
}

TEST(ZeroTrim, MovesTheOffsetByTheErrorAndKeepsTheMultiplier) {
    // Identity trim: the zero error comes off the offset.
    TrimProposal p = ZeroTrim({0, 1}, {0, 0.008}, 1.6);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.kind, TrimKind::Zero);
    EXPECT_FLOAT_EQ(p.proposed.offset, -0.008f);
    EXPECT_FLOAT_EQ(p.proposed.multiplier, 1);
    // An earlier trim: the sensor's 0.008 sent as 0.008 × 0.98 + 0.01.
    const Meter meter{0, 0.008, {0.01f, 0.98f}};
    p = ZeroTrim(meter.trim, meter.at(0), 1.6);
    ASSERT_TRUE(p.ok);
    EXPECT_FLOAT_EQ(p.proposed.multiplier, 0.98f);
    EXPECT_NEAR(ReadingUnder(p.proposed, meter.trim, meter.reading(0)), 0, 1e-7);
    // At a point of an offset range.
    p = ZeroTrim({0, 1}, {100, 100.3}, 100);
    EXPECT_NEAR(p.proposed.offset, -0.3, 1e-6);

    EXPECT_FALSE(ZeroTrim({0, 0}, {0, 0.008}, 1.6).ok);
    EXPECT_FALSE(ZeroTrim({0, 1}, {0, NaN}, 1.6).ok);
    EXPECT_FALSE(ZeroTrim({0, 1}, {0, 0.008}, 0).ok);
    EXPECT_FALSE(ZeroTrim({0, 1}, {0, 1e39}, 1.6).ok) << "an offset no float holds";
}

PointResult Result(int point, double reference, double reading, Direction direction = Direction::Up) {
    return EvaluatePoint({point, reference, direction, 0}, reference, reading, 0.0001, 5, Tolerance{}, 1.6);
}

TEST(ProposeTrim, TakesTheLowestAndHighestPointsAveragedOverTheirResults) {
    const Meter meter{0.01, 0.008, {0.01f, 0.98f}};
    const std::vector<PointResult> asFound{
        Result(0, 0, meter.reading(0) + 0.0002),
        Result(1, 0.8, meter.reading(0.8)),
        Result(2, 1.6, meter.reading(1.6)),
        Result(1, 0.8, meter.reading(0.8), Direction::Down),
        Result(0, 0, meter.reading(0) - 0.0002, Direction::Down),
        SkippedPoint({2, 1.6, Direction::Down, 1}),
    };
    TrimProposal p = ProposeTrim(TrimKind::TwoPoint, meter.trim, asFound, 1.6);
    ASSERT_TRUE(p.ok) << p.refusal.toStdString();
    EXPECT_NEAR(p.proposed.multiplier, 1 / 1.01, 1e-6);
    EXPECT_NEAR(p.proposed.offset, -0.008 / 1.01, 1e-6);

    const std::vector<PointResult> expected =
        ExpectedResults(asFound, meter.trim, p.proposed, Tolerance{}, 1.6);
    ASSERT_EQ(expected.size(), asFound.size());
    EXPECT_NEAR(expected[1].error, 0, 1e-6);
    EXPECT_NEAR(expected[0].error, 0.0002 / 0.98 / 1.01, 1e-6);
    EXPECT_TRUE(expected[0].pass);
    EXPECT_FALSE(asFound[0].pass) << "as found, the zero is out of tolerance";
    EXPECT_NEAR(expected[2].error, 0, 1e-6);
    EXPECT_TRUE(expected[5].skipped);
    EXPECT_NEAR(expected[1].readingDeviation, 0.0001 / 0.98 / 1.01, 1e-9);

    p = ProposeTrim(TrimKind::Zero, meter.trim, asFound, 1.6);
    ASSERT_TRUE(p.ok);
    EXPECT_NEAR(ReadingUnder(p.proposed, meter.trim, meter.reading(0)), 0, 1e-6);

    EXPECT_FALSE(ProposeTrim(TrimKind::TwoPoint, meter.trim, {asFound[0], asFound[4]}, 1.6).ok);
    EXPECT_FALSE(ProposeTrim(TrimKind::Zero, meter.trim, {asFound[5]}, 1.6).ok);
}

TEST(TrimWords, AreTheFloatsHighHalfFirst) {
    const std::array<uint16_t, 4> words = TrimWords({-12.25f, 1.0f});
    EXPECT_EQ(words, (std::array<uint16_t, 4>{0xC144, 0x0000, 0x3F80, 0x0000}));
    EXPECT_EQ(TrimFromWords(words.data()), (Trim{-12.25f, 1.0f}));

    // What a write read back is the trim only when all four registers came back.
    olv::device::PageWriteResult result;
    for (int i = 0; i < 4; ++i) result.readBack[59 + i] = words[static_cast<size_t>(i)];
    result.readBack[58] = 0xFFFF;
    EXPECT_EQ(TrimReadBack(result), (Trim{-12.25f, 1.0f}));
    result.readBack.erase(62);
    EXPECT_FALSE(TrimReadBack(result));
}

// Random sensors, ranges and earlier trims: the proposal always brings the readings back onto the
// pressure, to the precision the floats of the registers allow.
TEST(TwoPointTrim, RandomMetersAreBroughtBackOntoThePressure) {
    std::mt19937 random(31337);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 2000; ++i) {
        const double minimum = (unit(random) - 0.5) * 2000;
        const double span = 0.1 + unit(random) * 1000;
        Meter meter;
        meter.gain = (unit(random) - 0.5) * 0.06;
        meter.zero = (unit(random) - 0.5) * 0.04 * span;
        meter.trim = {static_cast<float>((unit(random) - 0.5) * 0.04 * span),
                      static_cast<float>(0.9 + unit(random) * 0.2)};
        const double low = minimum + unit(random) * 0.4 * span;
        const double high = low + (0.11 + unit(random) * 0.5) * span;
        const TrimProposal p = TwoPointTrim(meter.trim, meter.at(low), meter.at(high), span);
        ASSERT_TRUE(p.ok) << i << ": " << p.refusal.toStdString();
        const double scale = std::fabs(minimum) + span;
        for (int k = 0; k < 5; ++k) {
            const double pressure = minimum + unit(random) * span;
            ASSERT_NEAR(ReadingUnder(p.proposed, meter.trim, meter.reading(pressure)), pressure, 1e-6 * scale)
                << i;
        }
    }
}

} // namespace
