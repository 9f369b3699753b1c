// batch: the bench's loop. Meter after meter: wait for it, write the configuration and the next address
// of the range, read everything back, append one row to the report, and wait for the next.
#include "cli/commands.h"
#include "cli/configuration.h"
#include "cli/exit_codes.h"
#include "cli/line.h"
#include "cli/output.h"
#include "cli/stop_signals.h"
#include "cli/writes.h"

#include "device/encodings.h"
#include "device/live_value.h"
#include "device/register_map.h"
#include "files/plain_file.h"
#include "records/csv.h"
#include "records/page_write_record.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <set>
#include <sys/stat.h>

namespace olv::cli {

namespace reg = device::reg;

namespace {

const QByteArray Bom("\xEF\xBB\xBF");
constexpr auto ProbeSpacing = std::chrono::milliseconds(300);

const QStringList ReportHeader{QStringLiteral("Дата"),          QStringLiteral("Время"),
                               QStringLiteral("Заводской номер"), QStringLiteral("Старый адрес"),
                               QStringLiteral("Новый адрес"),    QStringLiteral("Результат"),
                               QStringLiteral("Различия")};
const QString DoneText = QStringLiteral("выполнено");
const QString FailedText = QStringLiteral("ошибка");

// One meter's row.
struct MeterRow {
    QDateTime when;
    QString serial;
    int oldAddress = 0;
    QString newAddress; // where it answers now, or why that is not known
    bool done = false;
    QString differences; // the fields that differ after the read-back, or what went wrong
    int answersAt = 0;   // the address it answers at after the job (0: unknown)
};

// The report: a CSV as the journal is kept (UTF-8 with a byte order mark, ';'), each row appended whole.
class Report {
  public:
    explicit Report(const QString& path) : path_(path) {}
    bool used() const { return !path_.isEmpty(); }

    // Before the first meter: a row can be appended (throws Failure(FileFault)), and the addresses the
    // rows already there gave, so that a bench that goes on after a stop never gives one twice.
    std::set<int> check() const {
        if (!used()) return {};
        QString reason;
        if (!records::JournalTakesLine(path_, reason))
            throw Failure(FileFault, QStringLiteral("Отчёт %1 не может быть записан: %2.").arg(Native(), reason));
        std::set<int> given;
        const files::PlainFileContent content = files::ReadPlainFile(path_, 64 * 1024 * 1024);
        if (!content.bytes) return given;
        QByteArray bytes = *content.bytes;
        if (bytes.startsWith(Bom)) bytes.remove(0, Bom.size());
        for (const QStringList& row : records::ParseCsv(QString::fromUtf8(bytes), u';'))
            if (row.size() >= 6 && row[5] == DoneText) {
                bool ok = false;
                const int address = row[4].toInt(&ok);
                if (ok) given.insert(address);
            }
        return given;
    }

    void append(const MeterRow& row) const {
        if (!used()) return;
        struct stat st {};
        const bool empty = ::stat(QFile::encodeName(path_).constData(), &st) != 0 || st.st_size == 0;
        const QByteArray record =
            (empty ? Bom + records::CsvRecord(ReportHeader) : QByteArray()) +
            records::CsvRecord({row.when.toString(QStringLiteral("yyyy-MM-dd")), row.when.toString(QStringLiteral("HH:mm:ss")),
                                row.serial, QString::number(row.oldAddress), row.newAddress,
                                row.done ? DoneText : FailedText, row.differences});
        if (!files::AppendToPlainFile(path_, record.constData(), static_cast<size_t>(record.size()), true))
            throw Failure(FileFault, QStringLiteral("Строка прибора № %1 не записана в отчёт %2: %3.")
                                         .arg(row.serial, Native(), files::FileErrorText(errno)));
    }

  private:
    QString Native() const { return QDir::toNativeSeparators(path_); }
    QString path_;
};

void PrintRow(const MeterRow& row, bool json) {
    if (json) {
        JsonObject line;
        line.add("date", row.when.toString(QStringLiteral("yyyy-MM-dd")))
            .add("time", row.when.toString(QStringLiteral("HH:mm:ss")));
        if (row.serial.isEmpty())
            line.addNull("serial_number");
        else
            line.add("serial_number", static_cast<int64_t>(row.serial.toLongLong()));
        line.add("old_address", row.oldAddress);
        if (row.answersAt > 0)
            line.add("new_address", row.answersAt);
        else
            line.addNull("new_address");
        PrintLine(line.add("result", row.done ? "done" : "failed").add("differences", row.differences).text());
        return;
    }
    PrintLine(QStringList{row.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), row.serial,
                          QStringLiteral("%1 → %2").arg(row.oldAddress).arg(row.newAddress),
                          row.done ? DoneText : FailedText, row.differences}
                  .join(u'\t'));
}

bool Answers(Line& line, int address) {
    line.settings().address = address;
    device::LiveReading reading;
    uint8_t exceptionCode = 0;
    return link::Succeeded(device::ReadLiveValue(line.master(), line.settings().byteOrder, reading, exceptionCode),
                           exceptionCode);
}

// Probes until the meter answers at the address (present) or stops answering there (!present); false
// when a stop came first.
bool WaitFor(Line& line, int address, bool present) {
    for (;;) {
        if (StopRequested()) return false;
        const auto next = std::chrono::steady_clock::now() + ProbeSpacing;
        if (Answers(line, address) == present) return true;
        if (!SleepUntil(next)) return false;
    }
}

// Waits for the next meter: at the line's address, and every few rounds with a short search of every
// other address at the line's rate and parity (a meter that comes back for service answers where it was
// put). The address it answers at, or nothing when a stop came first.
std::optional<int> FindMeter(Line& line, int base) {
    constexpr int RoundsBetweenSearches = 8;
    constexpr int SearchTimeoutMs = 50;
    for (int round = 1;; ++round) {
        if (StopRequested()) return std::nullopt;
        const auto next = std::chrono::steady_clock::now() + ProbeSpacing;
        if (Answers(line, base)) return base;
        if (round % RoundsBetweenSearches == 0) {
            const int32_t timeout = line.settings().timeoutMs;
            line.settings().timeoutMs = std::min(timeout, SearchTimeoutMs);
            std::optional<int> found;
            for (int address = 1; address <= 247 && !found && !StopRequested(); ++address)
                if (address != base && Answers(line, address)) found = address;
            line.settings().timeoutMs = timeout;
            line.settings().address = base;
            if (found) return found;
        }
        if (!SleepUntil(next)) return std::nullopt;
    }
}

QString FailureText(const Line& line, const device::PageWriteResult& result) {
    const QString stop = result.stop == device::WriteStop::Exchange || result.stop == device::WriteStop::ReadBack
                             ? ExchangeFailureText(result.flags, result.exceptionCode)
                             : device::StopText(result);
    (void)line;
    return (stop + u' ' + device::BlocksText(result)).trimmed();
}

// One meter at the line's address: everything that happens to it ends up in its row.
MeterRow ProgramMeter(Line& line, const Journal& journal, const records::ConfigFile& file, const Options& options,
                      std::optional<int> newAddress) {
    MeterRow row;
    const int base = line.settings().address;
    row.oldAddress = base;
    row.answersAt = base;
    row.newAddress = QString::number(base);
    records::InstrumentState before;
    uint8_t exceptionCode = 0;
    link::ResultFlags flags = records::ReadInstrumentState(line.master(), before, exceptionCode, PauseMs);
    row.when = QDateTime::currentDateTime();
    if (!link::Succeeded(flags, exceptionCode)) {
        row.differences = QStringLiteral("не прочитан: ") + ExchangeFailureText(flags, exceptionCode);
        return row;
    }
    row.serial = records::SerialText(before);
    if (const QString mismatch = records::ModelMismatch(options.file, file.state, before); !mismatch.isEmpty()) {
        row.differences = mismatch;
        return row;
    }
    PrintNote(QStringLiteral("Прибор № %1 по адресу %2: запись конфигурации%3\n")
                  .arg(row.serial)
                  .arg(base)
                  .arg(newAddress ? QStringLiteral(" и адреса %1").arg(*newAddress) : QString()));

    // The configuration, never cut between its blocks: a stop waits for the end of this meter.
    LineFollower keep(line, records::LinkValuesOfState(before));
    device::PageWriteResult result = records::WriteConfigFileInto(
        line.master(), file, before, options.withIdentity, false, keep, CommandLineHooks(QStringLiteral("Запись параметров"), false));
    journal.append(line, before, QStringLiteral("Запись конфигурации из файла %1").arg(QFileInfo(options.file).fileName()),
                   result);
    QStringList problems;
    if (!result.succeeded()) problems << FailureText(line, result);

    records::InstrumentState meant = records::StateMeant(before, result);
    unsigned groups = records::ConfigFileWriteGroups(options.withIdentity, false);
    bool linkWritten = false;
    if (result.succeeded() && newAddress) {
        device::LinkValues values = records::LinkValuesOfState(before);
        values.address = *newAddress;
        LineFollower follow(line, values);
        const device::PageWriteResult linkResult = device::WriteLinkSettings(
            line.master(), values, follow, CommandLineHooks(QStringLiteral("Запись адреса"), false));
        journal.append(line, before, QStringLiteral("Запись параметров связи"), linkResult);
        linkWritten = linkResult.succeeded();
        if (!linkWritten) problems << FailureText(line, linkResult);
        meant = records::WithLinkWritten(meant, {values.address, device::BaudRateOfIndex(values.baudCode),
                                                 values.parity, values.byteOrder});
        groups |= records::LinkFields;
    }

    // Everything read back where the meter answers now: its new address, else its old one.
    records::InstrumentState readBack;
    const std::vector<int> candidates = newAddress ? std::vector<int>{*newAddress, base} : std::vector<int>{base};
    bool read = false;
    for (int address : candidates) {
        line.settings().address = address;
        exceptionCode = 0;
        flags = records::ReadInstrumentState(line.master(), readBack, exceptionCode, PauseMs);
        if ((read = link::Succeeded(flags, exceptionCode))) {
            row.answersAt = address;
            row.newAddress = QString::number(address);
            break;
        }
    }
    line.settings().address = base;
    if (!read) {
        row.answersAt = 0;
        row.newAddress = newAddress ? QStringLiteral("не отвечает ни по адресу %1, ни по %2").arg(*newAddress).arg(base)
                                    : QStringLiteral("не отвечает");
        problems << QStringLiteral("не прочитан для проверки: ") + ExchangeFailureText(flags, exceptionCode);
    } else {
        const QStringList differing = records::DifferingFields(meant, readBack, groups);
        if (!differing.isEmpty()) problems << QStringLiteral("иные значения полей: ") + differing.join(QStringLiteral(", "));
    }
    row.done = problems.isEmpty() && (!newAddress || linkWritten);
    row.differences = problems.join(QStringLiteral("; "));
    return row;
}

} // namespace

int RunBatch(const Options& options) {
    const records::ConfigFile file = LoadConfigFileOrFail(options.file);
    Line line(ResolveLine(options.line));
    const Journal journal(line);
    journal.checkTakesLine();
    const Report report(options.report);
    std::set<int> given = report.check();
    line.open();
    const int base = line.settings().address;

    std::optional<int> next;
    const auto nextFree = [&](int from) -> std::optional<int> {
        for (int a = from; options.assignAddresses && a <= options.assignAddresses->second; ++a)
            if (!given.count(a) && a != base) return a;
        return std::nullopt;
    };
    if (options.assignAddresses) next = nextFree(options.assignAddresses->first);

    int meters = 0, failed = 0;
    std::optional<int> lastAt; // where the last meter answers
    while (!StopRequested()) {
        if (options.assignAddresses && !next) {
            PrintNote(QStringLiteral("Адреса диапазона %1-%2 закончились.\n")
                          .arg(options.assignAddresses->first)
                          .arg(options.assignAddresses->second));
            break;
        }
        if (lastAt) {
            PrintNote(QStringLiteral("Отключите прибор и подключите следующий.\n"));
            if (!WaitFor(line, *lastAt, false)) break;
        } else {
            PrintNote(QStringLiteral("Подключите прибор (адрес %1).\n").arg(base));
        }
        const std::optional<int> at = FindMeter(line, base);
        if (!at) break;
        line.settings().address = *at;
        const MeterRow row = ProgramMeter(line, journal, file, options, next);
        line.settings().address = base;
        report.append(row);
        PrintRow(row, options.json);
        ++meters;
        if (!row.done) ++failed;
        if (row.done && next) {
            given.insert(*next);
            next = nextFree(*next + 1);
        }
        // A meter that answers nowhere is waited out at the address it came with.
        lastAt = row.answersAt > 0 ? row.answersAt : row.oldAddress;
    }
    PrintNote(QStringLiteral("Приборов: %1, с ошибкой: %2.\n").arg(meters).arg(failed));
    return failed > 0 ? CheckFailed : Done;
}

} // namespace olv::cli
