#include "device/trend_scale.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace olv::device {

namespace {

// The value panel shows four decimals: a band narrower than this cannot be labelled.
constexpr double FinestMargin = 1e-4;
// A steady value's band, relative to the value.
constexpr double SteadyShare = 1e-3;

} // namespace

AxisScale NiceScale(double low, double high, int ticks) {
    AxisScale scale;
    scale.low = low;
    scale.high = high;
    const double rough = (high - low) / std::max(1, ticks - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / power;
    scale.step = (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10) * power;
    scale.decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(scale.step) - 1e-9)), 0, 4);
    scale.anchor = std::ceil(low / scale.step) * scale.step;
    return scale;
}

AxisScale TrendValueScale(const std::deque<TrendPoint>& points, int64_t fromMs, int64_t toMs,
                          std::optional<std::pair<double, double>> sensorRange) {
    double low = 0, high = 0;
    bool any = false;
    for (int pass = 0; pass < 2 && !any; ++pass)
        for (const TrendPoint& point : points) {
            if (pass == 0 && (point.timeMs < fromMs || point.timeMs > toMs)) continue;
            if (!std::isfinite(point.value)) continue;
            low = any ? std::min<double>(low, point.value) : point.value;
            high = any ? std::max<double>(high, point.value) : point.value;
            any = true;
        }
    if (!any) return AxisScale{};

    // A band of at least a thousandth of the value on either side, and never narrower than the panel's
    // last decimal: readings a float's step apart would otherwise fill the axis with labels that all
    // read the same.
    const double steady = std::max(std::max(std::abs(low), std::abs(high)) * SteadyShare, FinestMargin);
    const double margin = std::max((high - low) * 0.1, steady - (high - low) / 2);
    double axisLow = low - margin, axisHigh = high + margin;
    if (sensorRange && std::isfinite(sensorRange->first) && std::isfinite(sensorRange->second) &&
        sensorRange->second > sensorRange->first) {
        if (low >= sensorRange->first) axisLow = std::max(axisLow, sensorRange->first);
        if (high <= sensorRange->second) axisHigh = std::min(axisHigh, sensorRange->second);
        if (axisHigh <= axisLow) axisHigh = axisLow + margin; // a steady value on the range's top
    }
    return NiceScale(axisLow, axisHigh);
}

double TickCount(double low, double high, double step) {
    if (!(step > 0) || !std::isfinite(step)) return std::numeric_limits<double>::infinity();
    return std::floor(std::max(0.0, high - low) / step) + 1;
}

bool IntervalBeforeRange(double low, double high, double step, const AxisScale& next) {
    return TickCount(low, high, next.step) <= TickCount(next.low, next.high, step);
}

} // namespace olv::device
