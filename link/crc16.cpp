#include "link/crc16.h"

namespace olv::link {

uint16_t Crc16(const uint8_t* bytes, int lastIndex) {
    uint16_t crc = 0xFFFF;
    for (int i = 0; i <= lastIndex; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

} // namespace olv::link
