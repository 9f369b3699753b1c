// Errors against the tolerance, the summary of a table, and its uncertainty.

#include "calibration/results.h"
#include "calibration/uncertainty.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace olv::calibration;

namespace {

constexpr double Span = 1.6;

PointResult At(int point, double nominal, double error, Direction direction = Direction::Up, int cycle = 0) {
    return EvaluatePoint({point, nominal, direction, cycle}, nominal, nominal + error, 0, 5, Tolerance{},
                         Span);
}

TEST(WithinTolerance, AnErrorEqualToTheToleranceAsTheMeterSendsItPasses) {
    const Tolerance percent; // 0.25 % of 1.6: 0.004
    // Single-precision readings: 0.404f - 0.4 is 0.004000014 in binary.
    EXPECT_TRUE(WithinTolerance(0.404f - 0.4, percent, Span));
    EXPECT_TRUE(WithinTolerance(0.396f - 0.4, percent, Span));
    EXPECT_FALSE(WithinTolerance(0.4041f - 0.4, percent, Span));
    EXPECT_FALSE(WithinTolerance(0.3959f - 0.4, percent, Span));
    const Tolerance units{0.01, true};
    EXPECT_TRUE(WithinTolerance(-0.01, units, Span));
    EXPECT_FALSE(WithinTolerance(0.0101, units, Span));
    for (double bad : {std::nan(""), double(INFINITY), -double(INFINITY)})
        EXPECT_FALSE(WithinTolerance(bad, percent, Span));
}

TEST(EvaluatePoint, GivesTheErrorInUnitsAndPercentOfSpan) {
    const PointResult r = EvaluatePoint({2, 50, Direction::Down, 1}, 50.2, 50.0, 0.01, 5, Tolerance{}, 100);
    EXPECT_NEAR(r.error, -0.2, 1e-12);
    EXPECT_NEAR(r.errorPercent, -0.2, 1e-12);
    EXPECT_TRUE(r.pass);
    EXPECT_EQ(r.step.direction, Direction::Down);
    // A negative range: the span is still positive and so is a percentage of a positive error.
    const PointResult neg = EvaluatePoint({0, -100, Direction::Up, 0}, -100, -99.7, 0, 5, Tolerance{}, 100);
    EXPECT_NEAR(neg.errorPercent, 0.3, 1e-12);
    EXPECT_FALSE(neg.pass);
}

TEST(Summarize, GivesHysteresisRepeatabilityAndTheLargestError) {
    const std::vector<PointResult> results{
        At(0, 0, 0.001),
        At(1, 0.8, 0.0010),
        At(2, 1.6, -0.0030),
        At(1, 0.8, 0.0026, Direction::Down),
        At(0, 0, 0.0012, Direction::Down),
        At(0, 0, 0.0014, Direction::Up, 1),
        At(1, 0.8, 0.0012, Direction::Up, 1),
        At(2, 1.6, -0.0020, Direction::Up, 1),
        SkippedPoint({1, 0.8, Direction::Down, 1}),
        At(0, 0, 0.0016, Direction::Down, 1),
    };
    const Summary s = Summarize(results);
    EXPECT_EQ(s.accepted, 9);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(s.failed, 0);
    EXPECT_TRUE(s.pass);
    EXPECT_FALSE(s.complete());
    ASSERT_TRUE(s.largestErrorPercent);
    EXPECT_NEAR(*s.largestErrorPercent, -0.1875, 1e-9) << "the largest magnitude keeps its sign";
    ASSERT_EQ(s.points.size(), 3u);
    // Point 0.8: down 0.0026 against up 0.0010 and 0.0012.
    ASSERT_TRUE(s.points[1].hysteresis);
    EXPECT_NEAR(*s.points[1].hysteresis, 0.0026 - 0.0011, 1e-12);
    EXPECT_NEAR(*s.points[0].hysteresis, 0.0014 - 0.0012, 1e-12);
    EXPECT_FALSE(s.points[2].hysteresis) << "the top has no descending result";
    EXPECT_NEAR(*s.largestHysteresis, 0.0015, 1e-12);
    // Over the cycles: point 1.6 went -0.003 and -0.002.
    EXPECT_NEAR(*s.points[2].repeatability, 0.001, 1e-12);
    EXPECT_NEAR(*s.points[0].repeatability, 0.0004, 1e-12);
    EXPECT_NEAR(*s.largestRepeatability, 0.001, 1e-12);
}

TEST(Summarize, FailsOnOneErrorBeyondToleranceAndWithNothingAccepted) {
    EXPECT_FALSE(Summarize({At(0, 0, 0.001), At(1, 0.8, 0.0041)}).pass);
    EXPECT_EQ(Summarize({At(0, 0, 0.001), At(1, 0.8, 0.0041)}).failed, 1);
    EXPECT_FALSE(Summarize({SkippedPoint({0, 0, Direction::Up, 0})}).pass);
    EXPECT_FALSE(Summarize({}).pass);
    const Summary one = Summarize({At(0, 0, -0.002)});
    EXPECT_TRUE(one.pass);
    EXPECT_FALSE(one.largestHysteresis);
    EXPECT_FALSE(one.largestRepeatability);
}

TEST(Uncertainty, IsTwiceTheRootSumOfSquares) {
    // Reference 0.0008 (k = 2), last digit 0.0001, repeatability 0.0003.
    const auto b = ExpandedUncertainty(0.0008, ShownResolution(4), 0.0003);
    ASSERT_TRUE(b);
    EXPECT_DOUBLE_EQ(b->reference, 0.0004);
    EXPECT_NEAR(b->resolution, 0.0001 / std::sqrt(12.0), 1e-15);
    EXPECT_DOUBLE_EQ(b->repeatability, 0.0003);
    EXPECT_NEAR(b->combined, std::sqrt(0.0004 * 0.0004 + 0.0001 * 0.0001 / 12 + 0.0003 * 0.0003), 1e-15);
    EXPECT_NEAR(b->expanded, 2 * b->combined, 1e-15);
    EXPECT_DOUBLE_EQ(ShownResolution(0), 1);
    EXPECT_DOUBLE_EQ(ShownResolution(2), 0.01);
    for (double bad : {-0.001, std::nan(""), double(INFINITY)}) {
        EXPECT_FALSE(ExpandedUncertainty(bad, 0.0001, 0));
        EXPECT_FALSE(ExpandedUncertainty(0.001, bad, 0));
        EXPECT_FALSE(ExpandedUncertainty(0.001, 0.0001, bad));
    }
    EXPECT_FALSE(ExpandedUncertainty(1e308, 1e308, 1e308)) << "a sum of squares beyond the double";
    EXPECT_TRUE(UncertaintyFormula().contains(QStringLiteral("U = 2")));
}

TEST(RepeatabilityOf, TakesTheCyclesWhenThereAreSeveralElseTheScatterOfAMean) {
    // One cycle: the largest deviation of a mean, s / sqrt(n).
    std::vector<PointResult> one{At(0, 0, 0), At(1, 0.8, 0)};
    one[0].readingDeviation = 0.0002;
    one[0].readingCount = 4;
    one[1].readingDeviation = 0.0001;
    EXPECT_DOUBLE_EQ(RepeatabilityOf(one), 0.0001);
    // Cycles: the sample deviation of -0.003, -0.002, -0.001 is 0.001, whatever the readings' scatter.
    std::vector<PointResult> cycles{At(2, 1.6, -0.003, Direction::Up, 0),
                                    At(2, 1.6, -0.002, Direction::Up, 1),
                                    At(2, 1.6, -0.001, Direction::Up, 2), At(0, 0, 0, Direction::Up, 0),
                                    At(0, 0, 0.0001, Direction::Up, 1)};
    cycles[0].readingDeviation = 0.5;
    EXPECT_NEAR(RepeatabilityOf(cycles), 0.001, 1e-12);
    EXPECT_EQ(RepeatabilityOf({}), 0);
    EXPECT_EQ(RepeatabilityOf({SkippedPoint({0, 0, Direction::Up, 0})}), 0);
}

} // namespace
