#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class QObject;
class QTextDocument;
class TForm1;

namespace olv::records {
struct RecordData;
} // namespace olv::records

// The commissioning record as a PDF: the HTML laid out on A4 by a QTextDocument and printed by a
// QPdfWriter (fonts embedded), with the trend picture as the document's image "trend.png".
QByteArray RecordPdf(const QString& html, const QImage& trend, const QString& title);

// Everything the record states, read now: the instrument's state and its live value. False, after
// the exchange error was reported, when the instrument could not be read.
bool ReadRecord(TForm1& form, olv::records::RecordData& data);
// The record laid out as a document, owned by parent, the trend picture in it.
QTextDocument* RecordDocument(QObject* parent, const olv::records::RecordData& data, const QImage& trend);
