#pragma once

#include <cstdint>

namespace olv::link {

// Modbus CRC-16 of bytes[0..lastIndex] (inclusive). It travels low byte first.
uint16_t Crc16(const uint8_t* bytes, int lastIndex);

} // namespace olv::link
