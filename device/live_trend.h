#pragma once

#include "device/live_value.h"
#include "device/register_image.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include <QString>

namespace olv::device {

// Where the readings of a trend come from. A reading taken on another port, at another address or
// decoded with another byte order is not comparable with the earlier ones: it starts a new trend.
struct TrendSource {
    InstrumentId instrument;
    int byteOrder = 0;
    bool operator==(const TrendSource&) const = default;
};

struct TrendPoint {
    int64_t timeMs = 0; // the trend's clock when the reading was taken
    float value = 0;
    bool afterGap = false; // no line joins it to the point before (a bad read or no polling between)
};

// Minimum, maximum and mean of the readings in the window; all 0 when count is 0.
struct TrendStats {
    size_t count = 0;
    float minimum = 0;
    float maximum = 0;
    double mean = 0;
};

// What one step did to the points, so that a chart can follow without rebuilding its series.
struct TrendChange {
    bool cleared = false;  // every earlier point is gone: a new trend
    size_t dropped = 0;    // points dropped from the front (older than the window), after any clearing
    bool appended = false; // points().back() is new
};

// The good readings of the live value of the last 10 minutes, one point per successful poll. A failed
// read or an implausible value adds no point and leaves a gap: a trend never shows a zero that was not
// measured. Nothing of it is saved.
class LiveTrend {
  public:
    static constexpr int64_t WindowMs = 10 * 60 * 1000;
    // Readings further apart than this were not polled in between (another page was shown): a gap.
    static constexpr int64_t MaxStepMs = 5000;

    // Milliseconds; the default is the wall clock (milliseconds since the epoch), which a chart can
    // label with the time of day.
    using Clock = std::function<int64_t()>;
    explicit LiveTrend(Clock clock = {});

    // One polling step: a good reading becomes a point, anything else a gap. A source other than the
    // one of the points kept, or a clock that went back, first clears the trend; points older than the
    // window are dropped.
    TrendChange add(const TrendSource& source, bool readSucceeded, const LiveReading& reading);

    const std::deque<TrendPoint>& points() const { return points_; }
    TrendStats stats() const;

  private:
    Clock clock_;
    std::optional<TrendSource> source_;
    std::deque<TrendPoint> points_;
    bool gapPending_ = false; // a step since the last point had no good reading
};

// The text under the chart: minimum, maximum and mean, each on its own line after a name of eight
// characters and formatted as the value panel formats the value ("%11.4f"), so that in a fixed-pitch
// font the numbers stand in a column; "Данных нет" when the trend has no reading.
QString TrendStatsText(const TrendStats& stats);

} // namespace olv::device
