// The settling rule: steady, drifting, noisy and broken runs of readings.

#include "calibration/settling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace olv::calibration;

namespace {

// Range 0..1.6: the default band of 0.05 % is 0.0008.
constexpr double Span = 1.6;

Settler::Phase Feed(Settler& s, std::initializer_list<double> values) {
    for (double v : values)
        s.add(v);
    return s.phase();
}

TEST(Settler, SteadyReadingsSettleAfterTheWindowThenAverageTheNextOnes) {
    Settler s(SettlingRule{}, Span);
    EXPECT_EQ(Feed(s, {0.4, 0.4, 0.4, 0.4}), Settler::Phase::Settling);
    EXPECT_FALSE(s.spread());
    EXPECT_EQ(s.add(0.4), Settler::Phase::Averaging);
    EXPECT_EQ(s.averagedCount(), 0) << "the reading that completes the window is not averaged";
    EXPECT_EQ(Feed(s, {0.4001, 0.4002, 0.4003, 0.4004}), Settler::Phase::Averaging);
    EXPECT_EQ(s.add(0.4005), Settler::Phase::Done);
    EXPECT_NEAR(s.mean(), 0.4003, 1e-12);
    EXPECT_NEAR(s.standardDeviation(), 0.000158113883, 1e-9);
    EXPECT_EQ(s.add(9.0), Settler::Phase::Done) << "readings after the mean change nothing";
    EXPECT_NEAR(s.mean(), 0.4003, 1e-12);
}

TEST(Settler, ADriftFasterThanTheBandNeverSettles) {
    Settler s(SettlingRule{}, Span);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(s.add(0.4 + 0.00025 * i), Settler::Phase::Settling) << i;
    EXPECT_NEAR(*s.spread(), 0.001, 1e-12);
}

TEST(Settler, TheBandsEdgeIsInsideIt) {
    SettlingRule rule;
    rule.band = 0.001;
    rule.bandInUnits = true;
    Settler inside(rule, Span);
    // Floats as the meter sends them: 0.401f - 0.4f is not exactly 0.001 in binary.
    EXPECT_EQ(Feed(inside, {0.4f, 0.401f, 0.4f, 0.401f, 0.4f}), Settler::Phase::Averaging);
    Settler outside(rule, Span);
    EXPECT_EQ(Feed(outside, {0.4f, 0.40101f, 0.4f, 0.401f, 0.4f}), Settler::Phase::Settling);
}

TEST(Settler, ANonNumberBreaksTheRunOfReadings) {
    for (double bad : {std::nan(""), double(INFINITY), -double(INFINITY)}) {
        Settler s(SettlingRule{}, Span);
        EXPECT_EQ(Feed(s, {0.4, 0.4, 0.4, 0.4, bad, 0.4}), Settler::Phase::Settling);
        EXPECT_EQ(s.windowCount(), 1);
        EXPECT_EQ(s.invalidCount(), 1);
        EXPECT_EQ(Feed(s, {0.4, 0.4, 0.4, 0.4}), Settler::Phase::Averaging);
        // While averaging, too: the mean must not hold readings from both sides of it.
        EXPECT_EQ(Feed(s, {0.4, 0.4, bad}), Settler::Phase::Settling);
        EXPECT_EQ(s.averagedCount(), 0);
        EXPECT_TRUE(std::isnan(s.mean()));
    }
}

TEST(Settler, AJumpWhileAveragingStartsTheWaitAgain) {
    Settler s(SettlingRule{}, Span);
    Feed(s, {0.8, 0.8, 0.8, 0.8, 0.8, 0.8, 0.8});
    ASSERT_EQ(s.averagedCount(), 2);
    EXPECT_EQ(s.add(0.81), Settler::Phase::Settling);
    EXPECT_EQ(s.averagedCount(), 0);
    // The window keeps the jump: five more steady readings are needed before averaging again.
    EXPECT_EQ(Feed(s, {0.81, 0.81, 0.81}), Settler::Phase::Settling);
    EXPECT_EQ(s.add(0.81), Settler::Phase::Averaging);
}

TEST(Settler, NoiseWithinTheBandSettlesNoiseBeyondItDoesNot) {
    std::mt19937 random(7);
    // Noise of a standard deviation of 0.01 % of span: five readings spread about 0.02 %.
    std::normal_distribution<double> small(0.0, 0.0001 * Span), large(0.0, 0.002 * Span);
    Settler quiet(SettlingRule{}, Span), loud(SettlingRule{}, Span);
    int reads = 0;
    while (quiet.phase() != Settler::Phase::Done && reads < 100) {
        quiet.add(0.8 + small(random));
        loud.add(0.8 + large(random));
        ++reads;
    }
    EXPECT_EQ(quiet.phase(), Settler::Phase::Done);
    EXPECT_LT(reads, 30);
    EXPECT_NEAR(quiet.mean(), 0.8, 0.0005);
    EXPECT_EQ(loud.phase(), Settler::Phase::Settling);
}

// Whatever comes, the rule's promises hold: Done only after meanCount readings whose window stayed
// in the band, the mean lies among them, and the spread it reports is that of the last readings.
TEST(Settler, RandomReadingsKeepItsPromises) {
    std::mt19937 random(20240531);
    const double specials[] = {std::nan(""),
                               INFINITY,
                               -INFINITY,
                               std::numeric_limits<float>::max(),
                               -std::numeric_limits<float>::max(),
                               0.0,
                               1e-38};
    for (int run = 0; run < 300; ++run) {
        SettlingRule rule;
        rule.window = 2 + static_cast<int>(random() % 6);
        rule.meanCount = 1 + static_cast<int>(random() % 6);
        Settler s(rule, Span);
        std::vector<double> since; // finite readings since the last non-number
        for (int i = 0; i < 200 && s.phase() != Settler::Phase::Done; ++i) {
            double v =
                0.8 + (random() % 3 == 0 ? 0.01 : 0.0001) * (static_cast<double>(random() % 1000) / 1000.0);
            if (random() % 40 == 0) v = specials[random() % 7];
            s.add(v);
            if (!std::isfinite(v))
                since.clear();
            else
                since.push_back(v);
            if (s.spread()) {
                ASSERT_GE(since.size(), static_cast<size_t>(rule.window));
                const auto last = std::vector<double>(since.end() - rule.window, since.end());
                const auto [lo, hi] = std::minmax_element(last.begin(), last.end());
                ASSERT_DOUBLE_EQ(*s.spread(), *hi - *lo);
            }
        }
        if (s.phase() != Settler::Phase::Done) continue;
        ASSERT_GE(since.size(), static_cast<size_t>(rule.window + rule.meanCount));
        const auto averaged = std::vector<double>(since.end() - rule.meanCount, since.end());
        double sum = 0;
        for (double v : averaged)
            sum += v;
        EXPECT_NEAR(s.mean(), sum / rule.meanCount, 1e-12);
        EXPECT_TRUE(std::isfinite(s.standardDeviation()));
    }
}

} // namespace
