// config read and config compare: the window's configuration files, read and compared.
#include "cli/commands.h"
#include "cli/configuration.h"
#include "cli/exit_codes.h"
#include "cli/fields.h"
#include "cli/line.h"
#include "cli/output.h"

#include "records/config_file.h"
#include "records/instrument_state.h"
#include "settings/ini_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace olv::cli {

namespace {

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

records::InstrumentState ReadState(Line& line) {
    records::InstrumentState state;
    uint8_t exceptionCode = 0;
    const link::ResultFlags flags = records::ReadInstrumentState(line.master(), state, exceptionCode, PauseMs);
    line.check(flags, exceptionCode);
    return state;
}

} // namespace

unsigned ComparedGroups(const Options& options) {
    unsigned groups = records::SensorFields | records::TextFields;
    if (options.withIdentity) groups |= records::IdentityFields;
    if (options.withLink) groups |= records::LinkFields;
    return groups;
}

records::ConfigFile LoadConfigFileOrFail(const QString& path) {
    QString reason;
    std::optional<records::ConfigFile> file = records::LoadConfigFile(path, reason);
    if (!file) throw Failure(FileFault, QStringLiteral("Файл %1 не принят: %2.").arg(Native(path), reason));
    return *file;
}

int RunConfigRead(const Options& options) {
    // A name that must not be written over is refused before the line is touched.
    if (!options.output.isEmpty() && !records::MayHoldConfiguration(options.output))
        throw Failure(FileFault,
                      QStringLiteral("Файл %1 не является файлом конфигурации прибора и не будет перезаписан.")
                          .arg(Native(options.output)));
    Line line(ResolveLine(options.line));
    line.open();
    records::ConfigFile file;
    file.state = ReadState(line);
    if (options.output.isEmpty()) {
        if (options.json) {
            PrintLine(JsonObject()
                          .addRaw("fields", StateJson(file.state))
                          .addRaw("registers", RegistersJson(file.state))
                          .text());
        } else {
            for (const QString& text : StateLines(file.state))
                PrintLine(text);
        }
        return Done;
    }
    file.port = line.resolved().portName;
    file.devicePath = QFile::decodeName(QByteArray::fromStdString(line.resolved().path));
    file.address = line.settings().address;
    file.readAt = QDateTime::currentDateTime();
    file.program = VersionText();
    try {
        records::SaveConfigFile(options.output, file);
    } catch (const settings::IniWriteError& error) {
        throw Failure(FileFault, QStringLiteral("Конфигурация прибора не записана в файл %1: %2")
                                     .arg(Native(options.output), QString::fromUtf8(error.what())));
    }
    if (options.json)
        PrintLine(JsonObject()
                      .add("file", options.output)
                      .add("serial_number", static_cast<int64_t>(records::SerialText(file.state).toLongLong()))
                      .text());
    else
        PrintLine(QStringLiteral("Конфигурация прибора записана в файл %1.").arg(Native(options.output)));
    return Done;
}

int RunConfigCompare(const Options& options) {
    const records::ConfigFile file = LoadConfigFileOrFail(options.file);
    Line line(ResolveLine(options.line));
    line.open();
    const records::InstrumentState device = ReadState(line);
    const unsigned groups = ComparedGroups(options);

    QByteArray differences = "[";
    QStringList lines;
    for (const records::CompareRow& row : records::CompareRows(device, file.state)) {
        if (!row.differs || !(row.group & groups)) continue;
        if (differences.size() > 1) differences += ',';
        differences += JsonObject()
                           .add("field", FieldKey(row.name))
                           .add("name", row.name)
                           .add("device", row.device)
                           .add("file", row.file)
                           .text();
        lines << QStringLiteral("%1: прибор %2, файл %3").arg(row.name, row.device, row.file);
    }
    differences += ']';
    const bool matches = lines.isEmpty();
    if (options.json) {
        PrintLine(JsonObject()
                      .add("file", options.file)
                      .add("matches", matches)
                      .addRaw("differences", differences)
                      .text());
    } else if (matches) {
        PrintLine(QStringLiteral("Прибор совпадает с файлом %1.").arg(Native(options.file)));
    } else {
        for (const QString& text : lines)
            PrintLine(text);
    }
    return matches ? Done : CheckFailed;
}

} // namespace olv::cli
