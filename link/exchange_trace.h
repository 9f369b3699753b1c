#pragma once

#include "files/plain_file.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace olv::link {

// The local time to the millisecond that stamps every block of the exchange trace.
struct TraceTime {
    unsigned day = 0;
    unsigned month = 0;
    unsigned year = 0; // four digits
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    unsigned millisecond = 0;
};

using TraceClock = std::function<TraceTime()>;

// The system's local time.
TraceTime LocalTraceTime();

// Which transaction a block belongs to: the answer block of a write is stamped with ':' between
// hour, minute and second and labelled "Answ:\r\n", that of a read with '-' and "Answ:\n".
enum class TraceKind { Read, Write };

// The text of one block, exactly as it goes into the file. No line feed follows the bytes: the next
// block's header begins with one.
std::string FormatSendBlock(const TraceTime& time, const uint8_t* bytes, size_t count);
std::string FormatAnswerBlock(TraceKind kind, const TraceTime& time, const uint8_t* bytes, size_t count);
// A note of the program's own between the exchanges (a spool of a killed program removed): the
// header of a block, then "Note: " and the text's bytes as given.
std::string FormatNoteBlock(const TraceTime& time, const std::string& text);

// Appends the blocks of the exchange trace to a text file. The file is opened for appending and closed
// again for every block, so it can be read, moved or deleted while the program runs. A file that
// cannot be opened or written is skipped without a word: the trace never changes a transaction.
// The bytes are written as they are (no line-end translation).
//
// Each block goes into the file whole or not at all (a full disk, a file size limit), and so does each
// transaction: the answer of a request whose block was refused is left out, and a request whose answer
// is refused is taken off again (when it is still the end of that file), so the file always reads as
// send, answer, send, answer.
class ExchangeTrace {
  public:
    explicit ExchangeTrace(TraceClock clock = LocalTraceTime) : clock_(std::move(clock)) {}

    void setClock(TraceClock clock) { clock_ = std::move(clock); }

    void appendSend(const QString& fileName, const uint8_t* bytes, size_t count) const;
    void appendAnswer(const QString& fileName, TraceKind kind, const uint8_t* bytes, size_t count) const;
    // A note, whole or not at all, outside any transaction.
    void appendNote(const QString& fileName, const std::string& text) const;

  private:
    TraceClock clock_;
    // The send block of the transaction under way; nothing when there was none or it was refused.
    mutable std::optional<files::AppendedRecord> send_;
    mutable bool sendRefused_ = false;
};

} // namespace olv::link
