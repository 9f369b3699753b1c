#pragma once

#include "cli/line.h"
#include "device/page_writes.h"
#include "records/instrument_state.h"
#include "records/journal.h"

#include <QString>

namespace olv::cli {

// The CLI's own link follows each link setting the instrument accepted, as the window's does: the byte
// order at once, the address and rate, then the parity, with the port opened again at the new rate and
// parity. A port that does not open again is kept in `failure` (the read-back then finds no reply).
class LineFollower : public device::DeviceLinkSteps {
  public:
    LineFollower(Line& line, const device::LinkValues& values) : line_(line), values_(values) {}
    void byteOrderWritten() override;
    void addressBaudWritten() override;
    void parityWritten() override;
    QString failure;

  private:
    Line& line_;
    const device::LinkValues values_;
};

// The journal of the station's data folder, when a data folder is in use.
class Journal {
  public:
    explicit Journal(const Line& line);
    bool used() const { return !path_.isEmpty(); }
    const QString& path() const { return path_; }
    // Before anything is sent: throws Failure(FileFault) when a line could not be appended.
    void checkTakesLine() const;
    // The line of a write; false (the reason said on stderr) when it could not be appended.
    bool append(const Line& line, const records::InstrumentState& before, const QString& operation,
                const device::PageWriteResult& result) const;

  private:
    QString path_;
};

// Reads the instrument whole before a write; throws Failure when it does not answer.
records::InstrumentState ReadBeforeWrite(Line& line);

// Asks on the terminal (stderr, answer on stdin): the question, the rows of old → new, "[д/Н]". True for
// "д", "да", "y", "yes" in any case; false for anything else, the end of the input or a stop signal.
bool Confirm(const QString& question, const QStringList& rows);

// What the window's result box says of a write, by its end.
struct WriteTexts {
    QString written;         // "Конфигурация записана и проверена."
    QString unchecked;       // the read-back failed
    QString differing;       // "... иные значения полей: %1."
    QString uncheckedDetail; // after the unchecked text, when there is one
};

// Says how a write ended: a JSON object on stdout with --json (written, stop, held, not_held, unknown,
// mismatched), the window's text on stdout for a success, one line on stderr for anything else.
// Returns the exit code: 0 written and read back; 1 cancelled or read back otherwise; refusedCode for
// a value refused before anything was sent; 3 or 4 for a failed exchange or read-back.
int ReportWrite(const Line& line, const records::InstrumentState& before, const device::PageWriteResult& result,
                const WriteTexts& texts, bool json, int refusedCode, bool journalFailed);

// The hooks of a write on the command line: pauses between blocks, the stop signals as a cancel between
// blocks, progress on a terminal.
device::WriteHooks CommandLineHooks(const QString& caption, bool cancellable);

} // namespace olv::cli
