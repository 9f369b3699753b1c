#include "device/encodings.h"

#include "device/register_map.h"
#include "text/cp1251.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace olv::device {

namespace {
constexpr float ReadingLimit = 100000.0f;

uint8_t HighByte(uint16_t w) { return static_cast<uint8_t>(w >> 8); }
uint8_t LowByte(uint16_t w) { return static_cast<uint8_t>(w & 0xFF); }

uint32_t Bytes(uint8_t b3, uint8_t b2, uint8_t b1, uint8_t b0) {
    return (uint32_t{b3} << 24) | (uint32_t{b2} << 16) | (uint32_t{b1} << 8) | uint32_t{b0};
}
} // namespace

bool IsImplausibleReading(float v) {
    return std::isnan(v) || v > ReadingLimit || v < -ReadingLimit;
}

float DecodeFloat(uint16_t firstWord, uint16_t secondWord, int order, bool& implausible) {
    const uint8_t r0 = HighByte(firstWord), r1 = LowByte(firstWord);
    const uint8_t r2 = HighByte(secondWord), r3 = LowByte(secondWord);
    uint32_t bits = 0;
    switch (order) {
    case 0: bits = Bytes(r0, r1, r2, r3); break;
    case 1: bits = Bytes(r2, r3, r0, r1); break;
    case 2: bits = Bytes(r1, r0, r3, r2); break;
    case 3: bits = Bytes(r3, r2, r1, r0); break;
    default:
        implausible = true;
        return 0.0f;
    }
    const float v = std::bit_cast<float>(bits);
    implausible = IsImplausibleReading(v);
    return implausible ? 0.0f : v;
}

uint32_t JoinWords(uint16_t high, uint16_t low) { return (uint32_t{high} << 16) | low; }

void SplitWords(uint32_t v, uint16_t& high, uint16_t& low) {
    high = static_cast<uint16_t>(v >> 16);
    low = static_cast<uint16_t>(v & 0xFFFF);
}

float WordsToFloat(uint16_t high, uint16_t low) { return std::bit_cast<float>(JoinWords(high, low)); }

void FloatToWords(float v, uint16_t& high, uint16_t& low) { SplitWords(std::bit_cast<uint32_t>(v), high, low); }

DateIndexes DateFromRegister(uint16_t word) {
    const int day = HighByte(word);
    const int month = LowByte(word) >> 4;
    DateIndexes date;
    date.day = (day >= 1 && day <= DayCount) ? day - 1 : -1;
    date.month = (month >= 1 && month <= MonthCount) ? month - 1 : -1;
    date.year = LowByte(word) & 0x0F;
    return date;
}

uint16_t DateToRegister(const DateIndexes& date) {
    const int day = date.day < 0 ? 0 : date.day + 1;
    const int month = date.month < 0 ? 0 : date.month + 1;
    const int year = date.year < 0 ? 15 : date.year;
    return static_cast<uint16_t>(((day & 0xFF) << 8) | ((month & 0x0F) << 4) | (year & 0x0F));
}

int DampingIndexFromRegister(uint16_t word) { return std::min<int>(HighByte(word), MaxDampingCode); }

int UnitsIndexFromRegister(uint16_t word) { return std::min<int>(LowByte(word), MaxUnitCode); }

uint16_t DampingUnitsToRegister(int dampingIndex, int unitsIndex) {
    return static_cast<uint16_t>(((dampingIndex & 0xFF) << 8) | (unitsIndex & 0xFF));
}

int SensorUnitsIndexFromRegister(uint16_t word) {
    const int code = std::min<int>(LowByte(word), MaxUnitCode);
    return code == 0 ? -1 : code - 1;
}

uint16_t SensorUnitsToRegister(int index) { return index < 0 ? 0 : static_cast<uint16_t>((index + 1) & 0xFF); }

const QStringList& UnitNames() {
    static const QStringList names{"%",      "МПа", "кПа", "Па",           "кг/см2",          "кг/м2",
                                   "бар",    "атм", "мм вод столба", "мм ртутн столба", "psi"};
    return names;
}

const QStringList& DampingNames() {
    static const QStringList names{"нет", "2", "4", "9", "16", "25", "36", "49", "64"};
    return names;
}

const QStringList& ByteOrderNames() {
    static const QStringList names{"0 1 2 3", "2 3 0 1", "1 0 3 2", "3 2 1 0"};
    return names;
}

QString UnitName(int code) { return (code >= 0 && code < UnitNames().size()) ? UnitNames()[code] : QString(); }

QString TextFromWords(const uint16_t* words8) {
    QByteArray bytes;
    for (int i = 0; i < TextWords; ++i) {
        for (uint8_t b : {HighByte(words8[i]), LowByte(words8[i])}) {
            if (b == 0) return olv::text::FromCp1251(bytes);
            bytes.append(static_cast<char>(b));
        }
    }
    return olv::text::FromCp1251(bytes);
}

void TextToWords(const QString& text, uint16_t* words8) {
    // Windows-1251 has one byte per character, and ToCp1251 gives '?' for each character it lacks, so
    // the first 16 bytes are the first 16 characters.
    QByteArray bytes = olv::text::ToCp1251(text).left(TextBytes);
    bytes.append(QByteArray(TextBytes - bytes.size(), ' '));
    for (int i = 0; i < TextWords; ++i) {
        words8[i] = static_cast<uint16_t>((uint8_t(bytes[2 * i]) << 8) | uint8_t(bytes[2 * i + 1]));
    }
}

QString NormalStatusText() { return QStringLiteral("Нормальное измерение"); }

QString StatusText(uint16_t status) {
    QString text;
    for (const StatusBitText& entry : StatusBitTexts) {
        if (status & entry.bit) text += QString::fromUtf8(entry.text);
    }
    return text;
}

int BaudCode(int baudRate) {
    const auto it = std::find(BaudRates.begin(), BaudRates.end(), baudRate);
    return it == BaudRates.end() ? 4 : static_cast<int>(it - BaudRates.begin());
}

int BaudRateOfIndex(int index) {
    return (index >= 0 && index < static_cast<int>(BaudRates.size())) ? BaudRates[index] : 19200;
}

} // namespace olv::device
