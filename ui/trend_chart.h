#pragma once

#include <QChartView>

#include <deque>

class QChart;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace olv::device {
class LiveTrend;
struct TrendChange;
} // namespace olv::device

// The trend of the live value: time of day across, the value up, scaled to the readings. Each run of
// readings without a gap is one line; a lone reading between two gaps is drawn as a dot.
class TrendChart : public QChartView {
  public:
    explicit TrendChart(QWidget* parent = nullptr);

    // Follows one step of the trend: drops the points it dropped, appends the one it added (starting a
    // new line after a gap), or starts over when it was cleared. The axes follow the points kept.
    void follow(const olv::device::LiveTrend& trend, const olv::device::TrendChange& change);

    // The lines drawn, oldest first, for checking what the chart shows.
    const std::deque<QLineSeries*>& lines() const { return lines_; }
    QDateTimeAxis* timeAxis() const { return timeAxis_; }
    QValueAxis* valueAxis() const { return valueAxis_; }

  private:
    QLineSeries* addLine();
    void dropFront(size_t count);
    void fitAxes(const olv::device::LiveTrend& trend);

    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* valueAxis_ = nullptr;
    std::deque<QLineSeries*> lines_;
};
