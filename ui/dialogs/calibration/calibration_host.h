#pragma once

#include "calibration/certificate.h"
#include "calibration/trim.h"
#include "records/instrument_state.h"
#include "records/journal.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace olv::messages {
class MessageBoxes;
} // namespace olv::messages

// What the calibration dialog needs of the window: its boxes and clock, one reading at a time, the
// meter's state, the sensor page's write of the trim, the journal and the record's PDF. The
// calibration menu gives it on the window (menus/calibration_menu.cpp); nothing else of it is reached.
class CalibrationHost {
  public:
    virtual ~CalibrationHost() = default;

    virtual olv::messages::MessageBoxes& boxes() = 0;
    // Milliseconds of the window's clock (Form1Deps::clock); read once per poll.
    virtual int64_t now() = 0;
    // The meter under test: where it is, as the certificate names it.
    virtual int meterAddress() const = 0;
    virtual QString portName() const = 0;
    virtual QString devicePath() const = 0;
    virtual QString caption() const = 0;

    // Another transaction waits for the line: a poll must not start now.
    virtual bool lineBusy() const = 0;
    // The value the meter at `address` sends (registers 15..16, the byte order in force): none when it
    // did not answer, NaN for an answer that holds no number. The meter's own address shows its
    // exchange state in the window.
    virtual std::optional<float> readValue(int address) = 0;

    // Writes registers 59..62 and nothing else, through the sensor page's write path: its
    // confirmation (unless `confirm` is false: the caller asked already), the journal's check and its
    // line, the instrument read before (it must still be the meter of `serial`), and the registers read
    // back. None when nothing was written (declined, or refused before the write); otherwise what
    // the instrument holds as read back.
    virtual std::optional<olv::calibration::TrimRecord> writeTrim(const olv::calibration::Trim& trim,
                                                                  olv::calibration::TrimKind kind,
                                                                  const QString& serial,
                                                                  const QString& operation, bool confirm) = 0;

    // The journal of writes; certificates are kept in a folder beside it.
    virtual QString journalPath() const = 0;
    // Appends a line; a failure is told in a box. False then.
    virtual bool appendJournal(const olv::records::JournalEntry& entry) = 0;
    // A document as the program prints its records.
    virtual QByteArray pdf(const QString& html, const QString& title) = 0;
};
