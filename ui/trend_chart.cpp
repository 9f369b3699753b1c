#include "ui/trend_chart.h"

#include "device/live_trend.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The time axis starts on a half minute and spans whole minutes, at least one: its three labels read
// round times, and it changes only when the readings outgrow it or the oldest leave its first half
// minute, not with every reading (each change lays the labels out anew).
constexpr qint64 HalfMinuteMs = 30 * 1000;
constexpr qint64 MinuteMs = 60 * 1000;
const QColor LineColor(0, 0, 160);

// Round limits and ticks around [low, high]: a step of 1, 2 or 5 times a power of ten for about
// `ticks` ticks, and as many decimals as the step needs, at most the four of the value panel.
struct NiceScale {
    double min = 0;
    double max = 1;
    int ticks = 2;
    int decimals = 0;
};

NiceScale NiceScaleOf(double low, double high, int ticks) {
    const double rough = (high - low) / (ticks - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / power;
    const double step = (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10) * power;
    NiceScale scale;
    scale.min = std::floor(low / step) * step;
    scale.max = std::ceil(high / step) * step;
    scale.ticks = static_cast<int>(std::lround((scale.max - scale.min) / step)) + 1;
    scale.decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 4);
    return scale;
}

} // namespace

TrendChart::TrendChart(QWidget* parent) : QChartView(parent) {
    auto* chart = new QChart();
    chart->legend()->hide();
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(2, 4, 6, 2));
    chart->layout()->setContentsMargins(0, 0, 0, 0);

    QFont axisFont = font();
    axisFont.setPointSize(std::max(6, axisFont.pointSize() - 1));
    timeAxis_ = new QDateTimeAxis(chart);
    timeAxis_->setFormat(QStringLiteral("hh:mm:ss"));
    timeAxis_->setTickCount(3);
    timeAxis_->setLabelsFont(axisFont);
    valueAxis_ = new QValueAxis(chart);
    valueAxis_->setTickCount(5);
    valueAxis_->setLabelsFont(axisFont);
    chart->addAxis(timeAxis_, Qt::AlignBottom);
    chart->addAxis(valueAxis_, Qt::AlignLeft);
    // No reading yet: an empty frame rather than axes around nothing.
    timeAxis_->setVisible(false);
    valueAxis_->setVisible(false);

    setChart(chart); // the view owns the chart
    setRenderHint(QPainter::Antialiasing);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
}

void TrendChart::follow(const olv::device::LiveTrend& trend, const olv::device::TrendChange& change) {
    if (change.cleared) dropFront(SIZE_MAX);
    dropFront(change.dropped);
    if (change.appended) {
        const olv::device::TrendPoint& point = trend.points().back();
        if (lines_.empty() || point.afterGap) addLine();
        lines_.back()->append(static_cast<qreal>(point.timeMs), point.value);
    }
    if (!change.cleared && change.dropped == 0 && !change.appended) return;

    // A line of one point draws nothing: a lone reading is shown as a dot. Only the first line (by
    // dropping) and the last one (by appending) change their length.
    if (!lines_.empty())
        for (QLineSeries* line : {lines_.front(), lines_.back()})
            line->setPointsVisible(line->count() == 1);
    fitAxes(trend);
}

QLineSeries* TrendChart::addLine() {
    auto* line = new QLineSeries();
    line->setPen(QPen(LineColor, 1.5));
    line->setBrush(LineColor); // the dot of a lone reading
    line->setMarkerSize(5);
    chart()->addSeries(line);
    line->attachAxis(timeAxis_);
    line->attachAxis(valueAxis_);
    lines_.push_back(line);
    return line;
}

void TrendChart::dropFront(size_t count) {
    while (count > 0 && !lines_.empty()) {
        QLineSeries* line = lines_.front();
        const size_t here = static_cast<size_t>(line->count());
        if (count < here) {
            line->removePoints(0, static_cast<int>(count));
            return;
        }
        count -= here;
        chart()->removeSeries(line);
        delete line;
        lines_.pop_front();
    }
}

void TrendChart::fitAxes(const olv::device::LiveTrend& trend) {
    const auto& points = trend.points();
    timeAxis_->setVisible(!points.empty());
    valueAxis_->setVisible(!points.empty());
    if (points.empty()) return;

    const qint64 first = points.front().timeMs;
    const qint64 start = first - ((first % HalfMinuteMs) + HalfMinuteMs) % HalfMinuteMs;
    const qint64 minutes = std::max<qint64>(1, (points.back().timeMs - start + MinuteMs - 1) / MinuteMs);
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(start);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(start + minutes * MinuteMs);
    if (from != timeAxis_->min() || to != timeAxis_->max()) timeAxis_->setRange(from, to);

    // Scaled to the readings with a margin; a steady value gets a narrow band around it.
    const olv::device::TrendStats stats = trend.stats();
    const double low = stats.minimum;
    const double high = stats.maximum;
    const double margin = high > low ? (high - low) * 0.1 : std::max(std::abs(low) * 1e-3, 1e-4);
    const NiceScale scale = NiceScaleOf(low - margin, high + margin, 5);
    // The axis lays its labels out anew on every change: only a scale that differs is given to it.
    if (scale.min != valueAxis_->min() || scale.max != valueAxis_->max())
        valueAxis_->setRange(scale.min, scale.max);
    if (scale.ticks != valueAxis_->tickCount()) valueAxis_->setTickCount(scale.ticks);
    const QString format = QStringLiteral("%.%1f").arg(scale.decimals);
    if (format != valueAxis_->labelFormat()) valueAxis_->setLabelFormat(format);
}
