// Page 0, the trend of the live value: the chart under "Запись в файл" and the figures under it.
#include "ui/form1.h"

#include "ui/trend_chart.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QLabel>

void TForm1::BuildLiveTrend(QWidget* page, QBoxLayout* column) {
    column->addSpacing(12);
    Chart1 = new TrendChart(page);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    // The chart takes the free room of the column and asks for no more, so that the controls around
    // it keep their places and sizes.
    Chart1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    Chart1->setMinimumSize(160, 120);
    column->addWidget(Chart1, 1);

    Label40 = new QLabel(page);
    Label40->setObjectName(QStringLiteral("Label40"));
    Label40->setTextFormat(Qt::PlainText);
    // Fixed pitch: the numbers, each as wide as on the value panel, stand in a column.
    Label40->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Label40->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label40->setMinimumHeight(3 * Label40->fontMetrics().lineSpacing()); // the chart keeps its height
    Label40->setText(olv::device::TrendStatsText({}));
    column->addWidget(Label40);
}

// One polling step into the trend: a good reading is a new point, a failed or implausible one a gap.
void TForm1::FeedLiveTrend(bool readSucceeded) {
    const olv::device::TrendSource source{TargetInstrument(), linkSettings.byteOrder};
    const olv::device::TrendChange change = liveTrend.add(source, readSucceeded, live);
    Chart1->follow(liveTrend, change);
    Label40->setText(olv::device::TrendStatsText(liveTrend.stats()));
}
