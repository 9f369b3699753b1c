#pragma once

#include <array>

namespace olv::device {

// The instrument's holding registers (numbers as sent on the wire; the first register is 0).
namespace reg {
inline constexpr int Model = 0;
inline constexpr int ModelCode = 1;
inline constexpr int SerialHigh = 2; // serial number bits 31..16
inline constexpr int SerialLow = 3;
inline constexpr int Kept4 = 4;
inline constexpr int Date = 5;             // day in the high byte; month << 4 | (year - 2000) in the low
inline constexpr int AddressBaud = 8;      // address in the high byte, baud code in the low
inline constexpr int DampingUnits = 9;     // damping code in the high byte, transmitted units in the low
inline constexpr int Kept10 = 10;
inline constexpr int ByteOrder = 11;       // byte order code of the live value
inline constexpr int Status = 15;          // status word
inline constexpr int LiveValue = 16;       // 16, 17: the measured value as a float
inline constexpr int RangeMax = 18;        // 18, 19: float, high half first
inline constexpr int RangeMin = 20;        // 20, 21
inline constexpr int KeptA = 36;           // 36..43
inline constexpr int KeptB = 44;           // 44..47
inline constexpr int Text = 48;            // 48..55: 16 characters, the earlier one in the high byte
inline constexpr int SensorUnits = 58;     // low byte: unit code 1..10
inline constexpr int TrimOffset = 59;      // 59, 60
inline constexpr int TrimMultiplier = 61;  // 61, 62
inline constexpr int ImageSize = 63;       // registers 0..62 are mirrored in the register image
inline constexpr int ModuleModel = 1024;
inline constexpr int ModuleHardware = 1027;
inline constexpr int ModuleSoftware = 1028;
inline constexpr int Parity = 1034;        // parity code of the instrument's line
} // namespace reg

// A run of registers moved by one transaction.
struct Block {
    int start;
    int count;
};

// The live value: status word and the two value registers.
inline constexpr Block LiveBlock{reg::Status, 3};

// The configuration as it is read, in this order, back to back.
inline constexpr std::array<Block, 7> ConfigReadBlocks{{
    {0, 6}, {8, 4}, {18, 4}, {36, 8}, {44, 4}, {48, 8}, {58, 5},
}};

// The configuration as it is written, in this order; register 8 is never written with it.
inline constexpr std::array<Block, 7> ConfigWriteBlocks{{
    {0, 6}, {9, 3}, {18, 4}, {36, 8}, {44, 4}, {48, 8}, {58, 5},
}};

inline constexpr Block TextBlock{reg::Text, 8};
inline constexpr Block VersionModelBlock{reg::ModuleModel, 1};
inline constexpr Block VersionPairBlock{reg::ModuleHardware, 2};
inline constexpr Block ByteOrderBlock{reg::ByteOrder, 1};
inline constexpr Block AddressBaudBlock{reg::AddressBaud, 1};
inline constexpr Block ParityBlock{reg::Parity, 1};

// Baud codes of register 8 stand for these rates, by index.
inline constexpr std::array<int, 6> BaudRates{1200, 2400, 4800, 9600, 19200, 38400};

} // namespace olv::device
