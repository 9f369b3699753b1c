#pragma once

#include "settings/ini_file.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace olv::records {

// The operation a calibration's journal line names.
inline constexpr const char* CalibrationOperation = "Калибровка";
// The folder, beside the journal, that keeps the calibration certificates.
inline constexpr const char* CertificatesFolder = "certificates";

// Where an instrument is installed, as the engineer typed it once: the station keeps it per serial
// number in its settings file (section "INSTRUMENT_<serial>", keys Site and Tag), so that the next
// record of the same meter finds it.
struct InstrumentSite {
    QString site; // the plant, the room, the line
    QString tag;  // the instrument's tag on the plant's drawings
    bool operator==(const InstrumentSite&) const = default;
};
InstrumentSite LoadInstrumentSite(const settings::IniSnapshot& file, const QString& serial);
std::vector<settings::IniEntry> InstrumentSiteEntries(const QString& serial, const InstrumentSite& site);

// The person who sets up or calibrates, remembered by the station: [RECORDS] Person.
QString LoadPerson(const settings::IniSnapshot& file);
settings::IniEntry PersonEntry(const QString& person);

// A document's number: its prefix, the instrument's serial number and the moment it was made to the
// second, e.g. "ПН-111111-20260302-100005"; unique for one instrument without a counter to keep.
QString DocumentNumber(const QString& prefix, const QString& serial, const QDateTime& when);

// "Страница 2 из 3".
QString PageText(int page, int pages);

// One line of the journal as the records quote it.
struct JournalChange {
    QString when;        // as the journal has it, "2026-03-02 10:00:05"
    QString operation;   // "Запись конфигурации"
    QString outcome;     // "записано"
    QStringList changes; // "Поле: было → стало"
    bool operator==(const JournalChange&) const = default;
};

// The journal's lines (ReadJournal's field lists, newest first) of the instrument with this serial
// number made on the day of `day`: the changes of the visit, oldest first. Calibrations are among
// them.
std::vector<JournalChange> VisitChanges(const std::vector<QStringList>& journal, const QString& serial,
                                        const QDate& day);

// The newest calibration line of the instrument with this serial number, if any.
std::optional<JournalChange> LastCalibration(const std::vector<QStringList>& journal, const QString& serial);

} // namespace olv::records
