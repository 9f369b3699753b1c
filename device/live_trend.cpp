#include "device/live_trend.h"

#include "device/number_text.h"

#include <QDateTime>

#include <algorithm>

namespace olv::device {

LiveTrend::LiveTrend(Clock clock) : clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return static_cast<int64_t>(QDateTime::currentMSecsSinceEpoch()); };
}

TrendChange LiveTrend::add(const TrendSource& source, bool readSucceeded, const LiveReading& reading) {
    TrendChange change;
    const int64_t now = clock_();

    // Readings of another instrument, port or decoding, or stamped before the last point (the clock was
    // set back), would be drawn as if they continued this trend.
    if ((source_ && *source_ != source) || (!points_.empty() && now < points_.back().timeMs)) {
        change.cleared = !points_.empty();
        points_.clear();
        gapPending_ = false;
    }
    source_ = source;

    while (!points_.empty() && points_.front().timeMs <= now - WindowMs) {
        points_.pop_front();
        ++change.dropped;
    }

    if (!readSucceeded || reading.liveImplausible) {
        gapPending_ = true;
        return change;
    }
    const bool afterGap = !points_.empty() && (gapPending_ || now - points_.back().timeMs > MaxStepMs);
    points_.push_back({now, reading.liveValue, afterGap});
    gapPending_ = false;
    change.appended = true;
    return change;
}

TrendStats LiveTrend::stats() const {
    TrendStats stats;
    if (points_.empty()) return stats;
    double sum = 0;
    stats.minimum = stats.maximum = points_.front().value;
    for (const TrendPoint& point : points_) {
        stats.minimum = std::min(stats.minimum, point.value);
        stats.maximum = std::max(stats.maximum, point.value);
        sum += point.value;
    }
    stats.count = points_.size();
    stats.mean = sum / static_cast<double>(stats.count);
    return stats;
}

QString TrendStatsText(const TrendStats& stats) {
    if (stats.count == 0) return QStringLiteral("Данных нет");
    return QStringLiteral("Минимум ") + FormatValue(stats.minimum) + QStringLiteral("\nМаксимум") +
           FormatValue(stats.maximum) + QStringLiteral("\nСреднее ") +
           FormatValue(static_cast<float>(stats.mean));
}

} // namespace olv::device
