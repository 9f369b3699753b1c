#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class QObject;
class QTextDocument;

namespace olv::records {
struct RecordData;
} // namespace olv::records

namespace olv::print {

// The name by which a document's HTML refers to the trend picture.
QString TrendImageName();

// A document's HTML as a PDF: laid out on A4 by a QTextDocument and printed by a QPdfWriter (fonts
// embedded), "Страница N из M" at the foot of each page, the picture as the document's image
// TrendImageName(). Needs a QGuiApplication.
QByteArray DocumentPdf(const QString& html, const QImage& trend, const QString& title);

// The commissioning record laid out as a document, owned by parent, the trend picture in it.
QTextDocument* RecordDocument(QObject* parent, const records::RecordData& data, const QImage& trend);

} // namespace olv::print
