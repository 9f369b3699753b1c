#pragma once

#include "calibration/procedure.h"

#include <optional>
#include <vector>

namespace olv::calibration {

// One step of a check as it was taken: the reference, the meter's mean reading and the error.
struct PointResult {
    Step step;
    bool skipped = false;        // given up by the engineer: no reading, no error, no verdict
    double reference = 0;        // the pressure applied, in the range's units
    double reading = 0;          // mean of the meter's averaged readings
    double readingDeviation = 0; // their sample standard deviation
    int readingCount = 0;
    double error = 0;        // reading - reference, units
    double errorPercent = 0; // the same in % of span
    bool pass = false;       // |error| within the tolerance
};

// Whether an error lies within the tolerance; an error equal to it passes (up to RoundingSlack of the
// span, so that a reading of 0.404 against 0.4 with a tolerance of 0.004 passes although neither is
// exact in binary). A non-finite error never passes.
bool WithinTolerance(double error, const Tolerance& tolerance, double span);

// A measured step: the error in units and in % of span, and the verdict.
PointResult EvaluatePoint(const Step& step, double reference, double reading, double readingDeviation,
                          int readingCount, const Tolerance& tolerance, double span);
PointResult SkippedPoint(const Step& step);

// What a table of results says about one point of the procedure.
struct PointSummary {
    int point = 0;
    double nominal = 0;
    // Mean error of the descending series minus that of the ascending one (units); none unless both
    // have an accepted result at this point.
    std::optional<double> hysteresis;
    // The largest spread (largest minus smallest) of the errors of one direction over the cycles
    // (units); none unless some direction has two accepted results here.
    std::optional<double> repeatability;
};

// The verdict of one table (as found, or as left).
struct Summary {
    int accepted = 0;
    int skipped = 0;
    int failed = 0; // accepted results outside the tolerance
    // The error of largest magnitude, in % of span, with its sign; none without accepted results.
    std::optional<double> largestErrorPercent;
    std::optional<double> largestHysteresis;    // magnitude, units
    std::optional<double> largestRepeatability; // units
    std::vector<PointSummary> points;           // one per point that has a result, ascending
    // At least one accepted result and every accepted one within tolerance. A skipped point is no
    // verdict: the table shows it, and `complete` says whether any was.
    bool pass = false;
    bool complete() const { return skipped == 0; }
};

Summary Summarize(const std::vector<PointResult>& results);

// "годен" / "не годен".
QString VerdictText(bool pass);

} // namespace olv::calibration
