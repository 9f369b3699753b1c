// config write and link: the window's write paths, with the journal of the data folder.
#include "cli/commands.h"
#include "cli/configuration.h"
#include "cli/exit_codes.h"
#include "cli/line.h"
#include "cli/output.h"
#include "cli/stop_signals.h"
#include "cli/writes.h"

#include "device/encodings.h"
#include "device/register_map.h"
#include "records/page_write_record.h"

#include <QFileInfo>

namespace olv::cli {

namespace reg = device::reg;

namespace {

const WriteTexts ConfigurationTexts{
    QStringLiteral("Конфигурация записана и проверена."),
    QStringLiteral("Конфигурация записана, но для проверки из прибора не прочитана."),
    QStringLiteral("Конфигурация записана, но прибор возвращает иные значения полей: %1."),
    {}};

void StopIfAsked() {
    if (StopRequested()) throw Failure(CheckFailed, QStringLiteral("Остановлено до записи: в прибор ничего не записано."));
}

} // namespace

int RunConfigWrite(const Options& options) {
    const records::ConfigFile file = LoadConfigFileOrFail(options.file);
    Line line(ResolveLine(options.line));
    const Journal journal(line);
    journal.checkTakesLine();
    line.open();
    const records::InstrumentState before = ReadBeforeWrite(line);
    if (const QString mismatch = records::ModelMismatch(options.file, file.state, before); !mismatch.isEmpty())
        throw Failure(FileFault, mismatch);

    if (!options.yes) {
        // What the instrument will hold: the file's words but those it keeps, and the file's link values.
        records::InstrumentState meant = before;
        meant.image.words = file.state.image.words;
        device::TakeOwnedBits(meant.image, before.image, records::InstrumentKeepsOnFileWrite(options.withIdentity));
        if (options.withLink) {
            meant.image.words[reg::AddressBaud] = file.state.image.words[reg::AddressBaud];
            meant.image.words[reg::ByteOrder] = file.state.image.words[reg::ByteOrder];
            meant.parity = file.state.parity;
        }
        QStringList rows = records::ConfirmationRows(
            &before, meant, records::ConfigFileWriteGroups(options.withIdentity, options.withLink));
        if (options.withLink)
            rows << QStringLiteral("После записи прибор будет отвечать %1.")
                        .arg(records::LinkAnswersAt(records::LinkValuesOfState(file.state)));
        if (!Confirm(QStringLiteral("Конфигурация из файла будет записана в прибор с заводским номером %1?")
                         .arg(records::SerialText(before)),
                     rows))
            throw Failure(CheckFailed, QStringLiteral("Запись не подтверждена: в прибор ничего не записано."));
    }
    StopIfAsked();

    LineFollower follow(line, records::LinkValuesOfState(file.state));
    const device::PageWriteResult result =
        records::WriteConfigFileInto(line.master(), file, before, options.withIdentity, options.withLink, follow,
                                     CommandLineHooks(QStringLiteral("Запись параметров"), true));
    bool journalFailed = false;
    if (result.stop != device::WriteStop::Refused)
        journalFailed = !journal.append(
            line, before, QStringLiteral("Запись конфигурации из файла %1").arg(QFileInfo(options.file).fileName()),
            result);
    return ReportWrite(line, before, result, ConfigurationTexts, options.json, FileFault, journalFailed);
}

int RunLink(const Options& options) {
    Line line(ResolveLine(options.line));
    const Journal journal(line);
    journal.checkTakesLine();
    line.open();
    const records::InstrumentState before = ReadBeforeWrite(line);
    const device::LinkValues now = records::LinkValuesOfState(before);
    device::LinkValues proposed = now;
    if (options.newAddress) proposed.address = *options.newAddress;
    if (options.newBaudRate) proposed.baudCode = device::BaudCode(*options.newBaudRate);
    if (options.newParity) proposed.parity = *options.newParity;
    if (options.newByteOrder) proposed.byteOrder = *options.newByteOrder;
    // Whatever the instrument held before, what it is given must be a link it takes.
    if (const std::vector<device::Refusal> refusals = device::LinkRefusals(proposed); !refusals.empty())
        throw Failure(BadCommandLine, device::RefusalSentence(refusals.front()));

    if (!options.yes &&
        !Confirm(QStringLiteral("Вы хотите сменить параметры связи?"), records::LinkConfirmationRows(now, proposed)))
        throw Failure(CheckFailed, QStringLiteral("Запись не подтверждена: в прибор ничего не записано."));
    StopIfAsked();

    LineFollower follow(line, proposed);
    // The three writes are short and each one changes the link: they are not cut between.
    const device::PageWriteResult result =
        device::WriteLinkSettings(line.master(), proposed, follow, CommandLineHooks(QStringLiteral("Запись параметров связи"), false));
    const bool journalFailed = !journal.append(line, before, QStringLiteral("Запись параметров связи"), result);
    const WriteTexts texts{
        QStringLiteral("Параметры связи записаны"),
        QStringLiteral("Параметры связи записаны, но прибор не ответил по новым параметрам связи."),
        QStringLiteral("Параметры связи записаны, но прибор возвращает иные значения полей: %1."),
        QStringLiteral("Прибор не ответил %1.").arg(records::LinkAnswersAt(proposed))};
    if (!follow.failure.isEmpty()) PrintError(follow.failure);
    return ReportWrite(line, before, result, texts, options.json, BadCommandLine, journalFailed);
}

} // namespace olv::cli
