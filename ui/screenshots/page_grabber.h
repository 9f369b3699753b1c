#pragma once

#include <QString>

class QImage;
class QWidget;
class TForm1;

namespace olv::records {
struct InstrumentState;
} // namespace olv::records

// Saves a picture of the widget as a PNG file, whole or not at all (a full disk leaves no torn file).
bool SavePicture(QWidget& widget, const QString& fileName);
bool SaveImage(const QImage& image, const QString& fileName);

// For the screenshots of the documentation and the layout review: after delayMs shows the live page,
// lets it poll for livePollingMs, then shows each of the six pages in turn, saves the window as
// <directory>/page<N>.png, saves the port assignment dialog as <directory>/ports.png, the compare dialog
// as compare.png, the calibration dialog's as-found table as calibration.png with its certificate as
// certificate.pdf, and the first page of a commissioning record as record.png. Before closing it shows
// the live page again and saves it as <directory>/page0-stale.png once a failed poll has marked the
// reading as old (or after ten seconds).
void GrabPagesThenClose(TForm1& form, const QString& directory, int delayMs, int livePollingMs);

// The port assignment dialog as the File menu would open it on this window, saved as a picture.
bool GrabPortsDialog(TForm1& form, const QString& fileName);

// The compare dialog as "Открыть конфигурацию прибора…" shows it, saved as a picture.
bool GrabCompareDialog(QWidget* parent, const olv::records::InstrumentState& device,
                       const olv::records::InstrumentState& file, const QString& fileName,
                       const QString& imagePath);

// The first page of the record of the instrument on the line, as a picture.
bool GrabRecordPage(TForm1& form, const QString& imagePath);
