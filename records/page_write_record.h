#pragma once

// What a page write leaves behind, for the window and the headless program alike:
//
//   before  = ReadInstrumentState(...)                      the old values, and the words a write keeps
//   result  = device::WriteSensorConfiguration(...)         or WriteLinkSettings, WriteTextAndVersions
//             WriteConfigFileInto(...)                      a configuration file into a replacement
//   StateAfterWrite(before, result)                         the instrument as the read-back shows it
//   MismatchedFields(before, result)                        fields read back otherwise than sent
//   JournalEntryOf(when, target, before, operation, result) the journal's line (AppendJournal)
//
// and, before it, what the confirmation shows as its detail: ConfirmationRows (old → new) and, for
// the link write, LinkAnswersAt (where the meter answers afterwards). Texts are Russian.

#include "device/page_writes.h"
#include "records/config_file.h"
#include "records/instrument_state.h"
#include "records/journal.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

namespace olv::records {

// `before` with the words the instrument returned in the write's read-back.
InstrumentState StateAfterWrite(const InstrumentState& before, const device::PageWriteResult& result);

// `before` with every word the write was to send: what it meant.
InstrumentState StateMeant(const InstrumentState& before, const device::PageWriteResult& result);

// The names of the fields whose read-back differs from what was sent, in the order of the pages.
QStringList MismatchedFields(const InstrumentState& before, const device::PageWriteResult& result);

// The journal's "Итог": "записано"; for a failed exchange what went wrong and the blocks the
// instrument holds ("нет ответа; записаны регистры 0–5, 9–11", "...; ничего не записано"); a cancel
// ("прервано; ..."); a read-back that failed ("записано без проверки: нет ответа") or differed
// ("прибор возвращает иные значения: Минимум диапазона; записаны регистры ...").
QString JournalOutcome(const InstrumentState& before, const device::PageWriteResult& result);

// The changed fields, old values from `before`, new ones as the read-back shows them. A field whose new
// value was sent but could not be read back shows "не прочитано (отправлено 2.5000)".
std::vector<FieldChange> WrittenChanges(const InstrumentState& before, const device::PageWriteResult& result);

// Where a write went.
struct WriteTarget {
    device::InstrumentId id; // the port's COM number and the address
    QString devicePath;      // what the port opened
};

JournalEntry JournalEntryOf(const QDateTime& when, const WriteTarget& target, const InstrumentState& before,
                            const QString& operation, const device::PageWriteResult& result);

// The rows of a confirmation's detail, one per field of `groups` that the write changes:
// "Максимум диапазона: 1.6000 → 2.5000". With no known state of the instrument (`now` null) the old
// value is "?". "Значения в приборе не меняются." when nothing changes.
QStringList ConfirmationRows(const InstrumentState* now, const InstrumentState& meant, unsigned groups);

// Where the meter answers with these link values: "по адресу 17, на скорости 38400 бит/с, с паритетом
// «Четный»".
QString LinkAnswersAt(const device::LinkValues& values);

// The detail of the link write's confirmation: the rows of the settings that change (old → new), then
// "После записи прибор будет отвечать по адресу 17, на скорости 38400 бит/с, с паритетом «Четный»."
QStringList LinkConfirmationRows(const device::LinkValues& now, const device::LinkValues& proposed);

// The link values of a state (registers 8, 11 and 1034).
device::LinkValues LinkValuesOfState(const InstrumentState& state);

// Why the file's configuration must not go into this instrument (another model), or nothing.
QString ModelMismatch(const QString& fileName, const InstrumentState& file, const InstrumentState& device);

// A configuration file into an instrument whose state `before` was read just before: the
// configuration write of the file's words, the words the instrument keeps taken from `before`
// (InstrumentKeepsOnFileWrite), then with withLink, after a pause, the link write of the file's link
// values, which `follow` follows. Progress counts on across both (7 of 7, or 10 of 10). The result
// holds the blocks of both; the link write is made only when the configuration write succeeded.
device::PageWriteResult WriteConfigFileInto(link::ModbusMaster& master, const ConfigFile& file,
                                            const InstrumentState& before, bool withIdentity, bool withLink,
                                            device::DeviceLinkSteps& follow, const device::WriteHooks& hooks);

// The groups of fields such a write changes.
unsigned ConfigFileWriteGroups(bool withIdentity, bool withLink);

// ---- Saving what was read of an instrument as a configuration file ----

// Where and by what the configuration was read.
struct ConfigFileOrigin {
    device::InstrumentId id;
    QString devicePath;
    QDateTime readAt;
    QString program;
};

ConfigFile ConfigFileOf(const InstrumentState& state, const ConfigFileOrigin& origin);

// What a save came to, as the message box says it.
struct SaveOutcome {
    bool saved = false;
    QString text;   // "Конфигурация прибора записана в файл /path." or why not
    QString detail; // the reason of a refused write, empty otherwise
};

// Why a save may not go to this name ("Файл … не является файлом конфигурации прибора и не будет
// перезаписан."), or nothing.
QString RefusedSaveName(const QString& path);

// Writes the file (SaveConfigFile) and says what became of it; never throws.
SaveOutcome SaveConfiguration(const QString& path, const ConfigFile& file);

} // namespace olv::records
