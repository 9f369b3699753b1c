#include "records/instrument_state.h"

#include "device/device_link.h"
#include "device/device_text.h"
#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "device/sensor_configuration.h"

#include <cmath>

namespace olv::records {

namespace reg = device::reg;

link::ResultFlags ReadInstrumentState(link::ModbusMaster& master, InstrumentState& state,
                                      uint8_t& exceptionCode, const std::function<void(int ms)>& pause) {
    link::ResultFlags flags = device::ReadConfiguration(master, state.image, exceptionCode, {});
    if (!link::Succeeded(flags, exceptionCode)) return flags;
    flags = device::ReadVersions(master, state.image, exceptionCode, pause);
    if (!link::Succeeded(flags, exceptionCode)) return flags;
    uint16_t parity = 0;
    flags = master.readHoldingRegisters(device::ParityBlock.start, device::ParityBlock.count, &parity,
                                        exceptionCode);
    if (link::Succeeded(flags, exceptionCode)) state.parity = parity;
    return flags;
}

InstrumentState WithConfigurationWritten(const InstrumentState& before, const device::RegisterImage& image) {
    InstrumentState after = before;
    for (const device::Block& block : device::ConfigWriteBlocks)
        for (int r = block.start; r < block.start + block.count; ++r)
            after.image.words[static_cast<size_t>(r)] = image.words[static_cast<size_t>(r)];
    return after;
}

InstrumentState WithLinkWritten(const InstrumentState& before, const device::PendingDeviceLink& pending) {
    InstrumentState after = before;
    after.image.words[reg::ByteOrder] = device::ByteOrderWord(pending.pendingByteOrder);
    after.image.words[reg::AddressBaud] =
        device::AddressBaudWord(pending.pendingAddress, pending.pendingBaudRate);
    after.parity = device::ParityWord(pending.pendingParity);
    return after;
}

namespace {

QByteArray Raw(std::initializer_list<uint16_t> words) {
    QByteArray bytes;
    for (uint16_t w : words) {
        bytes.append(static_cast<char>(w >> 8));
        bytes.append(static_cast<char>(w & 0xFF));
    }
    return bytes;
}

QString CodeText(int code) {
    return QStringLiteral("код %1").arg(code);
}

// A name of a code table, or the code itself when the table has no such entry.
QString NameOf(const QStringList& names, int code) {
    return code >= 0 && code < names.size() ? names[code] : CodeText(code);
}

QString FloatText(uint16_t high, uint16_t low) {
    return device::FormatValue(device::WordsToFloat(high, low)).trimmed();
}

FieldValue FloatField(const char* name, FieldGroup group, const device::RegisterImage& image, int first) {
    const uint16_t high = image.words[first], low = image.words[first + 1];
    return {QString::fromUtf8(name), group, FloatText(high, low), Raw({high, low}), true};
}

FieldValue WordField(const char* name, FieldGroup group, uint16_t word) {
    return {QString::fromUtf8(name), group, QString::number(word), Raw({word})};
}

QString DateText(uint16_t word) {
    return QString::fromLatin1(
        device::FormatC("%02d.%02d.%04d", word >> 8, (word >> 4) & 0x0F, device::FirstYear + (word & 0x0F)));
}

QString SensorUnitsText(uint16_t word) {
    if (word >= 1 && word <= device::MaxUnitCode) return device::UnitName(word);
    return word == 0 ? QStringLiteral("не заданы") : CodeText(word);
}

} // namespace

QString ParityName(int code) {
    static const QStringList names{QStringLiteral("Нет"), QStringLiteral("Нечетный"),
                                   QStringLiteral("Четный")};
    return NameOf(names, code);
}

QString SerialText(const InstrumentState& state) {
    const auto& w = state.image.words;
    return QString::number(static_cast<int32_t>(device::JoinWords(w[reg::SerialHigh], w[reg::SerialLow])));
}

QString RangeText(const InstrumentState& state) {
    const auto& w = state.image.words;
    return QStringLiteral("%1 … %2 %3")
        .arg(FloatText(w[reg::RangeMin], w[reg::RangeMin + 1]),
             FloatText(w[reg::RangeMax], w[reg::RangeMax + 1]),
             NameOf(device::UnitNames(), w[reg::DampingUnits] & 0xFF));
}

std::vector<FieldValue> FieldsOf(const InstrumentState& state) {
    const device::RegisterImage& image = state.image;
    const auto& w = image.words;
    const uint16_t dampingUnits = w[reg::DampingUnits];
    const uint16_t addressBaud = w[reg::AddressBaud];
    const int baudCode = addressBaud & 0xFF;
    QStringList rates;
    for (int rate : device::BaudRates)
        rates << QString::number(rate);
    return {
        WordField("Модель", IdentityFields, w[reg::Model]),
        WordField("Код модели", SensorFields, w[reg::ModelCode]),
        FloatField("Максимум диапазона", SensorFields, image, reg::RangeMax),
        FloatField("Минимум диапазона", SensorFields, image, reg::RangeMin),
        {QStringLiteral("Заводской номер"), IdentityFields, SerialText(state),
         Raw({w[reg::SerialHigh], w[reg::SerialLow]})},
        {QStringLiteral("Демпфирование"), SensorFields, NameOf(device::DampingNames(), dampingUnits >> 8),
         Raw({static_cast<uint16_t>(dampingUnits >> 8)})},
        {QStringLiteral("Дата выпуска"), IdentityFields, DateText(w[reg::Date]), Raw({w[reg::Date]})},
        {QStringLiteral("Единицы"), SensorFields, NameOf(device::UnitNames(), dampingUnits & 0xFF),
         Raw({static_cast<uint16_t>(dampingUnits & 0xFF)})},
        {QStringLiteral("Единицы датчика"), SensorFields, SensorUnitsText(w[reg::SensorUnits]),
         Raw({w[reg::SensorUnits]})},
        FloatField("Подстройка: смещение", SensorFields, image, reg::TrimOffset),
        FloatField("Подстройка: диапазон", SensorFields, image, reg::TrimMultiplier),
        {QStringLiteral("Сетевой номер"), LinkFields, QString::number(addressBaud >> 8),
         Raw({static_cast<uint16_t>(addressBaud >> 8)})},
        {QStringLiteral("Скорость обмена"), LinkFields, NameOf(rates, baudCode),
         Raw({static_cast<uint16_t>(baudCode)})},
        {QStringLiteral("Паритет"), LinkFields, ParityName(state.parity), Raw({state.parity})},
        {QStringLiteral("Порядок байт в измеренном значении"), LinkFields,
         NameOf(device::ByteOrderNames(), w[reg::ByteOrder]), Raw({w[reg::ByteOrder]})},
        {QStringLiteral("Текст, хранящийся в приборе"), TextFields,
         QStringLiteral("«%1»").arg(device::TextFromWords(w.data() + reg::Text)),
         Raw({w[48], w[49], w[50], w[51], w[52], w[53], w[54], w[55]})},
        WordField("Модель модуля", VersionFields, image.moduleModel),
        WordField("Версия модуля", VersionFields, image.moduleHardware),
        WordField("Версия ПО модуля", VersionFields, image.moduleSoftware),
    };
}

std::vector<CompareRow> CompareRows(const InstrumentState& device, const InstrumentState& file) {
    const std::vector<FieldValue> a = FieldsOf(device), b = FieldsOf(file);
    std::vector<CompareRow> rows;
    for (size_t i = 0; i < a.size(); ++i) {
        CompareRow row{a[i].name, a[i].text, b[i].text, a[i].raw != b[i].raw, a[i].group, a[i].number};
        if (row.differs && row.device == row.file && a[i].raw.size() == 4) {
            // Two floats apart in digits the page does not show.
            const auto full = [](const QByteArray& raw) {
                const auto word = [&](int k) {
                    return static_cast<uint16_t>(static_cast<uint8_t>(raw[k]) << 8 |
                                                 static_cast<uint8_t>(raw[k + 1]));
                };
                return QString::fromLatin1(
                    device::FormatC("%.9g", double(device::WordsToFloat(word(0), word(2)))));
            };
            row.device = full(a[i].raw);
            row.file = full(b[i].raw);
        }
        rows.push_back(row);
    }
    return rows;
}

QStringList DifferingFields(const InstrumentState& a, const InstrumentState& b, unsigned groups) {
    QStringList names;
    for (const CompareRow& row : CompareRows(a, b))
        if (row.differs && (row.group & groups)) names << row.name;
    return names;
}

std::vector<FieldChange> ChangedFields(const InstrumentState& before, const InstrumentState& after,
                                       unsigned groups) {
    std::vector<FieldChange> changes;
    for (const CompareRow& row : CompareRows(before, after))
        if (row.differs && (row.group & groups)) changes.push_back({row.name, row.device, row.file, row.number});
    return changes;
}

} // namespace olv::records
