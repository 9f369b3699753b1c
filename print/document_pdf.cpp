#include "print/document_pdf.h"

#include "records/commissioning_record.h"
#include "records/visit.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

namespace olv::print {

namespace {

QTextDocument* HtmlDocument(QObject* parent, const QString& html, const QImage& trend) {
    auto* document = new QTextDocument(parent);
    QFont font = document->defaultFont();
    font.setPointSize(10);
    document->setDefaultFont(font);
    if (!trend.isNull()) document->addResource(QTextDocument::ImageResource, QUrl(TrendImageName()), trend);
    document->setHtml(html);
    return document;
}

// The document laid out on the writer's pages with "Страница N из M" at the foot of each.
void PrintPaged(QTextDocument& document, QPdfWriter& writer) {
    const QRect area = writer.pageLayout().paintRectPixels(writer.resolution());
    const int footer = 28;
    document.documentLayout()->setPaintDevice(&writer);
    document.setPageSize(QSizeF(area.width(), area.height() - footer));
    const int pages = document.pageCount();
    const double height = document.pageSize().height();
    QPainter painter(&writer);
    QFont font = document.defaultFont();
    font.setPointSize(8);
    for (int page = 0; page < pages; ++page) {
        if (page > 0) writer.newPage();
        painter.save();
        painter.translate(0, -page * height);
        document.drawContents(&painter, QRectF(0, page * height, area.width(), height));
        painter.restore();
        painter.setFont(font);
        painter.drawText(QRectF(0, height, area.width(), footer), Qt::AlignRight | Qt::AlignBottom,
                         records::PageText(page + 1, pages));
    }
}

} // namespace

QString TrendImageName() {
    return QStringLiteral("trend.png");
}

QTextDocument* RecordDocument(QObject* parent, const records::RecordData& data, const QImage& trend) {
    return HtmlDocument(parent, records::RecordHtml(data, TrendImageName(), trend.size()), trend);
}

QByteArray DocumentPdf(const QString& html, const QImage& trend, const QString& title) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        // The layout of the screen (as the record's picture has it); text and lines stay vectors.
        writer.setResolution(96);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setTitle(title);
        writer.setCreator(title);
        QObject owner;
        PrintPaged(*HtmlDocument(&owner, html, trend), writer);
    }
    return buffer.data();
}

} // namespace olv::print
