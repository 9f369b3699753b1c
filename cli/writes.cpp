#include "cli/writes.h"

#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_signals.h"

#include "device/encodings.h"
#include "records/page_write_record.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <unistd.h>

namespace olv::cli {

void LineFollower::byteOrderWritten() {
    line_.settings().byteOrder = values_.byteOrder;
}

void LineFollower::addressBaudWritten() {
    line_.settings().address = values_.address & 0xFF;
    // The new rate with the old parity: the parity is changed by the next write.
    QString why;
    if (!line_.reopen(device::BaudRateOfIndex(values_.baudCode), line_.settings().parity, why)) failure = why;
}

void LineFollower::parityWritten() {
    QString why;
    if (!line_.reopen(line_.settings().baudRate, values_.parity, why)) failure = why;
}

Journal::Journal(const Line& line) {
    if (!line.resolved().dataDir.isEmpty())
        path_ = QDir(line.resolved().dataDir).absoluteFilePath(QString::fromLatin1(records::JournalFileName));
}

void Journal::checkTakesLine() const {
    if (!used()) return;
    QString reason;
    if (!records::JournalTakesLine(path_, reason))
        throw Failure(FileFault, QStringLiteral("Журнал изменений %1 не может быть записан: %2. В прибор ничего не записано.")
                                     .arg(QDir::toNativeSeparators(path_), reason));
}

bool Journal::append(const Line& line, const records::InstrumentState& before, const QString& operation,
                     const device::PageWriteResult& result) const {
    if (!used()) return true;
    const ResolvedLine& resolved = line.resolved();
    records::JournalEntry entry = records::JournalEntryOf(
        QDateTime::currentDateTime(),
        {{resolved.settings.portNumber, before.image.words[device::reg::AddressBaud] >> 8},
         QFile::decodeName(QByteArray::fromStdString(resolved.path))},
        before, operation, result);
    entry.port = resolved.portName;
    QString reason;
    if (records::AppendJournal(path_, entry, reason)) return true;
    PrintError(QStringLiteral("Строка не записана в журнал изменений %1: %2.")
                   .arg(QDir::toNativeSeparators(path_), reason));
    return false;
}

records::InstrumentState ReadBeforeWrite(Line& line) {
    records::InstrumentState before;
    uint8_t exceptionCode = 0;
    const link::ResultFlags flags = records::ReadInstrumentState(line.master(), before, exceptionCode, PauseMs);
    line.check(flags, exceptionCode);
    return before;
}

bool Confirm(const QString& question, const QStringList& rows) {
    QString text;
    for (const QString& row : rows)
        text += QStringLiteral("  ") + row + u'\n';
    PrintNote(text + question + QStringLiteral(" [д/Н] "));
    char buffer[256];
    if (StopRequested() || !std::fgets(buffer, sizeof buffer, stdin)) {
        PrintNote(QStringLiteral("\n"));
        return false;
    }
    const QString answer = QString::fromUtf8(buffer).trimmed().toLower();
    return !StopRequested() && (answer == u"д" || answer == u"да" || answer == u"y" || answer == u"yes");
}

device::WriteHooks CommandLineHooks(const QString& caption, bool cancellable) {
    device::WriteHooks hooks;
    hooks.pause = PauseMs;
    if (cancellable) hooks.cancelled = [] { return StopRequested(); };
    if (isatty(STDERR_FILENO) == 1)
        hooks.progress = [caption](int done, int total) {
            PrintNote(QStringLiteral("\r\x1b[K%1: %2 из %3").arg(caption).arg(done).arg(total) +
                      (done == total ? QStringLiteral("\r\x1b[K") : QString()));
        };
    return hooks;
}

namespace {

const char* StopKey(device::WriteStop stop) {
    switch (stop) {
    case device::WriteStop::None:
        return "none";
    case device::WriteStop::Refused:
        return "refused";
    case device::WriteStop::Exchange:
        return "exchange";
    case device::WriteStop::Cancelled:
        return "cancelled";
    case device::WriteStop::ReadBack:
        return "read_back";
    case device::WriteStop::Mismatch:
        return "mismatch";
    }
    return "exchange";
}

} // namespace

int ReportWrite(const Line& line, const records::InstrumentState& before, const device::PageWriteResult& result,
                const WriteTexts& texts, bool json, int refusedCode, bool journalFailed) {
    const QString blocks = device::BlocksText(result);
    QString message;
    int code = Done;
    switch (result.stop) {
    case device::WriteStop::None:
        break;
    case device::WriteStop::Refused:
        message = device::StopText(result) + QStringLiteral(" Запись данных не будет производиться.");
        code = refusedCode;
        break;
    case device::WriteStop::Exchange:
        message = line.where() + QStringLiteral(": ") + ExchangeFailureText(result.flags, result.exceptionCode) +
                  u' ' + blocks;
        code = ExitCodeOf(result.flags, result.exceptionCode);
        break;
    case device::WriteStop::Cancelled:
        message = device::StopText(result) + u' ' + blocks;
        code = CheckFailed;
        break;
    case device::WriteStop::ReadBack:
        message = line.where() + QStringLiteral(": ") + texts.unchecked + u' ' +
                  (texts.uncheckedDetail.isEmpty() ? QString() : texts.uncheckedDetail + u' ') +
                  ExchangeFailureText(result.flags, result.exceptionCode);
        code = ExitCodeOf(result.flags, result.exceptionCode);
        break;
    case device::WriteStop::Mismatch: {
        QStringList fields = records::MismatchedFields(before, result);
        if (fields.isEmpty())
            for (int number : result.mismatched())
                fields << QStringLiteral("регистр %1").arg(number);
        message = texts.differing.arg(fields.join(QStringLiteral(", "))) + u' ' + blocks;
        code = CheckFailed;
        break;
    }
    }
    if (json) {
        QByteArray mismatched = "[";
        for (const QString& field : records::MismatchedFields(before, result)) {
            if (mismatched.size() > 1) mismatched += ',';
            mismatched += JsonString(field);
        }
        mismatched += ']';
        PrintLine(JsonObject()
                      .add("written", result.succeeded())
                      .add("stop", StopKey(result.stop))
                      .add("serial_number", static_cast<int64_t>(records::SerialText(before).toLongLong()))
                      .add("held", device::BlocksIn(result, device::BlockState::Held))
                      .add("not_held", device::BlocksIn(result, device::BlockState::NotHeld))
                      .add("unknown", device::BlocksIn(result, device::BlockState::Unknown))
                      .addRaw("mismatched", mismatched)
                      .add("journal", !journalFailed)
                      .text());
    } else if (result.succeeded()) {
        PrintLine(texts.written);
    }
    if (!message.isEmpty()) PrintError(message.trimmed());
    if (code == Done && journalFailed) code = FileFault;
    return code;
}

} // namespace olv::cli
