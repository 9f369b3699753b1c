#pragma once

#include "calibration/results.h"

#include <QString>

#include <optional>
#include <vector>

namespace olv::calibration {

inline constexpr double CoverageFactor = 2.0;

// The uncertainty budget of a table, every figure in the meter's units.
struct UncertaintyBudget {
    double reference = 0;     // standard uncertainty of the reference: its stated (k = 2) value / 2
    double resolution = 0;    // of the meter's shown value: one step of the last digit / (2·√3)
    double repeatability = 0; // standard uncertainty of one result from its scatter
    double combined = 0;      // root sum of squares of the three
    double expanded = 0;      // CoverageFactor × combined
};

// The budget from the reference's stated expanded uncertainty (k = 2), the step of the meter's last
// shown digit and the standard uncertainty of repeatability. None when a figure is negative or not
// finite.
std::optional<UncertaintyBudget> ExpandedUncertainty(double referenceExpanded, double resolution,
                                                     double repeatability);

// One step of the last digit of a value shown with `decimals` decimals (the window shows four: 0.0001).
double ShownResolution(int decimals = 4);

// The standard uncertainty of one result from the table's scatter: with several cycles, the largest
// sample standard deviation of the errors of one point and direction over the cycles; with one, the
// largest standard deviation of a point's mean reading (the averaged readings' deviation / √count).
// 0 without accepted results.
double RepeatabilityOf(const std::vector<PointResult>& results);

// How the budget is combined, as the certificate states it.
QString UncertaintyFormula();

} // namespace olv::calibration
