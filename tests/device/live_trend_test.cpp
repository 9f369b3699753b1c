#include "device/live_trend.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace olv::test {
namespace {

using namespace olv::device;

enum class Read { Good, Failed, Implausible };

struct Step {
    int64_t timeMs;
    Read read = Read::Good;
    float value = 1.0f;
    TrendSource source{};
};

// A trend on a clock that the steps set.
struct ClockedTrend {
    int64_t now = 0;
    LiveTrend trend{[this] { return now; }};

    TrendChange add(const Step& step) {
        now = step.timeMs;
        const LiveReading reading{step.read == Read::Implausible ? 0.0f : step.value, 0,
                                  step.read == Read::Implausible};
        return trend.add(step.source, step.read != Read::Failed, reading);
    }
};

std::vector<Step> EverySecondsFor(int64_t stepMs, int64_t untilMs) {
    std::vector<Step> steps;
    for (int64_t t = 0; t <= untilMs; t += stepMs)
        steps.push_back({t});
    return steps;
}

// ---- The window: exactly the readings of the last 10 minutes ----

struct WindowCase {
    const char* name;
    std::vector<Step> steps;
    size_t kept;
    int64_t firstKeptMs;
};

class TrendWindowTest : public ::testing::TestWithParam<WindowCase> {};

TEST_P(TrendWindowTest, KeepsTheReadingsOfTheLastTenMinutes) {
    const WindowCase& c = GetParam();
    ClockedTrend t;
    size_t appended = 0, dropped = 0;
    for (const Step& step : c.steps) {
        const TrendChange change = t.add(step);
        appended += change.appended ? 1 : 0;
        dropped += change.dropped;
    }
    ASSERT_EQ(t.trend.points().size(), c.kept);
    EXPECT_EQ(t.trend.points().front().timeMs, c.firstKeptMs);
    // Whatever a chart was told: what was appended and not dropped is what the trend holds.
    EXPECT_EQ(appended - dropped, c.kept);
}

INSTANTIATE_TEST_SUITE_P(
    Window, TrendWindowTest,
    ::testing::Values(
        // Eleven minutes once a second: 600 readings, the oldest 9 min 59 s before the newest.
        WindowCase{"OncePerSecond", EverySecondsFor(1000, 660'000), 600, 61'000},
        // The window is a time, not a number of points.
        WindowCase{"EveryTwoSeconds", EverySecondsFor(2000, 798'000), 300, 200'000},
        // A reading exactly ten minutes old is out; one a millisecond younger is in.
        WindowCase{"ExactlyTenMinutesOld", {{0}, {1}, {600'000}}, 2, 1},
        // A failed step drops old readings too.
        WindowCase{"FailedStepDrops", {{0}, {1000}, {600'500, Read::Failed}}, 1, 1000}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Gaps: a failed or implausible read is no point ----

struct GapCase {
    const char* name;
    std::vector<Step> steps;
    std::vector<float> values;
    std::vector<bool> afterGap;
};

class TrendGapTest : public ::testing::TestWithParam<GapCase> {};

TEST_P(TrendGapTest, BadReadsLeaveGapsNeverZeros) {
    const GapCase& c = GetParam();
    ClockedTrend t;
    for (const Step& step : c.steps)
        t.add(step);
    std::vector<float> values;
    std::vector<bool> afterGap;
    for (const TrendPoint& point : t.trend.points()) {
        values.push_back(point.value);
        afterGap.push_back(point.afterGap);
    }
    EXPECT_EQ(values, c.values);
    EXPECT_EQ(afterGap, c.afterGap);
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, TrendGapTest,
    ::testing::Values(
        GapCase{"Steady", {{0, Read::Good, 5}, {1000, Read::Good, 6}}, {5, 6}, {false, false}},
        GapCase{"FailedRead",
                {{0, Read::Good, 5}, {1000, Read::Failed, 9}, {2000, Read::Good, 6}, {3000, Read::Good, 7}},
                {5, 6, 7},
                {false, true, false}},
        GapCase{"ImplausibleRead",
                {{0, Read::Good, 5}, {1000, Read::Implausible}, {2000, Read::Good, 6}},
                {5, 6},
                {false, true}},
        // Failures before the first reading leave nothing to separate it from.
        GapCase{"FailuresFirst", {{0, Read::Failed}, {1000, Read::Good, 5}}, {5}, {false}},
        // No polling for a while (another page was shown) is a gap as well.
        GapCase{"PollingPaused",
                {{0, Read::Good, 5}, {5000, Read::Good, 6}, {10'001, Read::Good, 7}},
                {5, 6, 7},
                {false, false, true}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Minimum, maximum, mean ----

TEST(TrendStats, OfAKnownSeriesAndOfWhatIsLeftInTheWindow) {
    ClockedTrend t;
    EXPECT_EQ(t.trend.stats().count, 0u);
    EXPECT_EQ(TrendStatsText(t.trend.stats()), QStringLiteral("Данных нет"));

    for (const Step& step :
         {Step{0, Read::Good, -2.5f}, Step{1000, Read::Good, 10}, Step{2000, Read::Failed},
          Step{3000, Read::Good, 4}, Step{4000, Read::Implausible}, Step{5000, Read::Good, 0.5f}})
        t.add(step);
    TrendStats stats = t.trend.stats();
    EXPECT_EQ(stats.count, 4u);
    EXPECT_EQ(stats.minimum, -2.5f);
    EXPECT_EQ(stats.maximum, 10.0f);
    EXPECT_DOUBLE_EQ(stats.mean, 3.0);
    EXPECT_EQ(TrendStatsText(stats), QStringLiteral("Минимум     -2.5000\n"
                                                    "Максимум    10.0000\n"
                                                    "Среднее      3.0000"));

    // Once -2.5 and 10 are older than ten minutes they count no more.
    t.add({601'000, Read::Failed});
    stats = t.trend.stats();
    EXPECT_EQ(stats.count, 2u);
    EXPECT_EQ(stats.minimum, 0.5f);
    EXPECT_EQ(stats.maximum, 4.0f);
    EXPECT_DOUBLE_EQ(stats.mean, 2.25);
}

// ---- A new trend for another port, address or byte order ----

struct SourceCase {
    const char* name;
    TrendSource next;
    bool cleared;
};

class TrendSourceTest : public ::testing::TestWithParam<SourceCase> {};

TEST_P(TrendSourceTest, AnotherSourceStartsANewTrend) {
    const SourceCase& c = GetParam();
    const TrendSource first{{1, 1}, 0};
    ClockedTrend t;
    t.add({0, Read::Good, 5, first});
    t.add({1000, Read::Good, 6, first});

    // A failed read under the other source already ends the old trend.
    const TrendChange change = t.add({2000, Read::Failed, 0, c.next});
    EXPECT_EQ(change.cleared, c.cleared);
    t.add({3000, Read::Good, 7, c.next});

    std::vector<float> values;
    for (const TrendPoint& point : t.trend.points())
        values.push_back(point.value);
    const std::vector<float> expected = c.cleared ? std::vector<float>{7} : std::vector<float>{5, 6, 7};
    EXPECT_EQ(values, expected);
    EXPECT_EQ(t.trend.stats().count, values.size());
}

INSTANTIATE_TEST_SUITE_P(Sources, TrendSourceTest,
                         ::testing::Values(SourceCase{"Same", {{1, 1}, 0}, false},
                                           SourceCase{"ByteOrder", {{1, 1}, 3}, true},
                                           SourceCase{"Address", {{1, 2}, 0}, true},
                                           SourceCase{"Port", {{2, 1}, 0}, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Earlier series: another instrument's readings stay, apart and named ----

std::vector<float> ValuesOf(const std::deque<TrendPoint>& points) {
    std::vector<float> values;
    for (const TrendPoint& point : points)
        values.push_back(point.value);
    return values;
}

TEST(LiveTrend, AnotherInstrumentsReadingsBecomeAnEarlierSeriesUnderTheirName) {
    ClockedTrend t;
    TrendSource meter1{{1, 1, "/dev/ttyUSB0"}, 0, "МПа"};
    meter1.instrument.serial = 123456;
    const TrendSource meter2{{1, 2, "/dev/ttyUSB0"}, 0, "кПа"};
    t.add({0, Read::Good, 5, meter1});
    t.add({1000, Read::Good, 6, meter1});
    const TrendChange change = t.add({2000, Read::Good, 70, meter2});
    EXPECT_TRUE(change.cleared);
    EXPECT_TRUE(change.earlierChanged);
    EXPECT_EQ(ValuesOf(t.trend.points()), std::vector<float>{70});
    EXPECT_EQ(t.trend.stats().count, 1u); // the figures are the current instrument's only
    ASSERT_EQ(t.trend.earlierSeries().size(), 1u);
    const TrendSeries& earlier = t.trend.earlierSeries().front();
    EXPECT_EQ(ValuesOf(earlier.points), (std::vector<float>{5, 6}));
    EXPECT_EQ(earlier.source.instrument.address, 1);
    EXPECT_EQ(earlier.source.instrument.serial, std::optional<int32_t>(123456));
    EXPECT_EQ(earlier.source.units, QStringLiteral("МПа"));

    // Back to meter 1: a series of its own again; meter 2's is kept as well.
    t.add({3000, Read::Good, 7, meter1});
    ASSERT_EQ(t.trend.earlierSeries().size(), 2u);
    EXPECT_EQ(t.trend.earlierSeries().back().source.instrument.address, 2);
    EXPECT_EQ(ValuesOf(t.trend.points()), std::vector<float>{7});
}

TEST(LiveTrend, ASerialNumberReadLaterLabelsTheSeriesAndAnotherOneStartsANewSeries) {
    ClockedTrend t;
    const TrendSource unread{{1, 1}, 0};
    TrendSource read = unread;
    read.instrument.serial = 111;
    read.units = "МПа";
    t.add({0, Read::Good, 1, unread});
    EXPECT_FALSE(t.add({1000, Read::Good, 2, read}).cleared); // learned: the same series
    EXPECT_FALSE(t.add({2000, Read::Good, 3, unread}).cleared); // a step that does not know it forgets nothing
    ASSERT_TRUE(t.trend.source());
    EXPECT_EQ(t.trend.source()->instrument.serial, std::optional<int32_t>(111));
    EXPECT_EQ(t.trend.source()->units, QStringLiteral("МПа"));
    EXPECT_EQ(t.trend.points().size(), 3u);

    TrendSource swapped = read;
    swapped.instrument.serial = 222; // the same address answers with another serial number
    EXPECT_TRUE(t.add({3000, Read::Good, 9, swapped}).cleared);
    ASSERT_EQ(t.trend.earlierSeries().size(), 1u);
    EXPECT_EQ(t.trend.earlierSeries().front().source.instrument.serial, std::optional<int32_t>(111));
}

TEST(LiveTrend, EarlierSeriesAgeOutAndAreFewAndAClockSetBackClearsThemToo) {
    ClockedTrend t;
    for (int address = 1; address <= 5; ++address)
        t.add({address * 1000, Read::Good, float(address), TrendSource{{1, address}, 0}});
    // Four sources before the current one; the oldest earlier series went.
    ASSERT_EQ(t.trend.earlierSeries().size(), LiveTrend::MaxEarlierSeries);
    EXPECT_EQ(t.trend.earlierSeries().front().source.instrument.address, 2);

    // Ten minutes after address 2's reading it is gone, address 3's (a second younger) is not.
    const TrendChange change = t.add({602'000, Read::Good, 5, TrendSource{{1, 5}, 0}});
    EXPECT_TRUE(change.earlierChanged);
    ASSERT_EQ(t.trend.earlierSeries().size(), 2u);
    EXPECT_EQ(t.trend.earlierSeries().front().source.instrument.address, 3);

    EXPECT_FALSE(t.add({602'500, Read::Good, 5, TrendSource{{1, 5}, 0}}).earlierChanged);
    EXPECT_TRUE(t.add({1000, Read::Good, 5, TrendSource{{1, 5}, 0}}).cleared);
    EXPECT_TRUE(t.trend.earlierSeries().empty());
}

TEST(LiveTrend, AClockSetBackStartsANewTrend) {
    ClockedTrend t;
    t.add({100'000, Read::Good, 5});
    const TrendChange change = t.add({40'000, Read::Good, 6});
    EXPECT_TRUE(change.cleared);
    ASSERT_EQ(t.trend.points().size(), 1u);
    EXPECT_EQ(t.trend.points().front().value, 6.0f);
    // Another reading in the same millisecond is no step back: the trend goes on.
    EXPECT_FALSE(t.add({40'000, Read::Good, 7}).cleared);
    ASSERT_EQ(t.trend.points().size(), 2u);
    EXPECT_EQ(t.trend.points().back().value, 7.0f);
}

} // namespace
} // namespace olv::test
