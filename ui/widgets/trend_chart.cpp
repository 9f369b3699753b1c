#include "ui/widgets/trend_chart.h"

#include "device/live_trend.h"
#include "device/number_text.h"
#include "device/trend_scale.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The default time axis starts on a half minute and spans whole minutes, at least one: its three
// labels read round times, and it changes only when the readings outgrow it or the oldest leave its
// first half minute, not with every reading (each change lays the labels out anew).
constexpr int64_t HalfMinuteMs = 30 * 1000;
constexpr int64_t MinuteMs = 60 * 1000;
constexpr int64_t ShortestSpanMs = 10 * 1000; // the wheel zooms in no further
const QColor LineColor(0, 0, 160);
const QColor EarlierColor(200, 110, 0); // an earlier instrument's readings

// The value axis takes a new scale one change at a time, each of which lays its ticks out at once: the
// new interval goes in before the new range or after it, whichever keeps the ticks in between few.
void ApplyScale(QValueAxis& axis, const olv::device::AxisScale& scale) {
    const auto setInterval = [&] {
        if (scale.step != axis.tickInterval()) axis.setTickInterval(scale.step);
        if (scale.anchor != axis.tickAnchor()) axis.setTickAnchor(scale.anchor);
    };
    const auto setRange = [&] {
        if (scale.low != axis.min() || scale.high != axis.max()) axis.setRange(scale.low, scale.high);
    };
    if (olv::device::IntervalBeforeRange(axis.min(), axis.max(), axis.tickInterval(), scale)) {
        setInterval();
        setRange();
    } else {
        setRange();
        setInterval();
    }
    const QString format = QStringLiteral("%.%1f").arg(scale.decimals);
    if (format != axis.labelFormat()) axis.setLabelFormat(format);
}

} // namespace

TrendChart::TrendChart(QWidget* parent) : QChartView(parent) {
    auto* chart = new QChart();
    // The legend names the earlier instruments' lines only; it shows while there are any.
    chart->legend()->hide();
    chart->legend()->setAlignment(Qt::AlignBottom);
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
    valueAxis_->setLabelsFont(axisFont);
    valueAxis_->setTitleFont(axisFont);
    // Ticks on round values inside the axis, which itself ends where the readings and their margin do.
    // The axis starts with a scale of a few ticks: an interval of 0, its own default, would never end
    // its layout.
    const olv::device::AxisScale start;
    valueAxis_->setRange(start.low, start.high);
    valueAxis_->setTickInterval(start.step);
    valueAxis_->setTickAnchor(start.anchor);
    valueAxis_->setTickType(QValueAxis::TicksDynamic);
    chart->addAxis(timeAxis_, Qt::AlignBottom);
    chart->addAxis(valueAxis_, Qt::AlignLeft);
    // No reading yet: an empty frame rather than axes around nothing.
    timeAxis_->setVisible(false);
    valueAxis_->setVisible(false);

    setChart(chart); // the view owns the chart
    setRenderHint(QPainter::Antialiasing);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setMouseTracking(true);
}

void TrendChart::follow(const olv::device::LiveTrend& trend, const olv::device::TrendChange& change) {
    if (!change.cleared && change.dropped == 0 && !change.appended && !change.earlierChanged && trend_ == &trend)
        return;
    if (change.cleared) {
        // Another instrument: a view chosen on the old one means nothing.
        zoomMs_.reset();
        pinned_.reset();
    }
    redraw(trend);
}

void TrendChart::redraw(const olv::device::LiveTrend& trend) {
    trend_ = &trend;
    // Every line is made anew from the points: at most an hour of readings, once a second. A line
    // holds exactly the readings of one run, so nothing is drawn that was not read.
    size_t used = 0;
    QList<QPointF> run;
    const auto& points = trend.points();
    for (size_t i = 0; i <= points.size(); ++i) {
        if (i == points.size() || (points[i].afterGap && !run.isEmpty())) {
            if (!run.isEmpty()) {
                QLineSeries* line = used < lines_.size() ? lines_[used] : addLine();
                line->replace(run);
                // A line of one point draws nothing: a lone reading is shown as a dot.
                line->setPointsVisible(run.size() == 1);
                ++used;
                run.clear();
            }
            if (i == points.size()) break;
        }
        run.append(QPointF(static_cast<qreal>(points[i].timeMs), points[i].value));
    }
    while (lines_.size() > used) {
        chart()->removeSeries(lines_.back());
        delete lines_.back();
        lines_.pop_back();
    }
    drawEarlier(trend);
    fitAxes();
}

void TrendChart::setEarlierFilter(std::function<bool(const olv::device::TrendSource&)> filter) {
    earlierFilter_ = std::move(filter);
    if (trend_) redraw(*trend_);
}

void TrendChart::drawEarlier(const olv::device::LiveTrend& trend) {
    // Few series of at most an hour each: drawn anew, one line per series (gaps joined), named.
    for (QLineSeries* line : earlierLines_) {
        chart()->removeSeries(line);
        delete line;
    }
    earlierLines_.clear();
    fitted_.clear();
    for (const olv::device::TrendSeries& series : trend.earlierSeries()) {
        if (series.points.empty() || (earlierFilter_ && !earlierFilter_(series.source))) continue;
        auto* line = new QLineSeries();
        line->setPen(QPen(EarlierColor, 1.2, Qt::DashLine));
        line->setBrush(EarlierColor);
        line->setMarkerSize(5);
        line->setPointsVisible(series.points.size() == 1);
        line->setName(olv::device::IdentityText(series.source.instrument));
        QList<QPointF> run;
        for (const olv::device::TrendPoint& point : series.points)
            run.append(QPointF(static_cast<qreal>(point.timeMs), point.value));
        line->replace(run);
        chart()->addSeries(line);
        line->attachAxis(timeAxis_);
        line->attachAxis(valueAxis_);
        earlierLines_.push_back(line);
        fitted_.insert(fitted_.end(), series.points.begin(), series.points.end());
    }
    if (!earlierLines_.empty()) fitted_.insert(fitted_.end(), trend.points().begin(), trend.points().end());
    // Only the earlier lines are named: the current one is the instrument the window shows.
    for (QLineSeries* line : lines_)
        for (QLegendMarker* marker : chart()->legend()->markers(line))
            marker->setVisible(false);
    chart()->legend()->setVisible(!earlierLines_.empty());
}

const std::deque<olv::device::TrendPoint>& TrendChart::fitted() const {
    return earlierLines_.empty() ? trend_->points() : fitted_;
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

void TrendChart::setUnits(const QString& units) {
    if (units == units_) return;
    units_ = units;
    valueAxis_->setTitleText(units);
}

void TrendChart::setSensorRange(std::optional<std::pair<double, double>> range) {
    if (range == sensorRange_) return;
    sensorRange_ = range;
    if (trend_ && !trend_->points().empty()) fitAxes();
}

void TrendChart::resetView() {
    zoomMs_.reset();
    pinned_.reset();
    if (trend_) redraw(*trend_);
}

std::pair<int64_t, int64_t> TrendChart::defaultSpan() const {
    const auto& points = fitted();
    const int64_t first = points.front().timeMs;
    const int64_t start = first - ((first % HalfMinuteMs) + HalfMinuteMs) % HalfMinuteMs;
    const int64_t minutes = std::max<int64_t>(1, (points.back().timeMs - start + MinuteMs - 1) / MinuteMs);
    return {start, start + minutes * MinuteMs};
}

std::pair<int64_t, int64_t> TrendChart::shownSpan() const {
    if (pinned_) return *pinned_;
    if (!trend_ || fitted().empty()) return {0, 0};
    if (zoomMs_) {
        // Zoomed in: the newest reading stays at the right, a twentieth of the span inside.
        const int64_t end = fitted().back().timeMs + *zoomMs_ / 20;
        return {end - *zoomMs_, end};
    }
    return defaultSpan();
}

void TrendChart::fitAxes() {
    const auto& points = fitted();
    timeAxis_->setVisible(!points.empty());
    valueAxis_->setVisible(!points.empty());
    if (points.empty()) return;

    const auto [from, to] = shownSpan();
    const QDateTime fromTime = QDateTime::fromMSecsSinceEpoch(from);
    const QDateTime toTime = QDateTime::fromMSecsSinceEpoch(to);
    if (fromTime != timeAxis_->min() || toTime != timeAxis_->max()) timeAxis_->setRange(fromTime, toTime);

    ApplyScale(*valueAxis_, olv::device::TrendValueScale(points, from, to, sensorRange_));
}

int64_t TrendChart::timeAt(const QPointF& position) const {
    const QRectF area = chart()->plotArea();
    const auto [from, to] = shownSpan();
    const double share =
        area.width() > 0 ? (mapToScene(position.toPoint()).x() - area.left()) / area.width() : 0;
    return from + static_cast<int64_t>(std::llround(share * static_cast<double>(to - from)));
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
    QChartView::mouseMoveEvent(event);
    if (!trend_ || trend_->points().empty()) return;
    if (dragFrom_) {
        // A drag moves the time axis with the mouse and leaves it there.
        const QRectF area = chart()->plotArea();
        if (area.width() <= 0) return;
        const double share = (event->position().x() - dragFrom_->x()) / area.width();
        const int64_t shift = static_cast<int64_t>(
            std::llround(share * static_cast<double>(dragSpan_.second - dragSpan_.first)));
        pinned_ = std::pair{dragSpan_.first - shift, dragSpan_.second - shift};
        fitAxes();
        return;
    }
    if (!chart()->plotArea().contains(mapToScene(event->position().toPoint()))) {
        hoverText_.clear();
        QToolTip::hideText();
        return;
    }
    const auto& points = trend_->points();
    const olv::device::TrendPoint& nearest =
        points[olv::device::NearestPoint(points, timeAt(event->position()))];
    hoverText_ = QDateTime::fromMSecsSinceEpoch(nearest.timeMs).toString(QStringLiteral("hh:mm:ss")) +
                 QStringLiteral("  ") + olv::device::FormatValue(nearest.value).trimmed() +
                 (units_.isEmpty() ? QString() : QStringLiteral(" ") + units_);
    QToolTip::showText(event->globalPosition().toPoint(), hoverText_, this);
}

void TrendChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && trend_ && !trend_->points().empty()) {
        dragFrom_ = event->position();
        dragSpan_ = shownSpan();
    }
    QChartView::mousePressEvent(event);
}

void TrendChart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragFrom_.reset();
    QChartView::mouseReleaseEvent(event);
}

void TrendChart::wheelEvent(QWheelEvent* event) {
    if (!trend_ || trend_->points().empty() || event->angleDelta().y() == 0) return;
    const auto [from, to] = shownSpan();
    const double factor = event->angleDelta().y() > 0 ? 0.8 : 1.25;
    const int64_t span =
        std::clamp<int64_t>(static_cast<int64_t>(std::llround(static_cast<double>(to - from) * factor)),
                            ShortestSpanMs, trend_->windowMs());
    if (pinned_) {
        // Panned: the time under the mouse stays where it is.
        const int64_t at = timeAt(event->position());
        const double share =
            static_cast<double>(at - from) / static_cast<double>(std::max<int64_t>(1, to - from));
        const int64_t start = at - static_cast<int64_t>(std::llround(share * static_cast<double>(span)));
        pinned_ = std::pair{start, start + span};
    } else {
        zoomMs_ = span;
    }
    fitAxes();
    event->accept();
}
