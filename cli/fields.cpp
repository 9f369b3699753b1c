#include "cli/fields.h"

#include "cli/options.h"
#include "cli/output.h"
#include "device/encodings.h"
#include "device/register_map.h"
#include "records/config_file.h"

#include <utility>

namespace olv::cli {

namespace reg = device::reg;

namespace {

constexpr std::pair<const char*, const char*> Keys[] = {
    {"Модель", "model"},
    {"Код модели", "model_code"},
    {"Максимум диапазона", "range_max"},
    {"Минимум диапазона", "range_min"},
    {"Заводской номер", "serial_number"},
    {"Демпфирование", "damping"},
    {"Дата выпуска", "manufactured"},
    {"Единицы", "units"},
    {"Единицы датчика", "sensor_units"},
    {"Подстройка: смещение", "trim_offset"},
    {"Подстройка: диапазон", "trim_multiplier"},
    {"Сетевой номер", "address"},
    {"Скорость обмена", "baud_rate"},
    {"Паритет", "parity"},
    {"Порядок байт в измеренном значении", "byte_order"},
    {"Текст, хранящийся в приборе", "text"},
    {"Модель модуля", "module_model"},
    {"Версия модуля", "module_hardware"},
    {"Версия ПО модуля", "module_software"},
};

float FloatAt(const records::InstrumentState& state, int first) {
    return device::WordsToFloat(state.image.words[static_cast<size_t>(first)],
                                state.image.words[static_cast<size_t>(first) + 1]);
}

std::optional<QString> NameIn(const QStringList& names, int code) {
    if (code < 0 || code >= names.size()) return std::nullopt;
    return names[code];
}

} // namespace

QString FieldKey(const QString& name) {
    for (const auto& [russian, key] : Keys)
        if (name == QString::fromUtf8(russian)) return QString::fromLatin1(key);
    return name;
}

QByteArray StateJson(const records::InstrumentState& state) {
    const auto& w = state.image.words;
    const int unitsCode = w[reg::DampingUnits] & 0xFF;
    const int dampingCode = w[reg::DampingUnits] >> 8;
    const int sensorUnitsCode = w[reg::SensorUnits];
    const int baudCode = w[reg::AddressBaud] & 0xFF;
    const uint16_t date = w[reg::Date];
    const QString made = QString::asprintf("%04d-%02d-%02d", device::FirstYear + (date & 0x0F), (date >> 4) & 0x0F,
                                           date >> 8);
    JsonObject json;
    json.add("model", int{w[reg::Model]})
        .add("model_code", int{w[reg::ModelCode]})
        .add("serial_number", static_cast<int64_t>(static_cast<int32_t>(
                                  device::JoinWords(w[reg::SerialHigh], w[reg::SerialLow]))))
        .add("range_min", FloatAt(state, reg::RangeMin))
        .add("range_max", FloatAt(state, reg::RangeMax))
        .add("units", NameIn(device::UnitNames(), unitsCode))
        .add("units_code", unitsCode)
        .add("sensor_units", sensorUnitsCode >= 1 ? NameIn(device::UnitNames(), sensorUnitsCode) : std::nullopt)
        .add("sensor_units_code", sensorUnitsCode)
        .add("damping", NameIn(device::DampingNames(), dampingCode))
        .add("damping_code", dampingCode)
        .add("manufactured", made)
        .add("trim_offset", FloatAt(state, reg::TrimOffset))
        .add("trim_multiplier", FloatAt(state, reg::TrimMultiplier))
        .add("text", device::TextFromWords(w.data() + reg::Text))
        .add("module_model", int{state.image.moduleModel})
        .add("module_hardware", int{state.image.moduleHardware})
        .add("module_software", int{state.image.moduleSoftware})
        .add("address", w[reg::AddressBaud] >> 8);
    if (baudCode < static_cast<int>(device::BaudRates.size()))
        json.add("baud_rate", device::BaudRates[static_cast<size_t>(baudCode)]);
    else
        json.addNull("baud_rate");
    if (state.parity <= 2)
        json.add("parity", ParityLetter(state.parity));
    else
        json.addNull("parity");
    json.add("byte_order", int{w[reg::ByteOrder]});
    return json.text();
}

QByteArray RegistersJson(const records::InstrumentState& state) {
    JsonObject json;
    for (int r : records::ConfigFileRegisters()) {
        const QByteArray key = QByteArray::number(r);
        const uint16_t word = r < reg::ImageSize ? state.image.words[static_cast<size_t>(r)]
                              : r == reg::ModuleModel    ? state.image.moduleModel
                              : r == reg::ModuleHardware ? state.image.moduleHardware
                              : r == reg::ModuleSoftware ? state.image.moduleSoftware
                                                         : state.parity;
        json.add(key.constData(), int{word});
    }
    return json.text();
}

QStringList StateLines(const records::InstrumentState& state) {
    QStringList lines{QStringLiteral("Диапазон: %1").arg(records::RangeText(state))};
    for (const records::FieldValue& field : records::FieldsOf(state))
        lines << QStringLiteral("%1: %2").arg(field.name, field.text);
    return lines;
}

} // namespace olv::cli
