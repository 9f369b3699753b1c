#include "device/trend_scale.h"

#include "device/encodings.h"
#include "device/live_trend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <utility>
#include <vector>

namespace olv::test {
namespace {

using namespace olv::device;

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();
constexpr float FloatMax = std::numeric_limits<float>::max();
const std::optional<std::pair<double, double>> NoRange;

// What a chart's value axis goes through: the scale it holds and the ticks it lays out at each change,
// taken in the order IntervalBeforeRange gives.
struct AxisModel {
    AxisScale held;
    double mostTicks = TickCount(held.low, held.high, held.step);

    void take(const AxisScale& next) {
        const double between = IntervalBeforeRange(held.low, held.high, held.step, next)
                                   ? TickCount(held.low, held.high, next.step)
                                   : TickCount(next.low, next.high, held.step);
        mostTicks = std::max({mostTicks, between, TickCount(next.low, next.high, next.step)});
        held = next;
    }
};

// Every scale is one an axis can lay out: finite, rising, a few ticks, steps that change the value
// they are added to (an axis adds the step to its last tick until it passes the end), and every
// reading shown inside it (the readings from fromMs to toMs).
void ExpectSound(const AxisScale& scale, const std::deque<TrendPoint>& points, int64_t fromMs = 0,
                 int64_t toMs = std::numeric_limits<int64_t>::max()) {
    ASSERT_TRUE(std::isfinite(scale.low) && std::isfinite(scale.high) && std::isfinite(scale.step) &&
                std::isfinite(scale.anchor));
    ASSERT_LT(scale.low, scale.high);
    ASSERT_GT(scale.step, 0);
    EXPECT_GT(scale.high + scale.step, scale.high);
    EXPECT_GT(scale.low + scale.step, scale.low);
    EXPECT_LE(TickCount(scale.low, scale.high, scale.step), AxisScale::MaxTicks);
    EXPECT_GE(scale.decimals, 0);
    EXPECT_LE(scale.decimals, 4);
    for (const TrendPoint& point : points)
        if (std::isfinite(point.value) && point.timeMs >= fromMs && point.timeMs <= toMs) {
            EXPECT_LE(scale.low, point.value);
            EXPECT_GE(scale.high, point.value);
        }
}

// ---- A steady reading, then a jump: the axis never holds more than a handful of ticks ----

struct JumpCase {
    const char* name;
    float steady;
    std::vector<float> then;
    std::optional<std::pair<double, double>> sensorRange;
    friend void PrintTo(const JumpCase& c, std::ostream* out) { *out << c.name; }
};

class SteadyThenJumpTest : public ::testing::TestWithParam<JumpCase> {};

TEST_P(SteadyThenJumpTest, EveryChangeOfTheAxisLaysOutAFewTicks) {
    const JumpCase& c = GetParam();
    int64_t now = 0;
    LiveTrend trend([&now] { return now += 1000; });
    AxisModel axis;
    auto feed = [&](float value) {
        trend.add({}, true, LiveReading{value, 0, false});
        const AxisScale scale = TrendValueScale(trend.points(), 0, now, c.sensorRange);
        ExpectSound(scale, trend.points());
        axis.take(scale);
    };
    for (int i = 0; i < 30; ++i)
        feed(c.steady);
    for (float value : c.then)
        feed(value);
    EXPECT_LE(axis.mostTicks, AxisScale::MaxTicks);
}

INSTANTIATE_TEST_SUITE_P(
    Jumps, SteadyThenJumpTest,
    ::testing::Values(JumpCase{"ZeroToOne", 0, {1}, std::pair{0.0, 1.6}}, JumpCase{"ZeroToOneNoRange", 0, {1}, NoRange},
                      JumpCase{"HalfToThousand", 0.5f, {1000}, std::pair{0.0, 1.6}},
                      JumpCase{"PositiveToNegative", 1.2f, {-0.3f}, std::pair{-0.1, 2.5}},
                      JumpCase{"MicroToMega", 1e-6f, {1e6f, 1e5f}, NoRange},
                      JumpCase{"ThenNaNThenInfinity", 0.8f, {NaN, Inf, -Inf, 0.8f}, std::pair{0.0, 1.6}},
                      JumpCase{"ZeroToTwoHundredThousandths", 0, {2e-5f}, std::pair{0.0, 1.6}},
                      JumpCase{"BackToSteady", 0, {1, 0, 0, 0}, NoRange},
                      JumpCase{"RangeEdges", 0, {1.6f, 0, 1.6f, -0.1f}, std::pair{0.0, 1.6}}),
    [](const ::testing::TestParamInfo<JumpCase>& info) { return info.param.name; });

// The order is what keeps the ticks few: a range from 0 to 1 given while the interval is still the
// steady band's would lay out tens of thousands.
TEST(AxisOrder, AWideningAxisTakesItsIntervalFirstANarrowingOneItsRange) {
    const AxisScale band = TrendValueScale({{0, 0}, {1000, 0}}, 0, 1000, std::pair{0.0, 1.6});
    const AxisScale wide = TrendValueScale({{0, 0}, {1000, 1}}, 0, 1000, std::pair{0.0, 1.6});
    EXPECT_GT(TickCount(wide.low, wide.high, band.step), 10000);
    EXPECT_TRUE(IntervalBeforeRange(band.low, band.high, band.step, wide));
    EXPECT_FALSE(IntervalBeforeRange(wide.low, wide.high, wide.step, band));
    // An axis that never had an interval (its own default is 0) takes one before anything else.
    EXPECT_TRUE(IntervalBeforeRange(0, 0, 0, band));
    EXPECT_TRUE(IntervalBeforeRange(0, 1, 0, wide));
}

// ---- The band of a steady value, and of readings the panel cannot tell apart ----

TEST(TrendValueScale, SteadyAndNearlySteadyReadingsGetTheSameNarrowBand) {
    const AxisScale steady = TrendValueScale({{0, 100}, {1, 100}}, 0, 1, NoRange);
    EXPECT_DOUBLE_EQ(steady.low, 99.9);
    EXPECT_DOUBLE_EQ(steady.high, 100.1);
    // Two floats one step apart: a band as wide, not an axis a float's step wide.
    const float next = std::nextafter(100.0f, 200.0f);
    const AxisScale close = TrendValueScale({{0, 100}, {1, next}}, 0, 1, NoRange);
    EXPECT_NEAR(close.high - close.low, 0.2, 1e-5);
    // A steady 0 gets the panel's last decimal on either side, cut at the sensor's range.
    const AxisScale zero = TrendValueScale({{0, 0}}, 0, 1, std::pair{0.0, 1.6});
    EXPECT_DOUBLE_EQ(zero.low, 0);
    EXPECT_DOUBLE_EQ(zero.high, 1e-4);
    // Spread readings keep their margin of a tenth.
    const AxisScale spread = TrendValueScale({{0, 50}, {1, 100}}, 0, 1, NoRange);
    EXPECT_DOUBLE_EQ(spread.low, 45);
    EXPECT_DOUBLE_EQ(spread.high, 105);
}

TEST(TrendValueScale, ReadingsThatAreNotFiniteAreLeftOutAndNoneLeftGivesTheDefault) {
    EXPECT_EQ(TrendValueScale({}, 0, 1, NoRange), AxisScale{});
    EXPECT_EQ(TrendValueScale({{0, NaN}, {1, Inf}}, 0, 1, NoRange), AxisScale{});
    const AxisScale scale = TrendValueScale({{0, NaN}, {1, 1}, {2, -Inf}, {3, 2}}, 0, 3, NoRange);
    EXPECT_DOUBLE_EQ(scale.low, 0.9);
    EXPECT_DOUBLE_EQ(scale.high, 2.1);
    // A sensor range that is no range is not used.
    EXPECT_EQ(TrendValueScale({{0, 1}, {1, 2}}, 0, 1, std::pair{NaN * 1.0, 5.0}), scale);
}

TEST(NiceScale, StepsOfOneTwoOrFiveWithTheDecimalsTheyNeed) {
    struct Row {
        double low, high, step;
        int decimals;
    };
    for (const Row& row : {Row{0, 1.6, 0.5, 1}, Row{0, 1e-4, 5e-5, 4}, Row{-0.1, 2.5, 1, 0},
                           Row{99.9, 100.1, 0.05, 2}, Row{-4e38, 4e38, 2e38, 0}}) {
        const AxisScale scale = NiceScale(row.low, row.high);
        EXPECT_DOUBLE_EQ(scale.step, row.step) << row.low << " .. " << row.high;
        EXPECT_EQ(scale.decimals, row.decimals) << row.low << " .. " << row.high;
        EXPECT_GE(scale.anchor, row.low);
        EXPECT_LT(scale.anchor, row.low + scale.step);
    }
}

// ---- Random readings: steady runs, jumps of every size, the float's limits, NaN, gaps ----

float RandomReading(std::mt19937& random, float last) {
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> power(-38, 38);
    std::uniform_real_distribution<float> unit(-1, 1);
    switch (kind(random)) {
    case 0: return NaN;
    case 1: return unit(random) > 0 ? Inf : -Inf;
    case 2: return unit(random) > 0 ? FloatMax : -FloatMax;
    case 3: return std::numeric_limits<float>::denorm_min() * (unit(random) > 0 ? 1 : -1);
    case 4: return unit(random) > 0 ? 1.6f : -0.1f; // the sensor's range edges
    case 5: return unit(random) * std::pow(10.0f, static_cast<float>(power(random)));
    case 6: return std::nextafter(last, unit(random) > 0 ? Inf : -Inf);
    default: return last; // steady runs
    }
}

TEST(TrendValueScaleProperty, AnySequenceOfReadingsKeepsTheAxisSoundAndItsTicksFew) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        // The points as the trend keeps them (what the instrument sends passes its plausibility test),
        // and the same readings straight into points, as no trend would keep them.
        int64_t now = 0;
        LiveTrend trend([&now] { return now; });
        std::deque<TrendPoint> raw;
        AxisModel kept, unchecked;
        float last = 0;
        std::uniform_int_distribution<int> gap(0, 19);
        for (int step = 0; step < 400; ++step) {
            now += gap(random) == 0 ? 7000 : 1000;
            last = RandomReading(random, last);
            const bool failed = gap(random) == 1;
            trend.add({}, !failed, LiveReading{last, 0, IsImplausibleReading(last)});
            raw.push_back({now, last, failed, 0});
            if (raw.size() > 50) raw.pop_front();
            const auto range = step % 2 ? std::optional{std::pair{-0.1, 1.6}} : NoRange;
            const AxisScale keptScale = TrendValueScale(trend.points(), now - 60000, now, range);
            ExpectSound(keptScale, trend.points(), now - 60000, now);
            kept.take(keptScale);
            const AxisScale rawScale = TrendValueScale(raw, now - 20000, now, range);
            ExpectSound(rawScale, raw, now - 20000, now);
            unchecked.take(rawScale);
            if (HasFatalFailure()) return;
        }
        EXPECT_LE(kept.mostTicks, AxisScale::MaxTicks);
        EXPECT_LE(unchecked.mostTicks, AxisScale::MaxTicks);
        for (const TrendPoint& point : trend.points())
            EXPECT_TRUE(std::isfinite(point.value) && !IsImplausibleReading(point.value));
    }
}

} // namespace
} // namespace olv::test
