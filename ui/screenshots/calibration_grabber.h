#pragma once

#include <QString>

class QWidget;

// For the documentation: a whole calibration of a meter whose sensor reads 1 % high with a zero error
// of 0.5 % of span, run in the dialog without a line (the readings are the sensor's, the trim written
// is the one it then sends with). Saves the dialog with its as-found table as
// <directory>/calibration.png and the certificate as <directory>/certificate.pdf.
bool GrabCalibrationPictures(QWidget* parent, const QString& directory);
