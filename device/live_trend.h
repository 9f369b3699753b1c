#pragma once

#include "device/instrument_identity.h"
#include "device/live_value.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include <QString>

namespace olv::device {

// Where the readings of a trend come from. A reading of another instrument (another port, address or
// serial number) or decoded with another byte order is not comparable with the earlier ones: it starts
// a new series.
struct TrendSource {
    InstrumentIdentity instrument;
    int byteOrder = 0;
    QString units; // of the transmitted value, as last read; a label only, like the serial number
};

// Whether readings of b continue a series of a: the same instrument (SameInstrument) and byte order.
bool SameSource(const TrendSource& a, const TrendSource& b);

struct TrendPoint {
    int64_t timeMs = 0; // the trend's clock when the reading was taken
    float value = 0;
    bool afterGap = false; // no line joins it to the point before (a bad read or no polling between)
    uint16_t status = 0;   // the instrument's status word with the reading
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
    bool cleared = false;  // every earlier point is gone from points(): a new series
    size_t dropped = 0;    // points dropped from the front (older than the window), after any clearing
    bool appended = false; // points().back() is new
    bool earlierChanged = false; // earlierSeries() gained a series or lost points
};

// The readings of one source, oldest first.
struct TrendSeries {
    TrendSource source;
    std::deque<TrendPoint> points;
};

// The good readings of the live value of the last 10 minutes, one point per successful poll. A failed
// read or an implausible value adds no point and leaves a gap: a trend never shows a zero that was not
// measured. Nothing of it is saved.
//
// points() are the readings of the current source. When the source changes, the readings of the old one
// become an earlier series, kept (for a chart to show apart, labelled with their instrument) until they
// are older than the window; the figures (stats) are of the current series only.
class LiveTrend {
  public:
    static constexpr int64_t WindowMs = 10 * 60 * 1000; // unless setWindowMs says otherwise
    // However fast the polls come, no more points than two a second for an hour are kept.
    static constexpr size_t MaxPoints = 2 * 3600;
    // Readings further apart than this were not polled in between (another page was shown): a gap.
    static constexpr int64_t MaxStepMs = 5000;

    // Milliseconds; the default is the wall clock (milliseconds since the epoch), which a chart can
    // label with the time of day.
    using Clock = std::function<int64_t()>;
    explicit LiveTrend(Clock clock = {});

    // At most this many earlier series are kept; the oldest goes first.
    static constexpr size_t MaxEarlierSeries = 3;

    // One polling step: a good reading becomes a point, anything else a gap. A source other than the
    // one of the points kept starts a new series (the old one becomes an earlier series); a clock that
    // went back clears everything. Points older than the window are dropped. A source that continues
    // the current one but knows its serial number where the current did not labels the series with it.
    TrendChange add(const TrendSource& source, bool readSucceeded, const LiveReading& reading);

    // The readings of the current source.
    const std::deque<TrendPoint>& points() const { return points_; }
    // The current source; empty before the first step.
    const std::optional<TrendSource>& source() const { return source_; }
    // Earlier sources' readings still in the window, oldest first.
    const std::deque<TrendSeries>& earlierSeries() const { return earlier_; }
    TrendStats stats() const;
    // The figures of the points from fromMs to toMs, both included.
    static TrendStats StatsOf(const std::deque<TrendPoint>& points, int64_t fromMs, int64_t toMs);

    // The span of time kept (1, 10 or 60 minutes in the window); older points go at the next step.
    void setWindowMs(int64_t windowMs) { windowMs_ = windowMs; }
    int64_t windowMs() const { return windowMs_; }

  private:
    Clock clock_;
    int64_t windowMs_ = WindowMs;
    std::optional<TrendSource> source_;
    std::deque<TrendPoint> points_;
    std::deque<TrendSeries> earlier_;
    bool gapPending_ = false; // a step since the last point had no good reading
};

// The text under the chart: minimum, maximum and mean, each on its own line after a name of eight
// characters and formatted as the value panel formats the value ("%11.4f"), so that in a fixed-pitch
// font the numbers stand in a column; "Данных нет" when the trend has no reading.
QString TrendStatsText(const TrendStats& stats);
// The same with the units of the transmitted value after each number (none when units is empty).
QString TrendStatsText(const TrendStats& stats, const QString& units);

// The index of the point nearest in time to timeMs; points must not be empty.
size_t NearestPoint(const std::deque<TrendPoint>& points, int64_t timeMs);

} // namespace olv::device
