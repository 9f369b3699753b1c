#include "monitor/meaning.h"

#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "link/exchange_status.h"

#include <QStringList>

namespace olv::monitor {

namespace {

using device::reg::ByteOrder;
using device::reg::DampingUnits;

QString Hex(uint16_t word) {
    return QStringLiteral("0x") + QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper();
}

QString Number(float v) {
    return device::FormatValue(v).trimmed();
}

QString Code(int code) {
    return QStringLiteral("код %1").arg(code);
}

QString ListName(const QStringList& names, int index) {
    return index >= 0 && index < names.size() ? names[index] : Code(index);
}

// One field of the register map: its first register, its width and how its words read.
struct Field {
    int start;
    int width;
    const char* name;
    QString (*text)(const uint16_t* w, const DecodeContext& context);
};

QString Unsigned(const uint16_t* w, const DecodeContext&) {
    return QString::number(w[0]);
}

QString Serial(const uint16_t* w, const DecodeContext&) {
    return QString::number(static_cast<int32_t>(device::JoinWords(w[0], w[1])));
}

QString Date(const uint16_t* w, const DecodeContext&) {
    const device::DateIndexes d = device::DateFromRegister(w[0]);
    const auto part = [](int index) { return index < 0 ? QStringLiteral("?") : QString::number(index + 1); };
    return part(d.day) + u'.' + part(d.month) + u'.' + QString::number(device::FirstYear + d.year);
}

QString AddressBaud(const uint16_t* w, const DecodeContext&) {
    const int code = w[0] & 0xFF;
    const QString rate = code < static_cast<int>(device::BaudRates.size())
                             ? QString::number(device::BaudRateOfIndex(code)) + QStringLiteral(" бит/с")
                             : Code(code);
    return QStringLiteral("адрес %1, скорость %2").arg(w[0] >> 8).arg(rate);
}

QString DampingAndUnits(const uint16_t* w, const DecodeContext&) {
    return QStringLiteral("демпфирование %1, единицы %2")
        .arg(device::DampingNames()[device::DampingIndexFromRegister(w[0])],
             device::UnitNames()[device::UnitsIndexFromRegister(w[0])]);
}

QString Order(const uint16_t* w, const DecodeContext&) {
    return ListName(device::ByteOrderNames(), w[0]);
}

QString Status(const uint16_t* w, const DecodeContext&) {
    if (w[0] == 0) return device::NormalStatusText();
    const QString named = device::StatusText(w[0]);
    return Hex(w[0]) + (named.isEmpty() ? QString() : u' ' + named);
}

QString LiveValue(const uint16_t* w, const DecodeContext& context) {
    bool implausible = false;
    const float v = device::DecodeFloat(w[0], w[1], context.byteOrder, implausible);
    if (implausible)
        return QStringLiteral("не число (%1 %2, порядок %3)")
            .arg(Hex(w[0]), Hex(w[1]), ListName(device::ByteOrderNames(), context.byteOrder));
    const QString units = context.units >= 0 ? u' ' + device::UnitName(context.units) : QString();
    return Number(v) + units;
}

QString Float(const uint16_t* w, const DecodeContext&) {
    return Number(device::WordsToFloat(w[0], w[1]));
}

QString Text(const uint16_t* w, const DecodeContext&) {
    return u'«' + device::TextFromWords(w) + u'»';
}

QString SensorUnits(const uint16_t* w, const DecodeContext&) {
    const int index = device::SensorUnitsIndexFromRegister(w[0]);
    return index < 0 ? QStringLiteral("нет") : device::UnitNames()[index + 1];
}

QString Parity(const uint16_t* w, const DecodeContext&) {
    static const QStringList names{QStringLiteral("нет"), QStringLiteral("нечетный"),
                                   QStringLiteral("четный")};
    return ListName(names, w[0]);
}

namespace reg = device::reg;

// The named registers of the map; the kept ones and those not accessed read as raw words.
constexpr Field Fields[] = {
    {reg::Model, 1, "модель", Unsigned},
    {reg::ModelCode, 1, "код модели", Unsigned},
    {reg::SerialHigh, 2, "заводской номер", Serial},
    {reg::Date, 1, "дата выпуска", Date},
    {reg::AddressBaud, 1, "связь", AddressBaud},
    {reg::DampingUnits, 1, "настройка", DampingAndUnits},
    {reg::ByteOrder, 1, "порядок байт", Order},
    {reg::Status, 1, "статус", Status},
    {reg::LiveValue, 2, "значение", LiveValue},
    {reg::RangeMax, 2, "максимум диапазона", Float},
    {reg::RangeMin, 2, "минимум диапазона", Float},
    {reg::Text, device::TextWords, "текст", Text},
    {reg::SensorUnits, 1, "единицы датчика", SensorUnits},
    {reg::TrimOffset, 2, "смещение", Float},
    {reg::TrimMultiplier, 2, "множитель", Float},
    {reg::ModuleModel, 1, "модель прибора", Unsigned},
    {reg::ModuleHardware, 1, "версия модуля", Unsigned},
    {reg::ModuleSoftware, 1, "версия ПО", Unsigned},
    {reg::Parity, 1, "паритет", Parity},
};

const Field* FieldAt(int r) {
    for (const Field& field : Fields)
        if (field.start == r) return &field;
    return nullptr;
}

QString Registers(int start, int count) {
    if (start < 0) return QStringLiteral("?");
    return count <= 1 ? QString::number(start) : QStringLiteral("%1..%2").arg(start).arg(start + count - 1);
}

QString FunctionName(uint8_t function) {
    switch (function) {
    case 1:
        return QStringLiteral("1 чтение флагов");
    case 2:
        return QStringLiteral("2 чтение входов");
    case 3:
        return QStringLiteral("3 чтение регистров");
    case 4:
        return QStringLiteral("4 чтение входных регистров");
    case 5:
        return QStringLiteral("5 запись флага");
    case 6:
        return QStringLiteral("6 запись регистра");
    case 15:
        return QStringLiteral("15 запись флагов");
    case 16:
        return QStringLiteral("16 запись регистров");
    default:
        if (function & 0x80) return QStringLiteral("%1 исключение").arg(function);
        return QString::number(function);
    }
}

// Up to 127 words of the frame from byte `at` on, high byte first.
int Words(const uint8_t* bytes, size_t size, size_t at, int wanted, uint16_t* words) {
    int n = 0;
    for (; n < wanted && at + 2 * static_cast<size_t>(n) + 1 < size; ++n)
        words[n] = static_cast<uint16_t>(bytes[at + 2 * n] << 8 | bytes[at + 2 * n + 1]);
    return n;
}

QString RawWords(const uint16_t* words, int count) {
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << Hex(words[i]);
    return out.join(u' ');
}

QString RawBytes(const uint8_t* bytes, size_t size) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size)).toHex(' ').toUpper());
}

} // namespace

void Learn(int start, const uint16_t* words, int count, DecodeContext& context) {
    for (int i = 0; i < count; ++i) {
        if (start + i == ByteOrder && words[i] <= 3) context.byteOrder = words[i];
        if (start + i == DampingUnits) context.units = device::UnitsIndexFromRegister(words[i]);
    }
}

QString DescribeRegisters(int start, const uint16_t* words, int count, const DecodeContext& context) {
    QStringList parts;
    int rawFrom = -1;
    const auto endRaw = [&](int at) {
        if (rawFrom < 0) return;
        parts << QStringLiteral("рег. %1: %2")
                     .arg(Registers(start + rawFrom, at - rawFrom), RawWords(words + rawFrom, at - rawFrom));
        rawFrom = -1;
    };
    for (int i = 0; i < count;) {
        const Field* field = FieldAt(start + i);
        if (field && i + field->width <= count) {
            endRaw(i);
            parts << QString::fromUtf8(field->name) + QStringLiteral(": ") + field->text(words + i, context);
            i += field->width;
        } else {
            if (rawFrom < 0) rawFrom = i;
            ++i;
        }
    }
    endRaw(count);
    return parts.join(QStringLiteral("; "));
}

bool ChangesLine(int start, int count) {
    for (int r : {reg::AddressBaud, reg::Kept10, reg::ByteOrder, reg::Parity})
        if (start <= r && r < start + count) return true;
    return false;
}

Meaning DescribeFrame(const uint8_t* adu, size_t size, Direction direction, Span span,
                      const DecodeContext& context) {
    Meaning m;
    if (size < 2) return m;
    const uint8_t function = adu[1];
    m.function = FunctionName(function);
    uint16_t words[128];
    const bool request = direction == Direction::Request;

    if (function & 0x80) {
        const uint8_t code = size > 2 ? adu[2] : 0;
        const QString text = link::ExchangeStateText(link::ExceptionReply, code).text.trimmed();
        m.text = QStringLiteral("исключение %1").arg(code) +
                 (text.isEmpty() ? QString() : QStringLiteral(": ") + text);
        m.registers = span.start >= 0 ? Registers(span.start, span.count) : QString();
        return m;
    }
    switch (function) {
    case 3:
    case 4:
        if (request) {
            m.registers = Registers(span.start, span.count);
        } else {
            const int n = Words(adu, size, 3, size > 2 ? adu[2] / 2 : 0, words);
            m.registers = Registers(span.start, span.start >= 0 ? span.count : n);
            m.text = span.start >= 0 && n == span.count ? DescribeRegisters(span.start, words, n, context)
                                                        : RawWords(words, n);
        }
        return m;
    case 6: {
        m.write = true;
        const int start = Words(adu, size, 2, 1, words) == 1 ? words[0] : -1;
        const int n = Words(adu, size, 4, 1, words);
        m.registers = Registers(start, 1);
        m.lineChange = ChangesLine(start, 1);
        if (n == 1 && start >= 0) m.text = DescribeRegisters(start, words, 1, context);
        return m;
    }
    case 16:
        m.write = true;
        if (request) {
            const int n = Words(adu, size, 7, span.count, words);
            m.registers = Registers(span.start, span.count);
            m.text = n == span.count ? DescribeRegisters(span.start, words, n, context) : RawWords(words, n);
        } else {
            span = RequestSpan(adu, size); // the reply echoes start and count where the request has them
            m.registers = Registers(span.start, span.count);
            m.text = QStringLiteral("запись принята");
        }
        m.lineChange = ChangesLine(span.start, span.count);
        return m;
    default:
        m.registers = span.start >= 0 ? Registers(span.start, span.count) : QString();
        m.text = size > 2 ? QStringLiteral("данные: ") + RawBytes(adu + 2, size - 2) : QString();
        m.write = function == 5 || function == 15;
        return m;
    }
}

QString DescribeBroken(size_t size, bool lineError) {
    if (lineError) return QStringLiteral("ошибка линии (паритет, кадр или переполнение)");
    if (size < 4) return QStringLiteral("обрывок кадра");
    return QStringLiteral("ошибка CRC");
}

} // namespace olv::monitor
