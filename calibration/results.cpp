#include "calibration/results.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace olv::calibration {

bool WithinTolerance(double error, const Tolerance& tolerance, double span) {
    if (!std::isfinite(error)) return false;
    return std::fabs(error) <= tolerance.units(span) + RoundingSlack * std::fabs(span);
}

PointResult EvaluatePoint(const Step& step, double reference, double reading, double readingDeviation,
                          int readingCount, const Tolerance& tolerance, double span) {
    PointResult result;
    result.step = step;
    result.reference = reference;
    result.reading = reading;
    result.readingDeviation = readingDeviation;
    result.readingCount = readingCount;
    result.error = reading - reference;
    result.errorPercent = result.error / span * 100.0;
    result.pass = WithinTolerance(result.error, tolerance, span);
    return result;
}

PointResult SkippedPoint(const Step& step) {
    PointResult result;
    result.step = step;
    result.skipped = true;
    return result;
}

namespace {

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values)
        sum += v;
    return sum / static_cast<double>(values.size());
}

double Spread(const std::vector<double>& values) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return *high - *low;
}

void KeepLargest(std::optional<double>& largest, double value) {
    if (!largest || std::fabs(value) > std::fabs(*largest)) largest = value;
}

} // namespace

Summary Summarize(const std::vector<PointResult>& results) {
    Summary summary;
    // Errors per point and direction, in the order of the cycles.
    std::map<int, std::vector<double>> up, down;
    std::map<int, double> nominal;
    for (const PointResult& r : results) {
        nominal[r.step.point] = r.step.nominal;
        if (r.skipped) {
            ++summary.skipped;
            continue;
        }
        ++summary.accepted;
        if (!r.pass) ++summary.failed;
        KeepLargest(summary.largestErrorPercent, r.errorPercent);
        (r.step.direction == Direction::Up ? up : down)[r.step.point].push_back(r.error);
    }
    for (const auto& [point, value] : nominal) {
        PointSummary p{point, value, std::nullopt, std::nullopt};
        const auto u = up.find(point), d = down.find(point);
        if (u != up.end() && d != down.end()) p.hysteresis = Mean(d->second) - Mean(u->second);
        for (const auto* series : {&up, &down}) {
            const auto s = series->find(point);
            if (s != series->end() && s->second.size() >= 2)
                p.repeatability = std::max(p.repeatability.value_or(0.0), Spread(s->second));
        }
        if (p.hysteresis) KeepLargest(summary.largestHysteresis, std::fabs(*p.hysteresis));
        if (p.repeatability) KeepLargest(summary.largestRepeatability, *p.repeatability);
        summary.points.push_back(p);
    }
    summary.pass = summary.accepted > 0 && summary.failed == 0;
    return summary;
}

QString VerdictText(bool pass) {
    return pass ? QStringLiteral("годен") : QStringLiteral("не годен");
}

} // namespace olv::calibration
