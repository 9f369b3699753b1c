// calibrate: the as-found check, the trim through registers 59..62 and the as-left check, on the
// calibration core the window's dialog runs, driven here by a poll loop and the steady clock.
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/line.h"
#include "cli/output.h"
#include "cli/stop_signals.h"
#include "cli/writes.h"

#include "records/page_write_record.h"

#include "calibration/certificate.h"
#include "calibration/certificate_files.h"
#include "calibration/reference.h"
#include "calibration/run.h"
#include "calibration/trim.h"
#include "device/encodings.h"
#include "device/live_value.h"
#include "device/register_map.h"
#include "files/plain_file.h"
#include "print/document_pdf.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

namespace olv::cli {

namespace reg = device::reg;
using namespace calibration;

namespace {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString Number(double value) {
    return QString::number(value, 'g', 9);
}

// One reading of the value at an address: none when nothing usable came back, NaN for a reply without a
// number. The failure of the last read is kept, for the message when the line stays silent.
struct Poller {
    Line& line;
    int byteOrder = 0;
    link::ResultFlags lastFlags = 0;
    uint8_t lastException = 0;

    std::optional<float> read(int address) {
        line.settings().address = address;
        device::LiveReading reading;
        uint8_t exceptionCode = 0;
        const link::ResultFlags flags = device::ReadLiveValue(line.master(), byteOrder, reading, exceptionCode);
        if (!link::Succeeded(flags, exceptionCode)) {
            lastFlags = flags;
            lastException = exceptionCode;
            return std::nullopt;
        }
        return reading.liveImplausible ? std::nanf("") : reading.liveValue;
    }
};

// The pressure of a step is applied: by the bench's command, or by the engineer at the terminal.
void ApplyPressure(const Options& options, const Step& step, const Range& range) {
    if (!options.applyCommand.isEmpty()) {
        QString command = options.applyCommand;
        command.replace(QStringLiteral("%p"), Number(step.nominal));
        const int code = QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
        if (code != 0)
            throw Failure(CheckFailed, QStringLiteral("Команда подачи давления «%1» завершилась с кодом %2: "
                                                      "калибровка остановлена.")
                                           .arg(command)
                                           .arg(code));
        return;
    }
    std::fprintf(stderr, "%s", QStringLiteral("Подайте давление %1 %2 (%3 ход) и нажмите Enter: ")
                                   .arg(Number(step.nominal), range.units, DirectionName(step.direction))
                                   .toUtf8()
                                   .constData());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer) || StopRequested())
        throw Failure(CheckFailed, QStringLiteral("Калибровка остановлена: давление не подтверждено."));
}

void PrintPoint(const PointResult& result, const Range& range, const QString& table, bool json) {
    if (json) {
        JsonObject line;
        line.add("table", table).add("point", result.step.point + 1).add("nominal", result.step.nominal);
        line.add("direction", DirectionName(result.step.direction)).add("cycle", result.step.cycle + 1);
        if (result.skipped) {
            line.add("skipped", true);
        } else {
            line.add("reference", result.reference).add("reading", result.reading).add("error", result.error);
            line.add("error_percent", result.errorPercent).add("units", range.units).add("pass", result.pass);
        }
        PrintLine(line.text());
        return;
    }
    if (result.skipped) {
        PrintLine(QStringLiteral("%1\t%2 %3\tпропущена").arg(table, Number(result.step.nominal), range.units));
        return;
    }
    PrintLine(QStringLiteral("%1\t%2 %3\tэталон %4\tпоказание %5\tпогрешность %6 (%7 %)\t%8")
                  .arg(table, Number(result.step.nominal), range.units, QString::number(result.reference, 'f', 4),
                       QString::number(result.reading, 'f', 4), QString::number(result.error, 'f', 4),
                       QString::number(result.errorPercent, 'f', 3), VerdictText(result.pass)));
}

// One table: every step applied, settled, measured and accepted (a step that does not settle is
// skipped with the reason said).
std::vector<PointResult> Check(const Options& options, Poller& poller, int meterAddress, const Procedure& procedure,
                               const Range& range, const QString& table) {
    CalibrationRun run(procedure, range, SteadyMs);
    if (run.state() == RunState::Finished && run.steps().empty())
        throw Failure(BadCommandLine, run.message());
    const auto interval = std::chrono::milliseconds(options.intervalMs);
    int64_t silentSinceMs = -1;
    size_t printed = 0;
    while (run.state() != RunState::Finished) {
        if (StopRequested()) throw Failure(CheckFailed, QStringLiteral("Калибровка остановлена."));
        QString reason;
        switch (run.state()) {
        case RunState::AwaitingPressure:
            ApplyPressure(options, *run.currentStep(), range);
            run.pressureApplied();
            break;
        case RunState::Settled:
            if (!run.accept(reason)) throw Failure(CheckFailed, reason);
            break;
        case RunState::TimedOut:
            PrintError(run.message());
            run.skip(reason);
            break;
        default: {
            const auto next = std::chrono::steady_clock::now() + interval;
            Poll poll;
            poll.meter = poller.read(meterAddress);
            if (options.referenceAddress) poll.reference = poller.read(*options.referenceAddress);
            poller.line.settings().address = meterAddress;
            const bool silent = !poll.meter || (options.referenceAddress && !poll.reference);
            // A meter that stays silent past the settling time-out ends the run with the line's failure.
            if (!silent) {
                silentSinceMs = -1;
            } else if (silentSinceMs < 0) {
                silentSinceMs = SteadyMs();
            } else if (SteadyMs() - silentSinceMs > int64_t{procedure.settling.timeoutSeconds} * 1000) {
                poller.line.check(poller.lastFlags, poller.lastException, QStringLiteral("показания"));
            }
            run.feed(poll);
            if (run.state() == RunState::Settling || run.state() == RunState::Averaging ||
                run.state() == RunState::Paused)
                SleepUntil(next);
        }
        }
        for (; printed < run.results().size(); ++printed) PrintPoint(run.results()[printed], range, table, options.json);
    }
    return run.results();
}

QString SummaryLine(const QString& table, const std::vector<PointResult>& results) {
    const Summary summary = Summarize(results);
    QString line = QStringLiteral("%1: %2").arg(table, VerdictText(summary.pass));
    if (summary.largestErrorPercent)
        line += QStringLiteral(", наибольшая погрешность %1 %").arg(QString::number(*summary.largestErrorPercent, 'f', 3));
    if (!summary.complete()) line += QStringLiteral(", пропущено точек: %1").arg(summary.skipped);
    return line;
}

// Writes registers 59..62 through the block write with its read-back, and the journal's line.
TrimRecord WriteTrim(Line& line, const Journal& journal, const TrimProposal& proposal,
                     const records::InstrumentState& checked, bool json) {
    const records::InstrumentState before = ReadBeforeWrite(line);
    if (records::SerialText(before) != records::SerialText(checked))
        throw Failure(CheckFailed, QStringLiteral("На линии прибор с заводским номером %1, а калибруется прибор %2. "
                                                  "Подстройка не записана.")
                                       .arg(records::SerialText(before), records::SerialText(checked)));
    const auto words = TrimWords(proposal.proposed);
    const device::PageWriteResult result = device::WriteBlocks(
        line.master(), {{device::Block{reg::TrimOffset, 4}, {words.begin(), words.end()}}},
        CommandLineHooks(QStringLiteral("Запись подстройки"), false));
    const bool journalFailed =
        !journal.append(line, before, QStringLiteral("Калибровка: %1").arg(TrimKindName(proposal.kind)), result);
    const int code = ReportWrite(line, before, result,
                                 {QStringLiteral("Подстройка записана."),
                                  QStringLiteral("Подстройка записана, но для проверки из прибора не прочитана."),
                                  QStringLiteral("Подстройка записана, но прибор возвращает иные значения полей: %1."),
                                  {}},
                                 json, CheckFailed, journalFailed);
    if (code != Done) throw Failure(code, QStringLiteral("Подстройка не записана как следует: проверка после неё не проводится."));
    TrimRecord record;
    record.kind = proposal.kind;
    record.before = TrimFromWords(&before.image.words[reg::TrimOffset]);
    record.outcome = records::JournalOutcome(before, result);
    record.after = TrimReadBack(result);
    return record;
}

bool IsPdf(const QString& path) {
    return path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
}

// The PDF is laid out with QtGui's fonts, which want a QGuiApplication: one on the offscreen platform,
// so that no display is needed (whatever QT_QPA_PLATFORM says). It is made before anything is sent, so
// that a machine without the platform plugin stops there and not after a trim was written.
std::unique_ptr<QGuiApplication> PrintingApplication() {
    static int argc = 3;
    static char name[] = "modbus-olv-cli", platform[] = "-platform", offscreen[] = "offscreen";
    static char* argv[] = {name, platform, offscreen, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

void WriteFileOrFail(const QString& path, const QByteArray& bytes) {
    QString reason;
    if (!files::WriteWholeFile(path, bytes, reason))
        throw Failure(FileFault, QStringLiteral("Файл %1 не записан: %2").arg(QDir::toNativeSeparators(path), reason));
}

} // namespace

int RunCalibrate(const Options& options) {
    const std::unique_ptr<QGuiApplication> printing = IsPdf(options.certificate) ? PrintingApplication() : nullptr;
    Line line(ResolveLine(options.line));
    const Journal journal(line);
    journal.checkTakesLine();
    line.open();
    const int meterAddress = line.settings().address;
    if (options.referenceAddress)
        if (const QString why = CheckReferenceAddress(meterAddress, *options.referenceAddress); !why.isEmpty())
            throw Failure(BadCommandLine, why);

    const records::InstrumentState checked = ReadBeforeWrite(line);
    const auto& w = checked.image.words;
    const Range range{device::WordsToFloat(w[reg::RangeMin], w[reg::RangeMin + 1]),
                      device::WordsToFloat(w[reg::RangeMax], w[reg::RangeMax + 1]),
                      device::UnitName(w[reg::DampingUnits] & 0xFF)};
    if (!range.valid())
        throw Failure(CheckFailed, QStringLiteral("Диапазон прибора (%1 … %2) не годится для калибровки.")
                                       .arg(Number(range.minimum), Number(range.maximum)));
    Procedure procedure = DefaultProcedure(range);
    if (!options.points.empty()) procedure.points = options.points;
    if (options.tolerancePercent) procedure.tolerance = {*options.tolerancePercent, false};
    procedure.descending = options.descending;
    procedure.reference = options.referenceAddress ? ReferenceMode::Instrument : ReferenceMode::Applied;
    if (const QString why = CheckProcedure(procedure, range); !why.isEmpty()) throw Failure(BadCommandLine, why);

    Poller poller{line, line.resolved().byteOrderGiven ? line.settings().byteOrder : int{w[reg::ByteOrder]}};
    CertificateData data;
    data.caption = VersionText();
    data.when = QDateTime::currentDateTime();
    data.number = CertificateNumber(records::SerialText(checked), data.when);
    data.port = line.resolved().portName;
    data.devicePath = QString::fromStdString(line.resolved().path);
    data.address = meterAddress;
    data.image = checked.image;
    data.range = range;
    data.reference.mode = procedure.reference;
    data.reference.address = options.referenceAddress.value_or(0);
    data.reference.description = !options.referenceDescription.isEmpty() ? options.referenceDescription
                                 : options.referenceAddress
                                     ? QStringLiteral("Эталонный прибор, адрес %1").arg(*options.referenceAddress)
                                     : QStringLiteral("Заданное давление");
    data.reference.serial = options.referenceSerial;
    data.reference.certificate = options.referenceCertificate;
    data.reference.uncertainty = options.referenceUncertainty.value_or(0);
    data.person = options.person;
    data.ambientCelsius = options.ambientCelsius;
    data.procedure = procedure;

    data.asFound = Check(options, poller, meterAddress, procedure, range, QStringLiteral("до подстройки"));
    if (!options.json) PrintLine(SummaryLine(QStringLiteral("До подстройки"), data.asFound));

    if (options.trim != 0) {
        const Trim current = TrimFromWords(&w[reg::TrimOffset]);
        const TrimProposal proposal = ProposeTrim(options.trim == 1 ? TrimKind::Zero : TrimKind::TwoPoint, current,
                                                  data.asFound, range.span());
        if (!proposal.ok) {
            PrintError(QStringLiteral("Подстройка не предложена: %1").arg(proposal.refusal));
        } else {
            const QString change =
                QStringLiteral("смещение %1 → %2, множитель %3 → %4")
                    .arg(QString::number(current.offset, 'f', 4), QString::number(proposal.proposed.offset, 'f', 4),
                         QString::number(current.multiplier, 'f', 4),
                         QString::number(proposal.proposed.multiplier, 'f', 4));
            QStringList rows{change};
            if (proposal.needsConfirmation) rows << proposal.confirmation;
            if (options.yes && proposal.needsConfirmation) PrintNote(proposal.confirmation + u'\n');
            if (!options.yes && !Confirm(QStringLiteral("В прибор будет записана %1?").arg(TrimKindName(proposal.kind)), rows))
                throw Failure(CheckFailed, QStringLiteral("Подстройка не подтверждена: в прибор ничего не записано."));
            if (StopRequested())
                throw Failure(CheckFailed, QStringLiteral("Остановлено до записи: в прибор ничего не записано."));
            data.trim = WriteTrim(line, journal, proposal, checked, options.json);
            line.settings().address = meterAddress;
            try {
                data.asLeft =
                    Check(options, poller, meterAddress, procedure, range, QStringLiteral("после подстройки"));
            } catch (const Failure& failure) {
                // The instrument is no longer as it was found: the engineer must know what it holds.
                throw Failure(failure.code(),
                              failure.message() +
                                  QStringLiteral(" Подстройка уже записана в прибор (было: смещение %1, множитель %2).")
                                      .arg(QString::number(current.offset, 'f', 4),
                                           QString::number(current.multiplier, 'f', 4)));
            }
            if (!options.json) PrintLine(SummaryLine(QStringLiteral("После подстройки"), data.asLeft));
        }
    }
    data.uncertainty = CertificateUncertainty(data);

    if (!options.csv.isEmpty()) WriteFileOrFail(options.csv, CertificateCsv(data));
    if (!options.certificate.isEmpty()) {
        const QString html = CertificateHtml(data);
        WriteFileOrFail(options.certificate,
                        printing ? print::DocumentPdf(html, QImage(), QStringLiteral("Сертификат о калибровке"))
                                 : html.toUtf8());
    }
    if (journal.used()) {
        const QString note = options.certificate.isEmpty() ? QStringLiteral("сертификат не сохранён")
                                                           : QFileInfo(options.certificate).fileName();
        QString reason;
        if (!records::AppendJournal(journal.path(), CalibrationJournalEntry(data, note), reason))
            PrintError(QStringLiteral("Строка журнала не добавлена: %1").arg(reason));
    }
    const bool pass = FinalVerdict(data).value_or(false);
    if (options.json) {
        JsonObject line;
        line.add("result", VerdictText(pass)).add("pass", pass).add("outcome", CalibrationOutcomeText(data));
        line.add("certificate", data.number);
        PrintLine(line.text());
    } else {
        PrintLine(CalibrationOutcomeText(data));
    }
    return pass ? Done : CheckFailed;
}

} // namespace olv::cli
