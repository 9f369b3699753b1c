#pragma once

#include "calibration/procedure.h"
#include "calibration/results.h"

#include <QWidget>

#include <vector>

// The errors of a table in % of span against the points, with the tolerance band drawn: green points
// inside it, red ones outside. Skipped points are not drawn.
class ErrorPlot : public QWidget {
  public:
    explicit ErrorPlot(QWidget* parent = nullptr);
    void setTable(const std::vector<olv::calibration::PointResult>& results,
                  const olv::calibration::Range& range, double tolerancePercent);
    QSize sizeHint() const override { return {360, 200}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<olv::calibration::PointResult> results_;
    olv::calibration::Range range_;
    double tolerance_ = 0.25;
};
