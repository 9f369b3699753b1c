#include "calibration/uncertainty.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace olv::calibration {

std::optional<UncertaintyBudget> ExpandedUncertainty(double referenceExpanded, double resolution,
                                                     double repeatability) {
    for (double v : {referenceExpanded, resolution, repeatability})
        if (!std::isfinite(v) || v < 0) return std::nullopt;
    UncertaintyBudget budget;
    budget.reference = referenceExpanded / CoverageFactor;
    budget.resolution = resolution / (2.0 * std::sqrt(3.0));
    budget.repeatability = repeatability;
    budget.combined = std::sqrt(budget.reference * budget.reference + budget.resolution * budget.resolution +
                                budget.repeatability * budget.repeatability);
    budget.expanded = CoverageFactor * budget.combined;
    if (!std::isfinite(budget.expanded)) return std::nullopt;
    return budget;
}

double ShownResolution(int decimals) {
    return std::pow(10.0, -std::clamp(decimals, 0, 12));
}

double RepeatabilityOf(const std::vector<PointResult>& results) {
    std::map<std::pair<int, Direction>, std::vector<double>> series;
    double withinPoint = 0;
    for (const PointResult& r : results) {
        if (r.skipped) continue;
        series[{r.step.point, r.step.direction}].push_back(r.error);
        if (r.readingCount > 0 && std::isfinite(r.readingDeviation))
            withinPoint = std::max(withinPoint, r.readingDeviation / std::sqrt(r.readingCount));
    }
    double overCycles = 0;
    bool repeated = false;
    for (const auto& [key, errors] : series) {
        if (errors.size() < 2) continue;
        repeated = true;
        double mean = 0;
        for (double e : errors)
            mean += e;
        mean /= static_cast<double>(errors.size());
        double sum = 0;
        for (double e : errors)
            sum += (e - mean) * (e - mean);
        overCycles = std::max(overCycles, std::sqrt(sum / static_cast<double>(errors.size() - 1)));
    }
    return repeated ? overCycles : withinPoint;
}

QString UncertaintyFormula() {
    // Characters a Windows-1251 file can hold, so that the CSV states it as the PDF does.
    return QStringLiteral("U = 2 · sqrt(u_эт^2 + u_р^2 + u_п^2), где u_эт = U_эт / 2 (неопределённость "
                          "эталона, k = 2), u_р = d / (2 · sqrt(3)) (d — единица последнего разряда "
                          "показаний), u_п — СКО повторяемости результата");
}

} // namespace olv::calibration
