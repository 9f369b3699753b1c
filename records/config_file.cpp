#include "records/config_file.h"

#include "device/encodings.h"
#include "device/register_map.h"
#include "device/value_rules.h"
#include "files/plain_file.h"
#include "settings/ini_file.h"

#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace olv::records {

namespace {

namespace reg = device::reg;

const QString FormatSection = QStringLiteral("OLV_CONFIG");
const QString FormatKey = QStringLiteral("format");
const QString FormatVersion = QStringLiteral("1");
const QString IdentitySection = QStringLiteral("IDENTITY");
const QString RegisterSection = QStringLiteral("REGISTERS");
const QString WordsSection = QStringLiteral("WORDS");
const QString DateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString RegisterKey(int r) {
    return QStringLiteral("r%1").arg(r);
}

uint16_t& WordOf(InstrumentState& state, int r) {
    switch (r) {
    case reg::ModuleModel:
        return state.image.moduleModel;
    case reg::ModuleHardware:
        return state.image.moduleHardware;
    case reg::ModuleSoftware:
        return state.image.moduleSoftware;
    case reg::Parity:
        return state.parity;
    default:
        return state.image.words[static_cast<size_t>(r)];
    }
}

uint16_t WordOf(const InstrumentState& state, int r) {
    return WordOf(const_cast<InstrumentState&>(state), r);
}

// Why the name cannot be opened as a configuration file, or nothing.
std::optional<QString> FileProblem(const QString& path) {
    const int fd = files::OpenPlainFile(path, O_RDONLY);
    if (fd < 0) {
        if (errno == ENOENT) return QStringLiteral("файла нет");
        return files::FileErrorText(errno);
    }
    struct stat st {};
    const bool tooLarge = ::fstat(fd, &st) == 0 && st.st_size > MaxConfigFileSize;
    ::close(fd);
    if (tooLarge) return QStringLiteral("файл больше 1 МБ");
    return std::nullopt;
}

} // namespace

const std::vector<int>& ConfigFileRegisters() {
    static const std::vector<int> registers = [] {
        std::vector<int> list;
        for (const device::Block& block : device::ConfigReadBlocks)
            for (int r = block.start; r < block.start + block.count; ++r)
                list.push_back(r);
        for (int r : {reg::ModuleModel, reg::ModuleHardware, reg::ModuleSoftware, reg::Parity})
            list.push_back(r);
        return list;
    }();
    return registers;
}

device::WordMasks InstrumentKeepsOnFileWrite(bool withIdentity) {
    device::WordMasks keeps{};
    for (int r : {reg::Kept4, reg::AddressBaud, reg::Kept10, reg::ByteOrder})
        keeps[r] = 0xFFFF;
    for (int r = reg::KeptA; r < reg::Text; ++r)
        keeps[r] = 0xFFFF;
    if (!withIdentity)
        for (int r : {reg::Model, reg::SerialHigh, reg::SerialLow, reg::Date})
            keeps[r] = 0xFFFF;
    return keeps;
}

void SaveConfigFile(const QString& path, const ConfigFile& file) {
    const InstrumentState& state = file.state;
    std::vector<settings::IniEntry> entries;
    const auto add = [&](const QString& section, const char* key, const QString& value) {
        entries.push_back({section, QString::fromLatin1(key), value});
    };
    add(FormatSection, "format", FormatVersion);
    add(FormatSection, "program", file.program);

    std::map<QString, QString> words;
    for (const FieldValue& field : FieldsOf(state))
        words[field.name] = field.text;
    add(IdentitySection, "model", words[QStringLiteral("Модель")]);
    add(IdentitySection, "model_code", words[QStringLiteral("Код модели")]);
    add(IdentitySection, "serial", words[QStringLiteral("Заводской номер")]);
    add(IdentitySection, "made", words[QStringLiteral("Дата выпуска")]);
    add(IdentitySection, "module_model", words[QStringLiteral("Модель модуля")]);
    add(IdentitySection, "hw_version", words[QStringLiteral("Версия модуля")]);
    add(IdentitySection, "sw_version", words[QStringLiteral("Версия ПО модуля")]);
    add(IdentitySection, "port", file.port);
    add(IdentitySection, "device", file.devicePath);
    add(IdentitySection, "address", QString::number(file.address));
    add(IdentitySection, "read_at", file.readAt.toString(DateTimeFormat));

    for (int r : ConfigFileRegisters())
        entries.push_back({RegisterSection, RegisterKey(r), QString::number(WordOf(state, r))});

    add(WordsSection, "range", RangeText(state));
    for (const auto& [key, name] : std::initializer_list<std::pair<const char*, const char*>>{
             {"damping", "Демпфирование"},
             {"units", "Единицы"},
             {"sensor_units", "Единицы датчика"},
             {"trim_offset", "Подстройка: смещение"},
             {"trim_multiplier", "Подстройка: диапазон"},
             {"text", "Текст, хранящийся в приборе"},
             {"address", "Сетевой номер"},
             {"baud", "Скорость обмена"},
             {"parity", "Паритет"},
             {"byte_order", "Порядок байт в измеренном значении"}})
        add(WordsSection, key, words[QString::fromUtf8(name)]);

    settings::IniFile(path).writeStrings(entries);
}

bool MayHoldConfiguration(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return true;
    if (!info.isFile()) return false;
    return info.size() == 0 ||
           settings::IniFile(path).readString(FormatSection, FormatKey, QString()) == FormatVersion;
}

std::vector<device::Refusal> StateRefusals(const InstrumentState& state) {
    const auto& w = state.image.words;
    std::vector<device::Refusal> refusals = device::ConfigurationRefusals(w);
    // The byte order is judged with the configuration already.
    for (device::Refusal& refusal :
         device::LinkRefusals({w[reg::AddressBaud] >> 8, w[reg::AddressBaud] & 0xFF, state.parity, 0}))
        refusals.push_back(std::move(refusal));
    return refusals;
}

QString StateProblem(const InstrumentState& state) {
    const std::vector<device::Refusal> refusals = StateRefusals(state);
    return refusals.empty() ? QString() : refusals.front().reason;
}

std::optional<ConfigFile> LoadConfigFile(const QString& path, QString& reason) {
    if (const std::optional<QString> problem = FileProblem(path)) {
        reason = *problem;
        return std::nullopt;
    }
    // One reading of the file: every word and every line number come from the same contents.
    std::optional<ConfigFile> file = ReadConfigFile(settings::IniFile(path).snapshot(), reason);
    if (file) file->path = path;
    return file;
}

std::optional<ConfigFile> ReadConfigFile(const settings::IniSnapshot& ini, QString& reason) {
    if (!ini.readable()) {
        reason = QStringLiteral("файл не читается");
        return std::nullopt;
    }
    if (ini.readString(FormatSection, FormatKey, QString()) != FormatVersion) {
        reason = QStringLiteral("это не файл конфигурации прибора (нет раздела [%1] с %2=%3)")
                     .arg(FormatSection, FormatKey, FormatVersion);
        return std::nullopt;
    }
    const auto lineOf = [&ini](int r) {
        return QStringLiteral("строка %1").arg(ini.lineOf(RegisterSection, RegisterKey(r)).value_or(0));
    };

    ConfigFile file;
    // A key that is missing reads as this text, which no number can be.
    const QString missing = QStringLiteral("\n");
    for (int r : ConfigFileRegisters()) {
        const QString text = ini.readString(RegisterSection, RegisterKey(r), missing);
        if (text == missing) {
            reason = QStringLiteral("в файле нет регистра %1: файл неполон").arg(r);
            return std::nullopt;
        }
        const std::optional<int32_t> value = settings::ParseIniInteger(text);
        if (!value || *value < 0 || *value > 0xFFFF) {
            reason = QStringLiteral("%1: регистр %2 = \"%3\" не число от 0 до 65535")
                         .arg(lineOf(r))
                         .arg(r)
                         .arg(text.left(40));
            return std::nullopt;
        }
        WordOf(file.state, r) = static_cast<uint16_t>(*value);
    }
    // The whole file is refused for one bad field: naming it, and the line its first register is on.
    const std::vector<device::Refusal> refusals = StateRefusals(file.state);
    if (!refusals.empty()) {
        const int r = device::BitsOf(refusals.front().fields.front()).front().reg;
        reason = QStringLiteral("%1, r%2: %3").arg(lineOf(r)).arg(r).arg(refusals.front().reason);
        return std::nullopt;
    }
    file.port = ini.readString(IdentitySection, QStringLiteral("port"), QString());
    file.devicePath = ini.readString(IdentitySection, QStringLiteral("device"), QString());
    file.address = ini.readInteger(IdentitySection, QStringLiteral("address"), 0);
    file.readAt = QDateTime::fromString(ini.readString(IdentitySection, QStringLiteral("read_at"), QString()),
                                        DateTimeFormat);
    file.program = ini.readString(FormatSection, QStringLiteral("program"), QString());
    return file;
}

} // namespace olv::records
