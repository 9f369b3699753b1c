#pragma once

#include "link/result_flags.h"
#include "records/csv.h"
#include "records/instrument_state.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

namespace olv::records {

// The journal of every write to an instrument: journal.csv in the data folder, one line per write
// operation, UTF-8 with a byte order mark, ';' between the fields and the floats with a decimal comma,
// as the trend's table, so that spreadsheets open it in Russian. Lines written before floats had the
// comma keep their point and read as they are. Lines are only ever appended, each one whole, and synced before the write is reported.
inline constexpr const char* JournalFileName = "journal.csv";

struct JournalEntry {
    QDateTime when;     // local time
    QString port;       // "COM1"
    QString devicePath; // what the port opened
    int address = 0;
    QString model;     // register 0 of the instrument, as read before the write
    QString serial;    // registers 2 and 3, likewise
    QString operation; // what was written, e.g. "Запись конфигурации"
    QString outcome;   // "записано", or what went wrong and what was written nevertheless
    std::vector<FieldChange> changes;
};

// The first line of a new journal: the names of the columns.
QByteArray JournalHeader();

// One line: date and time, port, device, address, model, serial number, operation, outcome, then the
// name, old and new value of every changed field; CR LF at the end. The values of a float field
// (FieldChange::number) have a decimal comma, so that a spreadsheet in Russian reads them as numbers;
// every other field, digits and all, goes in as it is. Every field is cleaned first
// (CleanJournalText). A field holding ';', '"', a line
// break or blanks at its ends is quoted; one that a spreadsheet would take for a formula gets a
// leading apostrophe.
QByteArray JournalLine(const JournalEntry& entry);

// Any record as the journal writes its lines (for other tables kept the same way: a bench's report,
// the trend's table) is CsvRecord of records/csv.h.

// The fields of one line as JournalLine wrote them (quotes and the formula guard taken off); a quoted
// field may hold line breaks. Only the first record of `line` is read.
QStringList ParseJournalLine(const QByteArray& line);

// A text as the journal keeps it: control characters other than the line break and the tab (a NUL
// byte, an escape, a lone CR, C1 controls) and invisible format characters (such as the marks that
// reverse the direction of the text that follows) become visible as \xHH or \uHHHH, so that a field
// can neither hide its content nor upset a program that reads the file. CR LF becomes a line break.
QString CleanJournalText(const QString& text);

// Whether a line can be appended now: a line of `bytes` bytes is written at the end of the journal and
// cut off again, so a full disk, a size limit, a read-only file or folder and a name that is no regular
// file all show before anything is sent to the instrument. A journal that did not exist is removed
// again. False with the reason in words.
bool JournalTakesLine(const QString& path, QString& reason, size_t bytes = 4096);

// Appends the entry's line (after the byte order mark and the header when the journal is new or empty)
// as one record, synced. False with the reason in words when it could not be written whole; the journal
// is then as it was.
bool AppendJournal(const QString& path, const JournalEntry& entry, QString& reason);

// The journal's entries as field lists, newest first, without the header, read as CSV (ParseCsv: a
// quoted field holding a line break stays one field of one entry); those whose serial number
// (the sixth field) contains serialFilter when it is not empty. Nothing for a journal that cannot be
// read.
std::vector<QStringList> ReadJournal(const QString& path, const QString& serialFilter = QString());

// What became of a write for the journal: "записано"; else what went wrong ("нет ответа", the
// exception, the exchange error), then the blocks the instrument took before ("записаны регистры
// 0–5, 9–11") or "ничего не записано".
QString WriteOutcome(link::ResultFlags flags, uint8_t exceptionCode, const QStringList& written);

// A block of registers as the journal names it: "48–55", or "11" for one register.
QString BlockName(int start, int count);

} // namespace olv::records
