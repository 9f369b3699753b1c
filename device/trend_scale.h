#pragma once

#include "device/live_trend.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace olv::device {

// The scale of a chart's value axis: where it begins and ends, and its ticks, every `step` from
// `anchor`, labelled with `decimals` decimals. Every field is finite, low < high and step > 0, and
// the axis holds at most MaxTicks ticks, whatever the readings were.
struct AxisScale {
    static constexpr int MaxTicks = 6;
    double low = 0;
    double high = 1;
    double step = 0.25;
    double anchor = 0;
    int decimals = 2;
    bool operator==(const AxisScale&) const = default;
};

// A step of 1, 2 or 5 times a power of ten that gives about `ticks` ticks over [low, high], with as
// many decimals as it needs, at most the four of the value panel. low < high, both finite.
AxisScale NiceScale(double low, double high, int ticks = 5);

// The value axis of a trend: the range of the readings taken from fromMs to toMs (of all when none
// was), with a margin of a tenth of it; a steady value, or readings closer together than the value
// panel can tell apart, get a narrow band around them. It reaches past the sensor's range only where
// the readings do. Readings that are not finite are left out; with none left, the scale is the
// default one.
AxisScale TrendValueScale(const std::deque<TrendPoint>& points, int64_t fromMs, int64_t toMs,
                          std::optional<std::pair<double, double>> sensorRange);

// How many ticks an axis lays out over [low, high] with one every `step`: each is a graphics item,
// so a count in the thousands stands the window still. Infinite for a step that is not above 0.
double TickCount(double low, double high, double step);

// An axis lays its ticks out anew at every change of its range or of its interval, one change at a
// time. Going from [low, high] with ticks every `step` to `next`, the change that comes first decides
// how many ticks the axis holds in between: true when the new interval is to go in before the new
// range, the order whose state in between has fewer ticks.
bool IntervalBeforeRange(double low, double high, double step, const AxisScale& next);

} // namespace olv::device
