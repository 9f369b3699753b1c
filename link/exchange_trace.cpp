#include "link/exchange_trace.h"

#include "files/plain_file.h"

#include <QDateTime>

#include <cstdio>

namespace olv::link {

namespace {

std::string FormatStamp(const char* format, const TraceTime& t) {
    char line[96];
    const int n = std::snprintf(line, sizeof line, format, t.day, t.month, t.year, t.hour, t.minute, t.second,
                                t.millisecond);
    if (n < 0) return {};
    return std::string(line, static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1);
}

void AppendBytes(std::string& text, const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    text.reserve(text.size() + 3 * count);
    for (size_t i = 0; i < count; ++i) {
        text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
}

} // namespace

TraceTime LocalTraceTime() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    return TraceTime{static_cast<unsigned>(date.day()),    static_cast<unsigned>(date.month()),
                     static_cast<unsigned>(date.year()),   static_cast<unsigned>(time.hour()),
                     static_cast<unsigned>(time.minute()), static_cast<unsigned>(time.second()),
                     static_cast<unsigned>(time.msec())};
}

std::string FormatSendBlock(const TraceTime& time, const uint8_t* bytes, size_t count) {
    std::string text = "\n____________________________\n";
    text += FormatStamp("%02u %02u %02u %02u-%02u-%02u.%03u \n", time);
    text += "Send:\n";
    AppendBytes(text, bytes, count);
    return text;
}

std::string FormatAnswerBlock(TraceKind kind, const TraceTime& time, const uint8_t* bytes, size_t count) {
    std::string text = "\n\n";
    if (kind == TraceKind::Write) {
        text += FormatStamp("%02u %02u %02u %02u:%02u:%02u.%03u \n", time);
        text += "Answ:\r\n";
    } else {
        text += FormatStamp("%02u %02u %02u %02u-%02u-%02u.%03u \n", time);
        text += "Answ:\n";
    }
    AppendBytes(text, bytes, count);
    return text;
}

std::string FormatNoteBlock(const TraceTime& time, const std::string& text) {
    std::string block = "\n____________________________\n";
    block += FormatStamp("%02u %02u %02u %02u-%02u-%02u.%03u \n", time);
    return block + "Note: " + text;
}

// Every failure (bad name, read-only place, full disk, file size limit, a name that is no regular file,
// such as a FIFO that would block the transaction) leaves the block out, without a word.
void ExchangeTrace::appendSend(const QString& fileName, const uint8_t* bytes, size_t count) const {
    const std::string text = FormatSendBlock(clock_ ? clock_() : LocalTraceTime(), bytes, count);
    send_ = files::AppendRecord(fileName, text.data(), text.size());
    sendRefused_ = !send_;
}

void ExchangeTrace::appendAnswer(const QString& fileName, TraceKind kind, const uint8_t* bytes,
                                 size_t count) const {
    const std::optional<files::AppendedRecord> send = send_;
    const bool sendRefused = sendRefused_;
    send_.reset();
    sendRefused_ = false;
    // An answer without its request would read as the answer to the request before.
    if (sendRefused) return;
    const std::string text = FormatAnswerBlock(kind, clock_ ? clock_() : LocalTraceTime(), bytes, count);
    if (!files::AppendRecord(fileName, text.data(), text.size()) && send)
        files::RemoveLastRecord(fileName, *send);
}

void ExchangeTrace::appendNote(const QString& fileName, const std::string& text) const {
    const std::string block = FormatNoteBlock(clock_ ? clock_() : LocalTraceTime(), text);
    files::AppendRecord(fileName, block.data(), block.size());
}

} // namespace olv::link
