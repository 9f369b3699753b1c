// Page 0, the trend of the live value: the chart under "Запись в файл" and the figures under it, and
// the chart as a picture for the record.
#include "ui/pages/live/live_page.h"

#include "ui/window/form1_controls.h"
#include "ui/window/page_host.h"

#include "ui/widgets/steady_box.h"
#include "ui/widgets/trend_chart.h"

#include "device/encodings.h"
#include "device/register_map.h"
#include "link/link_settings.h"
#include "files/plain_file.h"
#include "messages/message_boxes.h"
#include "records/trend_csv.h"

#include <QBoxLayout>
#include <QBuffer>
#include <QChart>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGraphicsScene>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

void Form1Controls::setupLiveTrend(QWidget* page, QBoxLayout* column) {
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
    column->addWidget(new SteadyBox(Label40, page)); // new figures each second lay out nothing


    // The span kept and shown, the way back from zoom and pan, and the export.
    auto* row = new QHBoxLayout();
    ComboBox31 = new QComboBox(page);
    ComboBox31->setObjectName(QStringLiteral("ComboBox31"));
    ComboBox31->addItems({QStringLiteral("1 мин"), QStringLiteral("10 мин"), QStringLiteral("60 мин")});
    ComboBox31->setCurrentIndex(1);
    ComboBox31->setToolTip(QStringLiteral("Сколько минут показывает график"));
    Button31 = new QPushButton(QStringLiteral("Сброс"), page);
    Button31->setObjectName(QStringLiteral("Button31"));
    Button31->setAutoDefault(false);
    Button31->setToolTip(QStringLiteral("Показать весь график с последним значением"));
    Button32 = new QPushButton(QStringLiteral("Сохранить…"), page);
    Button32->setObjectName(QStringLiteral("Button32"));
    Button32->setAutoDefault(false);
    Button32->setToolTip(QStringLiteral("Сохранить показанные значения (CSV) или график (PNG)"));
    row->addWidget(ComboBox31);
    row->addWidget(Button31);
    row->addWidget(Button32);
    row->addStretch(1);
    column->addLayout(row);
}

// The span kept and shown: 1, 10 or 60 minutes, the whole trend in view again.
void LivePage::ComboBox31Change() {
    static constexpr int64_t minutes[] = {1, 10, 60};
    liveTrend.setWindowMs(minutes[std::clamp(ui.ComboBox31->currentIndex(), 0, 2)] * 60 * 1000);
    ui.Chart1->resetView();
}

// "Сброс": zoom and pan given up.
void LivePage::Button31Click() {
    ui.Chart1->resetView();
}

// One polling step into the trend: a good reading is a new point, a failed or implausible one a gap.
void LivePage::FeedLiveTrend(bool readSucceeded) {
    window.FollowShownInstrument();
    const olv::device::TrendSource source{window.ShownIdentity(), host.Link().byteOrder, TrendUnits()};
    const olv::device::TrendChange change = liveTrend.add(source, readSucceeded, live);
    // The live page shows this instrument's reading, taken at the trend's time of it.
    if (change.appended) host.StampPages(1u << 0, liveTrend.points().back().timeMs);
    const QString units = TrendUnits();
    ui.Chart1->setUnits(units);
    // The sensor's range bounds the axis when it is in the units transmitted (the same unit stands one
    // entry further down in ComboBox4, after "%"), and read from this instrument.
    std::optional<std::pair<double, double>> range;
    const olv::device::RegisterImage& image = host.Image();
    if (image.source == host.TargetInstrument() && ui.ComboBox11->currentIndex() >= 0 &&
        ui.ComboBox4->currentIndex() == ui.ComboBox11->currentIndex() + 1) {
        const auto& w = image.words;
        range = std::pair<double, double>{
            olv::device::WordsToFloat(w[olv::device::reg::RangeMin], w[olv::device::reg::RangeMin + 1]),
            olv::device::WordsToFloat(w[olv::device::reg::RangeMax], w[olv::device::reg::RangeMax + 1])};
    }
    ui.Chart1->setSensorRange(range);
    ui.Chart1->follow(liveTrend, change);
    ui.Label40->setText(olv::device::TrendStatsText(liveTrend.stats(), units));
}

QString LivePage::TrendUnits() const {
    // The units of the transmitted value, as the last configuration read showed them.
    return ui.Label20->text().trimmed();
}

// "Сохранить…": the readings shown as a table (CSV), or the chart as a picture (PNG), each written
// whole to a temporary file that then replaces the chosen one.
void LivePage::SaveLiveTrend() {
    QString fileName;
    if (chooseTrendFile) {
        if (!chooseTrendFile(fileName)) return;
    } else {
        QFileDialog dialog(window.widget(), QStringLiteral("Сохранить график"));
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        const QStringList filters{QStringLiteral("Таблица CSV (*.csv)"),
                                  QStringLiteral("Рисунок PNG (*.png)")};
        dialog.setNameFilters(filters);
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString& filter) {
            dialog.setDefaultSuffix(filter == filters[1] ? QStringLiteral("png") : QStringLiteral("csv"));
        });
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        fileName = dialog.selectedFiles().first();
    }

    QByteArray bytes;
    if (fileName.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        ui.Chart1->grab().save(&buffer, "PNG");
    } else {
        const auto [from, to] = ui.Chart1->shownSpan();
        bytes = olv::records::TrendCsv(liveTrend, from, to, ui.Chart1->zoomed());
    }
    // A folder, a FIFO or a device under the name is never replaced.
    if (olv::files::WriteWholeFile(fileName, bytes.constData(), static_cast<size_t>(bytes.size())) ==
        olv::files::WholeFileWrite::Written)
        return;
    const int error = errno;
    host.Boxes().show({QStringLiteral("Не удалось записать файл %1").arg(QDir::toNativeSeparators(fileName)),
                 QStringLiteral("Ошибка"), olv::messages::BoxIcon::Warning, olv::messages::BoxButtons::Ok,
                 QString::fromLocal8Bit(std::strerror(error))});
}

QImage LivePage::TrendPicture(const olv::device::InstrumentIdentity* only) {
    // Drawn for a record: only the lines of its instrument.
    if (only) {
        const olv::device::InstrumentIdentity recorded = *only;
        const int byteOrder = host.Link().byteOrder;
        ui.Chart1->setEarlierFilter([recorded, byteOrder](const olv::device::TrendSource& source) {
            return source.byteOrder == byteOrder && olv::device::SameInstrument(source.instrument, recorded);
        });
    }
    // The chart drawn at a size of its own, whatever room the live page gives it (and also when the
    // window was never shown), then given its own size back.
    const QSize size(640, 280);
    QChart* chart = ui.Chart1->chart();
    const QSizeF shown = chart->size();
    chart->resize(size);
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    ui.Chart1->scene()->render(&painter, QRectF(QPointF(), size), QRectF(chart->pos(), size));
    painter.end();
    chart->resize(shown);
    if (only) ui.Chart1->setEarlierFilter({});
    return picture;
}
