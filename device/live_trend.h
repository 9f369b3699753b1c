#pragma once

#include "device/live_value.h"
#include "device/register_image.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include <QByteArray>
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
    bool cleared = false;  // every earlier point is gone: a new trend
    size_t dropped = 0;    // points dropped from the front (older than the window), after any clearing
    bool appended = false; // points().back() is new
};

// The good readings of the live value of the last 10 minutes, one point per successful poll. A failed
// read or an implausible value adds no point and leaves a gap: a trend never shows a zero that was not
// measured. Nothing of it is saved.
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

    // One polling step: a good reading becomes a point, anything else a gap. A source other than the
    // one of the points kept, or a clock that went back, first clears the trend; points older than the
    // window are dropped.
    TrendChange add(const TrendSource& source, bool readSucceeded, const LiveReading& reading);

    const std::deque<TrendPoint>& points() const { return points_; }
    TrendStats stats() const;

    // The span of time kept (1, 10 or 60 minutes in the window); older points go at the next step.
    void setWindowMs(int64_t windowMs) { windowMs_ = windowMs; }
    int64_t windowMs() const { return windowMs_; }

  private:
    Clock clock_;
    int64_t windowMs_ = WindowMs;
    std::optional<TrendSource> source_;
    std::deque<TrendPoint> points_;
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

// The readings taken from fromMs to toMs (both included) as a table for a spreadsheet, in
// Windows-1251 with CR LF line ends: a header line, then per reading its date (dd.MM.yyyy) and local
// time (hh:mm:ss) of timeMs as milliseconds since the epoch, the value (the shortest text that reads
// back as the same float), the units, the status word (0x and four hexadecimal digits) and the
// instrument's address, separated by semicolons.
QByteArray TrendCsv(const std::deque<TrendPoint>& points, int64_t fromMs, int64_t toMs, const QString& units,
                    int address);

} // namespace olv::device
