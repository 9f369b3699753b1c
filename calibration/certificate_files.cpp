#include "calibration/certificate_files.h"

#include "device/encodings.h"
#include "device/register_map.h"
#include "files/plain_file.h"
#include "records/visit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace olv::calibration {

QString CertificateNumber(const QString& serial, const QDateTime& when) {
    return records::DocumentNumber(QStringLiteral("СК"), serial, when);
}

bool SaveCertificateFiles(const QString& folder, const QString& baseName, const QByteArray& pdf,
                          const QByteArray& csv, QString& reason) {
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        reason = QStringLiteral("%1 — не папка").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    if (!QDir().mkpath(folder)) {
        reason = QStringLiteral("папка %1 не создана").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    const QDir dir(folder);
    const QString pdfPath = dir.filePath(baseName + QStringLiteral(".pdf"));
    if (!files::WriteWholeFile(pdfPath, pdf, reason)) return false;
    if (!files::WriteWholeFile(dir.filePath(baseName + QStringLiteral(".csv")), csv, reason)) {
        QFile::remove(pdfPath);
        return false;
    }
    return true;
}

records::JournalEntry CalibrationJournalEntry(const CertificateData& data, const QString& certificateNote) {
    const auto& w = data.image.words;
    records::JournalEntry entry;
    entry.when = data.when;
    entry.port = data.port;
    entry.devicePath = data.devicePath;
    entry.address = data.address;
    entry.model = QString::number(w[device::reg::Model]);
    entry.serial = QString::number(
        static_cast<int32_t>(device::JoinWords(w[device::reg::SerialHigh], w[device::reg::SerialLow])));
    entry.operation = QString::fromUtf8(records::CalibrationOperation);
    entry.outcome = CalibrationOutcomeText(data);
    if (!certificateNote.isEmpty()) entry.outcome += QStringLiteral("; ") + certificateNote;
    return entry;
}

} // namespace olv::calibration
