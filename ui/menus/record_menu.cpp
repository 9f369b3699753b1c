// Menu "Файл", "Протокол настройки…": a commissioning record of the instrument on the line as a PDF.
#include "ui/menus/record_pdf.h"

#include "ui/widgets/trend_chart.h"
#include "ui/window/form1.h"

#include "files/plain_file.h"
#include "messages/message_boxes.h"
#include "records/commissioning_record.h"

#include <QBuffer>
#include <QChart>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
using olv::link::ResultFlags;

namespace {

const QString TrendImageName = QStringLiteral("trend.png");

QTextDocument* HtmlDocument(QObject* parent, const QString& html, const QImage& trend) {
    auto* document = new QTextDocument(parent);
    QFont font = document->defaultFont();
    font.setPointSize(10);
    document->setDefaultFont(font);
    if (!trend.isNull()) document->addResource(QTextDocument::ImageResource, QUrl(TrendImageName), trend);
    document->setHtml(html);
    return document;
}

} // namespace

QTextDocument* RecordDocument(QObject* parent, const olv::records::RecordData& data, const QImage& trend) {
    return HtmlDocument(parent, olv::records::RecordHtml(data, TrendImageName, trend.size()), trend);
}

bool ReadRecord(TForm1& form, olv::records::RecordData& data) {
    uint8_t exceptionCode = 0;
    const ResultFlags flags = form.ReadInstrumentState(data.state, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        form.ReportExchangeError(flags, exceptionCode);
        return false;
    }
    exceptionCode = 0;
    data.liveRead = olv::link::Succeeded(form.ReadLiveValue(exceptionCode), exceptionCode);
    data.live = form.live;
    data.caption = form.windowTitle();
    data.printedAt = QDateTime::currentDateTime();
    data.port = QStringLiteral("COM%1").arg(form.linkSettings.portNumber);
    data.devicePath =
        QFile::decodeName(QByteArray::fromStdString(form.portLink.pathOf(form.linkSettings.portNumber)));
    data.address = form.linkSettings.address;
    data.trend = form.liveTrend.stats();
    // Only readings of the instrument just read go into the record; others are named as left out.
    data.trendOf = olv::records::RecordTrendOf(
        form.liveTrend, olv::device::WithImageIdentity(form.ShownIdentity(), data.state.image),
        form.linkSettings.byteOrder);
    return true;
}

QByteArray RecordPdf(const QString& html, const QImage& trend, const QString& title) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setTitle(title);
        writer.setCreator(title);
        QObject owner;
        HtmlDocument(&owner, html, trend)->print(&writer);
    }
    return buffer.data();
}

QImage TForm1::TrendPicture(const olv::device::InstrumentIdentity* only) {
    // Drawn for a record: only the lines of its instrument.
    if (only) {
        const olv::device::InstrumentIdentity recorded = *only;
        const int byteOrder = linkSettings.byteOrder;
        Chart1->setEarlierFilter([recorded, byteOrder](const olv::device::TrendSource& source) {
            return source.byteOrder == byteOrder && olv::device::SameInstrument(source.instrument, recorded);
        });
    }
    // The chart drawn at a size of its own, whatever room the live page gives it (and also when the
    // window was never shown), then given its own size back.
    const QSize size(640, 280);
    QChart* chart = Chart1->chart();
    const QSizeF shown = chart->size();
    chart->resize(size);
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    Chart1->scene()->render(&painter, QRectF(QPointF(), size), QRectF(chart->pos(), size));
    painter.end();
    chart->resize(shown);
    if (only) Chart1->setEarlierFilter({});
    return picture;
}

// "Протокол настройки…": reads the instrument and its live value, then writes the record, whole or not
// at all.
void TForm1::N7Click() {
    QString fileName;
    bool firstFilter = true;
    if (!ChooseProfileFile(SaveDialog3, fileName, firstFilter)) return;
    if (firstFilter && !fileName.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        fileName += QStringLiteral(".pdf");

    const InstrumentOperation operation(*this);
    if (!operation.started()) return;
    olv::records::RecordData data;
    if (!ReadRecord(*this, data)) return;
    const olv::device::InstrumentIdentity recorded =
        olv::device::WithImageIdentity(ShownIdentity(), data.state.image);
    const QImage trend = TrendPicture(&recorded);
    const QByteArray pdf = RecordPdf(olv::records::RecordHtml(data, TrendImageName, trend.size()), trend,
                                     QStringLiteral("Протокол настройки"));
    QString reason;
    if (!olv::files::WriteWholeFile(fileName, pdf, reason)) {
        boxes->show({QStringLiteral("Протокол настройки не записан в файл %1: %2.")
                         .arg(QDir::toNativeSeparators(fileName), reason),
                     QStringLiteral("Ошибка"),
                     BoxIcon::Warning,
                     BoxButtons::Ok,
                     {}});
        return;
    }
    boxes->show(
        {QStringLiteral("Протокол настройки записан в файл %1.").arg(QDir::toNativeSeparators(fileName)),
         QStringLiteral("Результат операции"),
         BoxIcon::Information,
         BoxButtons::Ok,
         {}});
}
