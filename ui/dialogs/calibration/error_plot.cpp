#include "ui/dialogs/calibration/error_plot.h"

#include "calibration/number_texts.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

using olv::calibration::PointResult;

ErrorPlot::ErrorPlot(QWidget* parent) : QWidget(parent) {
    setMinimumSize(240, 140);
}

void ErrorPlot::setTable(const std::vector<PointResult>& results, const olv::calibration::Range& range,
                         double tolerancePercent) {
    results_ = results;
    range_ = range;
    tolerance_ = std::isfinite(tolerancePercent) && tolerancePercent > 0 ? tolerancePercent : 0.25;
    update();
}

void ErrorPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), Qt::white);
    const QFontMetrics metrics(font());
    const QRectF area = QRectF(rect()).adjusted(56, metrics.height() + 6, -12, -2 * metrics.height() - 6);
    if (!range_.valid() || area.width() < 10 || area.height() < 10) return;

    // The vertical scale holds the band twice over and every error drawn.
    double limit = 2 * tolerance_;
    for (const PointResult& r : results_)
        if (!r.skipped && std::isfinite(r.errorPercent))
            limit = std::max(limit, std::fabs(r.errorPercent) * 1.15);
    limit = std::min(limit, 1e6);
    // The points at the ends of the range stay clear of the frame.
    const double inset = 8;
    const auto x = [&](double v) {
        return area.left() + inset + (v - range_.minimum) / range_.span() * (area.width() - 2 * inset);
    };
    const auto y = [&](double percent) {
        return area.center().y() - std::clamp(percent, -limit, limit) / limit * area.height() / 2;
    };

    painter.fillRect(QRectF(QPointF(area.left(), y(tolerance_)), QPointF(area.right(), y(-tolerance_))),
                     QColor(220, 245, 220));
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(area);
    painter.drawLine(QPointF(area.left(), y(0)), QPointF(area.right(), y(0)));
    painter.setPen(QColor(0, 140, 0));
    for (double edge : {tolerance_, -tolerance_})
        painter.drawLine(QPointF(area.left(), y(edge)), QPointF(area.right(), y(edge)));

    painter.setPen(Qt::black);
    for (double v : {limit, tolerance_, 0.0, -tolerance_, -limit}) {
        const QString text = olv::calibration::PercentText(v, true);
        painter.drawText(QRectF(0, y(v) - metrics.height() / 2.0, area.left() - 4, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, text);
    }
    for (double v : {range_.minimum, range_.maximum})
        painter.drawText(QRectF(x(v) - 40, area.bottom() + 2, 80, metrics.height()), Qt::AlignCenter,
                         olv::calibration::ValueText(v));
    painter.drawText(
        QRectF(area.left(), area.bottom() + 2 + metrics.height(), area.width(), metrics.height()),
        Qt::AlignCenter, QStringLiteral("точка, %1").arg(range_.units));
    painter.drawText(QRectF(0, 2, width(), metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("погрешность, % диапазона"));

    for (const PointResult& r : results_) {
        if (r.skipped || !std::isfinite(r.errorPercent)) continue;
        const QPointF at(x(r.step.nominal), y(r.errorPercent));
        painter.setPen(Qt::black);
        painter.setBrush(r.pass ? QColor(0, 170, 0) : QColor(220, 0, 0));
        if (r.step.direction == olv::calibration::Direction::Up) {
            painter.drawEllipse(at, 4, 4);
        } else {
            QPainterPath triangle;
            triangle.moveTo(at + QPointF(0, 5));
            triangle.lineTo(at + QPointF(-5, -4));
            triangle.lineTo(at + QPointF(5, -4));
            triangle.closeSubpath();
            painter.drawPath(triangle);
        }
    }
}
