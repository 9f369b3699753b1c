#include "device/live_trend.h"

#include "device/number_text.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

namespace olv::device {

LiveTrend::LiveTrend(Clock clock) : clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return static_cast<int64_t>(QDateTime::currentMSecsSinceEpoch()); };
}

bool SameSource(const TrendSource& a, const TrendSource& b) {
    return a.byteOrder == b.byteOrder && SameInstrument(a.instrument, b.instrument);
}

TrendChange LiveTrend::add(const TrendSource& source, bool readSucceeded, const LiveReading& reading) {
    TrendChange change;
    const int64_t now = clock_();

    // Readings stamped before the last point (the clock was set back) fit in no series kept.
    if (!points_.empty() && now < points_.back().timeMs) {
        change.cleared = true;
        change.earlierChanged = !earlier_.empty();
        points_.clear();
        earlier_.clear();
        gapPending_ = false;
    }
    // Readings of another instrument or decoding would be drawn as if they continued this series: it
    // becomes an earlier one, under the name of its own source.
    if (source_ && !SameSource(*source_, source)) {
        change.cleared = !points_.empty();
        if (!points_.empty()) {
            earlier_.push_back({*source_, std::move(points_)});
            if (earlier_.size() > MaxEarlierSeries) earlier_.pop_front();
            change.earlierChanged = true;
        }
        points_.clear();
        gapPending_ = false;
        source_ = source;
    } else {
        // What the new step knows of the instrument labels the series; what only the old steps knew stays.
        if (source_) {
            TrendSource merged{Merged(source.instrument, source_->instrument), source.byteOrder, source.units};
            if (merged.units.isEmpty()) merged.units = source_->units;
            source_ = merged;
        } else {
            source_ = source;
        }
    }

    while (!points_.empty() && (points_.front().timeMs <= now - windowMs_ || points_.size() >= MaxPoints)) {
        points_.pop_front();
        ++change.dropped;
    }
    for (TrendSeries& series : earlier_)
        while (!series.points.empty() && series.points.front().timeMs <= now - windowMs_) {
            series.points.pop_front();
            change.earlierChanged = true;
        }
    while (!earlier_.empty() && earlier_.front().points.empty())
        earlier_.pop_front();

    if (!readSucceeded || reading.liveImplausible || !std::isfinite(reading.liveValue)) {
        gapPending_ = true;
        return change;
    }
    const bool afterGap = !points_.empty() && (gapPending_ || now - points_.back().timeMs > MaxStepMs);
    points_.push_back({now, reading.liveValue, afterGap, reading.liveStatus});
    gapPending_ = false;
    change.appended = true;
    return change;
}

TrendStats LiveTrend::stats() const {
    return StatsOf(points_, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
}

TrendStats LiveTrend::StatsOf(const std::deque<TrendPoint>& points, int64_t fromMs, int64_t toMs) {
    TrendStats stats;
    double sum = 0;
    for (const TrendPoint& point : points) {
        if (point.timeMs < fromMs || point.timeMs > toMs) continue;
        stats.minimum = stats.count == 0 ? point.value : std::min(stats.minimum, point.value);
        stats.maximum = stats.count == 0 ? point.value : std::max(stats.maximum, point.value);
        sum += point.value;
        ++stats.count;
    }
    if (stats.count > 0) stats.mean = sum / static_cast<double>(stats.count);
    return stats;
}

QString TrendStatsText(const TrendStats& stats) {
    return TrendStatsText(stats, QString());
}

QString TrendStatsText(const TrendStats& stats, const QString& units) {
    if (stats.count == 0) return QStringLiteral("Данных нет");
    const QString after = units.isEmpty() ? QString() : QStringLiteral(" ") + units;
    return QStringLiteral("Минимум ") + FormatValue(stats.minimum) + after + QStringLiteral("\nМаксимум") +
           FormatValue(stats.maximum) + after + QStringLiteral("\nСреднее ") +
           FormatValue(static_cast<float>(stats.mean)) + after;
}

size_t NearestPoint(const std::deque<TrendPoint>& points, int64_t timeMs) {
    const auto later = std::lower_bound(points.begin(), points.end(), timeMs,
                                        [](const TrendPoint& point, int64_t t) { return point.timeMs < t; });
    if (later == points.begin()) return 0;
    if (later == points.end()) return points.size() - 1;
    const auto earlier = later - 1;
    return static_cast<size_t>((timeMs - earlier->timeMs <= later->timeMs - timeMs ? earlier : later) -
                               points.begin());
}

} // namespace olv::device
