#include "device/live_trend.h"

#include "device/number_text.h"
#include "text/cp1251.h"

#include <QDateTime>

#include <algorithm>
#include <charconv>
#include <cmath>

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

    while (!points_.empty() && (points_.front().timeMs <= now - windowMs_ || points_.size() >= MaxPoints)) {
        points_.pop_front();
        ++change.dropped;
    }

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

QByteArray TrendCsv(const std::deque<TrendPoint>& points, int64_t fromMs, int64_t toMs, const QString& units,
                    int address) {
    QString text = QStringLiteral("Дата;Время;Значение;Единицы;Статус;Адрес\r\n");
    for (const TrendPoint& point : points) {
        if (point.timeMs < fromMs || point.timeMs > toMs) continue;
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(point.timeMs);
        char value[32];
        const auto end = std::to_chars(value, value + sizeof value, point.value).ptr;
        text += time.toString(QStringLiteral("dd.MM.yyyy;hh:mm:ss;")) +
                QString::fromLatin1(value, end - value) + u';' + units +
                QStringLiteral(";0x%1;%2\r\n").arg(point.status, 4, 16, QLatin1Char('0')).arg(address);
    }
    return olv::text::ToCp1251(text);
}

} // namespace olv::device
