#pragma once

#include "calibration/certificate.h"
#include "records/journal.h"

#include <QByteArray>
#include <QString>

namespace olv::calibration {

// The certificate's number and the name its files take: "СК-<serial>-<yyyyMMdd-HHmmss>".
QString CertificateNumber(const QString& serial, const QDateTime& when);

// The certificate's PDF and CSV as <folder>/<baseName>.pdf and .csv, the folder made when it is
// missing. Each file is written whole or not at all; when the CSV fails the PDF is removed again, so
// that a certificate is kept with its tables or not at all. False with the reason in words.
bool SaveCertificateFiles(const QString& folder, const QString& baseName, const QByteArray& pdf,
                          const QByteArray& csv, QString& reason);

// The calibration's line of the journal: where and what the meter is (from the certificate's image),
// the operation "Калибровка", and the outcome: each table's verdict, the trim as the instrument holds
// it, and the certificate's file (or why it was not kept).
records::JournalEntry CalibrationJournalEntry(const CertificateData& data, const QString& certificateNote);

} // namespace olv::calibration
