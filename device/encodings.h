#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace olv::device {

// ---- Floats and 32-bit values ----------------------------------------------------------------------

// A live reading beyond +-100000 (both bounds plausible), or not a number, is taken for garbage.
// Infinities fail through the range test.
bool IsImplausibleReading(float v);

// The live value from registers 16 (firstWord) and 17 (secondWord) as received, with the byte order
// code of the instrument:
//   0 "0 1 2 3"  R0 R1 R2 R3      1 "2 3 0 1"  R2 R3 R0 R1
//   2 "1 0 3 2"  R1 R0 R3 R2      3 "3 2 1 0"  R3 R2 R1 R0
// where R0 is the high byte of firstWord and R3 the low byte of secondWord, the float's most
// significant byte first. An implausible value gives 0.0 with implausible set. A code outside 0..3
// says nothing about where the bytes are, so it gives 0.0 with implausible set as well: the window
// then shows that the number cannot be read instead of a number decoded in a guessed order.
float DecodeFloat(uint16_t firstWord, uint16_t secondWord, int order, bool& implausible);

// 32-bit values of the configuration: the first register holds bits 31..16, the second bits 15..0.
uint32_t JoinWords(uint16_t high, uint16_t low);
void SplitWords(uint32_t v, uint16_t& high, uint16_t& low);
float WordsToFloat(uint16_t high, uint16_t low);
void FloatToWords(float v, uint16_t& high, uint16_t& low);

// ---- Date of manufacture (register 5) ----------------------------------------------------------------

// Item indexes of the day ("1".."31"), month ("1".."12") and year ("2000".."2015") lists; -1 is no
// selection.
struct DateIndexes {
    int day = -1;
    int month = -1;
    int year = -1;
};

inline constexpr int DayCount = 31;
inline constexpr int MonthCount = 12;
inline constexpr int YearCount = 16;
inline constexpr int FirstYear = 2000;

// Day index = day - 1 and month index = month - 1, -1 when the field is 0 or beyond the list; the year
// index is the low 4 bits, always selectable.
DateIndexes DateFromRegister(uint16_t word);
// An empty day or month gives 0 in its field, an empty year gives 15.
uint16_t DateToRegister(const DateIndexes& date);

// ---- Damping and units (registers 9 and 58) -----------------------------------------------------------

inline constexpr int MaxDampingCode = 8;
inline constexpr int MaxUnitCode = 10;

// Register 9: damping code in the high byte (shown as at most 8), transmitted units in the low byte
// (shown as at most 10).
int DampingIndexFromRegister(uint16_t word);
int UnitsIndexFromRegister(uint16_t word);
// Each index goes in as an unsigned byte, so an empty selection (-1) gives 0xFF.
uint16_t DampingUnitsToRegister(int dampingIndex, int unitsIndex);

// Register 58: the sensor's unit code 1..10 (limited to 10) at list index code - 1; code 0 is no
// selection (-1). An empty selection is written as 0.
int SensorUnitsIndexFromRegister(uint16_t word);
uint16_t SensorUnitsToRegister(int index);

// Names of unit codes 0..10 (the sensor-units list holds codes 1..10 at index code - 1), of damping codes
// 0..8, and of byte order codes 0..3.
const QStringList& UnitNames();
const QStringList& DampingNames();
const QStringList& ByteOrderNames();
// The name of a unit code, empty outside 0..10.
QString UnitName(int code);

// ---- Text (registers 48..55) -----------------------------------------------------------------------

inline constexpr int TextWords = 8;
inline constexpr int TextBytes = 16;

// 16 Windows-1251 bytes, high byte of each word first, up to the first zero byte.
QString TextFromWords(const uint16_t* words8);
// The first 16 characters as Windows-1251 bytes, padded with blanks; a character that has no
// Windows-1251 byte becomes '?'.
void TextToWords(const QString& text, uint16_t* words8);

// ---- Status word (register 15) -------------------------------------------------------------------

struct StatusBitText {
    uint16_t bit;
    const char* text; // UTF-8
};

// The named status bits, in the order their texts are joined.
inline constexpr std::array<StatusBitText, 9> StatusBitTexts{{
    {0x0020, "Перезапись информации о сенсоре в EEPROM."},
    {0x0040, "Давление ниже НПИ."},
    {0x0080, "Давление выше ВПИ."},
    {0x0400, "Обрыв , отказ сенсора."},
    {0x0800, "Ошибка EEPROM сенсора."},
    {0x1000, "Ошибка связи с АЦП."},
    {0x2000, "Ошибка связи с сенсором по I2C."},
    {0x4000, "Сброс микроконтроллера по WDT."},
    {0x8000, "Ошибка EEPROM микроконтроллера."},
}};

// What a status of 0 is called.
QString NormalStatusText();

// The texts of the set bits joined with nothing between them; bits without a name add nothing.
QString StatusText(uint16_t status);

// ---- Baud codes (register 8 low byte) ------------------------------------------------------------

// 1200 -> 0 ... 38400 -> 5; any other rate -> 4 (19200).
int BaudCode(int baudRate);
// The rate of a list index 0..5; 19200 for anything else.
int BaudRateOfIndex(int index);

} // namespace olv::device
