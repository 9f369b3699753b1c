#include "device/value_rules.h"

#include "device/encodings.h"
#include "device/number_text.h"
#include "device/pending_device_link.h"

#include <algorithm>
#include <cmath>

namespace olv::device {

namespace {

float FloatAt(const std::array<uint16_t, reg::ImageSize>& w, int first) {
    return WordsToFloat(w[static_cast<size_t>(first)], w[static_cast<size_t>(first) + 1]);
}

QString Shown(float v) {
    return FormatValue(v).trimmed();
}

// Two values as the page shows them, with every digit when four decimals would show them equal.
std::pair<QString, QString> ShownApart(float a, float b) {
    QString ta = Shown(a), tb = Shown(b);
    if (ta == tb && a != b) {
        ta = QString::fromLatin1(FormatC("%.9g", double(a)));
        tb = QString::fromLatin1(FormatC("%.9g", double(b)));
    }
    return {ta, tb};
}

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysIn(int month, int year) {
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[static_cast<size_t>(month - 1)];
}

} // namespace

std::vector<FieldBits> BitsOf(CheckedField field) {
    switch (field) {
    case CheckedField::Date:
        return {{reg::Date, 0xFFFF}};
    case CheckedField::RangeMax:
        return {{reg::RangeMax, 0xFFFF}, {reg::RangeMax + 1, 0xFFFF}};
    case CheckedField::RangeMin:
        return {{reg::RangeMin, 0xFFFF}, {reg::RangeMin + 1, 0xFFFF}};
    case CheckedField::TrimOffset:
        return {{reg::TrimOffset, 0xFFFF}, {reg::TrimOffset + 1, 0xFFFF}};
    case CheckedField::TrimMultiplier:
        return {{reg::TrimMultiplier, 0xFFFF}, {reg::TrimMultiplier + 1, 0xFFFF}};
    case CheckedField::Damping:
        return {{reg::DampingUnits, 0xFF00}};
    case CheckedField::Units:
        return {{reg::DampingUnits, 0x00FF}};
    case CheckedField::SensorUnits:
        return {{reg::SensorUnits, 0xFFFF}};
    case CheckedField::ByteOrder:
        return {{reg::ByteOrder, 0xFFFF}};
    case CheckedField::Address:
        return {{reg::AddressBaud, 0xFF00}};
    case CheckedField::BaudRate:
        return {{reg::AddressBaud, 0x00FF}};
    case CheckedField::Parity:
        return {{reg::Parity, 0xFFFF}};
    }
    return {};
}

std::vector<Refusal> ConfigurationRefusals(const std::array<uint16_t, reg::ImageSize>& w) {
    std::vector<Refusal> refusals;
    const auto refuse = [&](std::vector<CheckedField> fields, const QString& reason) {
        refusals.push_back({std::move(fields), reason});
    };

    const int day = w[reg::Date] >> 8, month = (w[reg::Date] >> 4) & 0x0F,
              year = FirstYear + (w[reg::Date] & 0x0F);
    const bool noDate = day == 0 && month == 0;
    if (!noDate && (month < 1 || month > MonthCount || day < 1 || day > DaysIn(month, year)))
        refuse({CheckedField::Date},
               QStringLiteral("дата выпуска с днем %1 и месяцем %2 %3 года не существует")
                   .arg(day)
                   .arg(month)
                   .arg(year));

    const int damping = w[reg::DampingUnits] >> 8, units = w[reg::DampingUnits] & 0xFF;
    if (damping > MaxDampingCode)
        refuse({CheckedField::Damping},
               QStringLiteral("код демпфирования %1 вне списка (0..8)").arg(damping));
    if (units > MaxUnitCode)
        refuse({CheckedField::Units}, QStringLiteral("код единиц %1 вне списка (0..10)").arg(units));
    if (w[reg::SensorUnits] > MaxUnitCode)
        refuse({CheckedField::SensorUnits},
               QStringLiteral("код единиц датчика %1 вне списка (1..10)").arg(w[reg::SensorUnits]));
    if (w[reg::ByteOrder] > 3)
        refuse({CheckedField::ByteOrder},
               QStringLiteral("код порядка байт %1 больше 3").arg(w[reg::ByteOrder]));

    struct FloatField {
        CheckedField field;
        int first;
        const char* name;
    };
    static constexpr std::array<FloatField, 4> floats{{
        {CheckedField::RangeMax, reg::RangeMax, "максимум диапазона"},
        {CheckedField::RangeMin, reg::RangeMin, "минимум диапазона"},
        {CheckedField::TrimOffset, reg::TrimOffset, "смещение подстройки"},
        {CheckedField::TrimMultiplier, reg::TrimMultiplier, "диапазон подстройки"},
    }};
    bool finite[4]{};
    for (size_t i = 0; i < floats.size(); ++i) {
        const float v = FloatAt(w, floats[i].first);
        finite[i] = std::isfinite(v);
        if (!finite[i])
            refuse({floats[i].field},
                   QStringLiteral("%1 не число (%2)").arg(QString::fromUtf8(floats[i].name), Shown(v)));
    }
    const float maximum = FloatAt(w, reg::RangeMax), minimum = FloatAt(w, reg::RangeMin);
    if (finite[0] && finite[1] && !(minimum < maximum)) {
        const auto [min, max] = ShownApart(minimum, maximum);
        refuse({CheckedField::RangeMin, CheckedField::RangeMax},
               QStringLiteral("минимум диапазона %1 не меньше максимума %2").arg(min, max));
    }
    if (finite[3] && FloatAt(w, reg::TrimMultiplier) == 0.0f)
        refuse({CheckedField::TrimMultiplier},
               QStringLiteral("диапазон подстройки равен 0: прибор показывал бы 0 при любом давлении"));
    return refusals;
}

std::vector<Refusal> LinkRefusals(const LinkValues& link) {
    std::vector<Refusal> refusals;
    if (link.address < 1 || link.address > 255)
        refusals.push_back(
            {{CheckedField::Address},
             link.address == 0
                 ? QStringLiteral(
                       "сетевой номер 0 предназначен для широковещательных запросов: прибор с этим "
                       "номером не будет отвечать")
                 : QStringLiteral("сетевой номер %1 вне списка (1..255)").arg(link.address)});
    if (link.baudCode < 0)
        refusals.push_back({{CheckedField::BaudRate}, QStringLiteral("скорость обмена не из списка")});
    else if (link.baudCode >= static_cast<int>(BaudRates.size()))
        refusals.push_back(
            {{CheckedField::BaudRate}, QStringLiteral("код скорости обмена %1 больше 5").arg(link.baudCode)});
    if (link.parity < 0 || link.parity > 2)
        refusals.push_back(
            {{CheckedField::Parity}, QStringLiteral("код паритета %1 больше 2").arg(link.parity)});
    if (link.byteOrder < 0 || link.byteOrder > 3)
        refusals.push_back(
            {{CheckedField::ByteOrder}, QStringLiteral("код порядка байт %1 больше 3").arg(link.byteOrder)});
    return refusals;
}

LinkValues LinkValuesOf(const PendingDeviceLink& pending) {
    const auto rate = std::find(BaudRates.begin(), BaudRates.end(), pending.pendingBaudRate);
    return {pending.pendingAddress, rate == BaudRates.end() ? -1 : static_cast<int>(rate - BaudRates.begin()),
            pending.pendingParity, pending.pendingByteOrder};
}

QString RefusalSentence(const Refusal& refusal) {
    QString text = refusal.reason;
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text + u'.';
}

} // namespace olv::device
