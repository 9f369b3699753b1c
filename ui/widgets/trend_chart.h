#pragma once

#include <QChartView>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <utility>

class QChart;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace olv::device {
class LiveTrend;
struct TrendChange;
struct TrendPoint;
struct TrendSource;
} // namespace olv::device

// The trend of the live value: time of day across, the value up in the units of the transmitted value,
// scaled to the readings. Each run of readings without a gap is one line; a lone reading between two
// gaps is drawn as a dot. The mouse over the chart tells the nearest reading; the wheel zooms the time
// axis, a drag pans it. Until the user pans, the newest reading stays in view.
class TrendChart : public QChartView {
  public:
    explicit TrendChart(QWidget* parent = nullptr);

    // Follows one step of the trend: the lines are made anew from its points, the axes fitted.
    void follow(const olv::device::LiveTrend& trend, const olv::device::TrendChange& change);
    // Draws the trend anew (after its window changed).
    void redraw(const olv::device::LiveTrend& trend);

    // The units of the value axis and of the readings told under the mouse; empty when unknown.
    void setUnits(const QString& units);
    // The sensor's range: the value axis goes beyond it only where readings do.
    void setSensorRange(std::optional<std::pair<double, double>> range);
    // Zoom and pan given up: the default view, which follows the newest reading.
    void resetView();
    bool panned() const { return pinned_.has_value(); }
    // Whether the view is a part the user chose (zoomed with the wheel or panned), not the default one.
    bool zoomed() const { return zoomMs_.has_value() || pinned_.has_value(); }

    // The time span shown, in milliseconds since the epoch.
    std::pair<int64_t, int64_t> shownSpan() const;
    // What the mouse over the chart tells: the nearest reading's time and value (empty elsewhere).
    const QString& hoverText() const { return hoverText_; }

    // The lines drawn, oldest first, for checking what the chart shows.
    const std::deque<QLineSeries*>& lines() const { return lines_; }
    // The lines of earlier instruments' series (another colour, each named in the legend by its
    // instrument), oldest first.
    const std::deque<QLineSeries*>& earlierLines() const { return earlierLines_; }
    // Which earlier series are drawn; all when not set (the record draws only its instrument's).
    void setEarlierFilter(std::function<bool(const olv::device::TrendSource&)> filter);
    QDateTimeAxis* timeAxis() const { return timeAxis_; }
    QValueAxis* valueAxis() const { return valueAxis_; }

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    QLineSeries* addLine();
    void drawEarlier(const olv::device::LiveTrend& trend);
    // The points the axes are fitted to: the current series' and the earlier ones drawn.
    const std::deque<olv::device::TrendPoint>& fitted() const;
    void fitAxes();
    std::pair<int64_t, int64_t> defaultSpan() const;
    int64_t timeAt(const QPointF& position) const; // the time under a point of the view

    const olv::device::LiveTrend* trend_ = nullptr;
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* valueAxis_ = nullptr;
    std::deque<QLineSeries*> lines_;
    std::deque<QLineSeries*> earlierLines_;
    std::function<bool(const olv::device::TrendSource&)> earlierFilter_;
    std::deque<olv::device::TrendPoint> fitted_; // when earlier series are drawn: all their points too
    QString units_;
    std::optional<std::pair<double, double>> sensorRange_;
    std::optional<int64_t> zoomMs_;                     // the span chosen with the wheel
    std::optional<std::pair<int64_t, int64_t>> pinned_; // the span the user panned to
    std::optional<QPointF> dragFrom_;
    std::pair<int64_t, int64_t> dragSpan_{};
    QString hoverText_;
};
