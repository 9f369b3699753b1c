#pragma once

#include <QString>

class QImage;
class QWidget;
class TForm1;

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
