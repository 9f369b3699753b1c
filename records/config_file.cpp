#include "records/config_file.h"

#include "device/encodings.h"
#include "device/register_map.h"
#include "files/plain_file.h"
#include "settings/ini_file.h"

#include <QFileInfo>

#include <cerrno>
#include <cmath>
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

bool FloatIsNumber(const InstrumentState& state, int first) {
    return std::isfinite(device::WordsToFloat(state.image.words[first], state.image.words[first + 1]));
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

QString StateProblem(const InstrumentState& state) {
    const auto& w = state.image.words;
    const int damping = w[reg::DampingUnits] >> 8, units = w[reg::DampingUnits] & 0xFF;
    const int day = w[reg::Date] >> 8, month = (w[reg::Date] >> 4) & 0x0F;
    if (damping > device::MaxDampingCode)
        return QStringLiteral("код демпфирования %1 вне списка (0..8)").arg(damping);
    if (units > device::MaxUnitCode) return QStringLiteral("код единиц %1 вне списка (0..10)").arg(units);
    if (w[reg::SensorUnits] > device::MaxUnitCode)
        return QStringLiteral("код единиц датчика %1 вне списка (1..10)").arg(w[reg::SensorUnits]);
    if ((w[reg::AddressBaud] & 0xFF) > 5)
        return QStringLiteral("код скорости обмена %1 больше 5").arg(w[reg::AddressBaud] & 0xFF);
    if (w[reg::ByteOrder] > 3) return QStringLiteral("код порядка байт %1 больше 3").arg(w[reg::ByteOrder]);
    if (state.parity > 2) return QStringLiteral("код паритета %1 больше 2").arg(state.parity);
    if (day > device::DayCount || month > device::MonthCount)
        return QStringLiteral("дата выпуска с днем %1 и месяцем %2").arg(day).arg(month);
    for (const auto& [first, name] :
         {std::pair{reg::RangeMax, "максимум диапазона"}, std::pair{reg::RangeMin, "минимум диапазона"},
          std::pair{reg::TrimOffset, "смещение подстройки"},
          std::pair{reg::TrimMultiplier, "диапазон подстройки"}})
        if (!FloatIsNumber(state, first)) return QStringLiteral("%1 не число").arg(QString::fromUtf8(name));
    return {};
}

std::optional<ConfigFile> LoadConfigFile(const QString& path, QString& reason) {
    if (const std::optional<QString> problem = FileProblem(path)) {
        reason = *problem;
        return std::nullopt;
    }
    const settings::IniFile ini(path);
    if (!ini.readable()) {
        reason = QStringLiteral("файл не читается");
        return std::nullopt;
    }
    if (ini.readString(FormatSection, FormatKey, QString()) != FormatVersion) {
        reason = QStringLiteral("это не файл конфигурации прибора (нет раздела [%1] с %2=%3)")
                     .arg(FormatSection, FormatKey, FormatVersion);
        return std::nullopt;
    }

    ConfigFile file;
    file.path = path;
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
            reason = QStringLiteral("регистр %1 = \"%2\" не число от 0 до 65535").arg(r).arg(text.left(40));
            return std::nullopt;
        }
        WordOf(file.state, r) = static_cast<uint16_t>(*value);
    }
    const QString problem = StateProblem(file.state);
    if (!problem.isEmpty()) {
        reason = problem;
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
