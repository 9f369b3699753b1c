// Test points, the order of the steps and the checks of a procedure.

#include "calibration/procedure.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace olv::calibration;

namespace {

const Range Mpa{0, 1.6, QStringLiteral("МПа")};

TEST(DefaultPoints, AreQuartersOfTheRangeWhereverItLies) {
    EXPECT_EQ(DefaultPoints(Mpa), (std::vector<double>{0, 0.4, 0.8, 1.2, 1.6}));
    EXPECT_EQ(DefaultPoints({100, 200, {}}), (std::vector<double>{100, 125, 150, 175, 200}));
    EXPECT_EQ(DefaultPoints({-100, 0, {}}), (std::vector<double>{-100, -75, -50, -25, 0}));
    // The top is the maximum itself, not the sum of quarters that may miss it by a rounding.
    EXPECT_EQ(DefaultPoints({0.1, 0.7, {}}).back(), 0.7);
}

TEST(BuildSteps, GoUpThenDownBelowTheTopInEveryCycle) {
    Procedure p = DefaultProcedure(Mpa);
    p.points = {1.6, 0, 0.8}; // any order: taken ascending
    p.descending = true;
    p.cycles = 2;
    const std::vector<Step> steps = BuildSteps(p);
    ASSERT_EQ(steps.size(), 10u);
    const std::vector<Step> cycle{{0, 0, Direction::Up, 0},
                                  {1, 0.8, Direction::Up, 0},
                                  {2, 1.6, Direction::Up, 0},
                                  {1, 0.8, Direction::Down, 0},
                                  {0, 0, Direction::Down, 0}};
    for (size_t i = 0; i < cycle.size(); ++i) {
        EXPECT_EQ(steps[i], cycle[i]) << i;
        Step second = cycle[i];
        second.cycle = 1;
        EXPECT_EQ(steps[i + 5], second) << i;
    }
    p.descending = false;
    p.cycles = 1;
    EXPECT_EQ(BuildSteps(p).size(), 3u);
}

struct Refusal {
    const char* what;
    void (*change)(Procedure&);
    Range range = Mpa;
};

class CheckProcedureTest : public testing::TestWithParam<Refusal> {};

TEST_P(CheckProcedureTest, RefusesWithAReason) {
    Procedure p = DefaultProcedure(Mpa);
    GetParam().change(p);
    EXPECT_FALSE(CheckProcedure(p, GetParam().range).isEmpty()) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Procedure, CheckProcedureTest,
    testing::Values(Refusal{"no points", [](Procedure& p) { p.points.clear(); }},
                    Refusal{"a NaN point", [](Procedure& p) { p.points[2] = std::nan(""); }},
                    Refusal{"a point far above", [](Procedure& p) { p.points[4] = 1.7601; }},
                    Refusal{"a point far below", [](Procedure& p) { p.points[0] = -0.1601; }},
                    Refusal{"a point twice", [](Procedure& p) { p.points[1] = p.points[2]; }},
                    Refusal{"too many points",
                            [](Procedure& p) {
                                p.points.clear();
                                for (int i = 0; i < 22; ++i)
                                    p.points.push_back(0.05 * i);
                            }},
                    Refusal{"no cycle", [](Procedure& p) { p.cycles = 0; }},
                    Refusal{"eleven cycles", [](Procedure& p) { p.cycles = 11; }},
                    Refusal{"zero tolerance", [](Procedure& p) { p.tolerance.value = 0; }},
                    Refusal{"NaN tolerance", [](Procedure& p) { p.tolerance.value = std::nan(""); }},
                    Refusal{"one reading to settle", [](Procedure& p) { p.settling.window = 1; }},
                    Refusal{"nothing averaged", [](Procedure& p) { p.settling.meanCount = 0; }},
                    Refusal{"no band", [](Procedure& p) { p.settling.band = 0; }},
                    Refusal{"no time", [](Procedure& p) { p.settling.timeoutSeconds = 0; }},
                    Refusal{"a reversed range", [](Procedure&) {}, Range{1.6, 0, {}}},
                    Refusal{"an empty range", [](Procedure&) {}, Range{1, 1, {}}},
                    Refusal{"an infinite range", [](Procedure&) {}, Range{0, INFINITY, {}}}));

TEST(CheckProcedure, TakesPointsUpToTenPercentBeyondTheRange) {
    Procedure p = DefaultProcedure(Mpa);
    EXPECT_TRUE(CheckProcedure(p, Mpa).isEmpty());
    p.points = {-0.16, 1.76};
    EXPECT_TRUE(CheckProcedure(p, Mpa).isEmpty()) << CheckProcedure(p, Mpa).toStdString();
    p.points = {-110, -50};
    EXPECT_TRUE(CheckProcedure(p, {-100, 0, {}}).isEmpty());
}

} // namespace
