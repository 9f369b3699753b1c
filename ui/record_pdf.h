#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class TForm1;

// The commissioning record as a PDF: the HTML laid out on A4 by a QTextDocument and printed by a
// QPdfWriter (fonts embedded), with the trend picture as the document's image "trend.png".
QByteArray RecordPdf(const QString& html, const QImage& trend, const QString& title);

// For the screenshots: the first page of the record of the instrument on the line, as a picture.
bool GrabRecordPage(TForm1& form, const QString& imagePath);
