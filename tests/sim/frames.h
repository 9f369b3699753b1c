#pragma once

#include "link/crc16.h"

#include <cstdint>
#include <vector>

namespace olv::test {

// Request frames as a master sends them, with their CRC.
inline std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
    const uint16_t crc = link::Crc16(frame.data(), static_cast<int>(frame.size()) - 1);
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

inline std::vector<uint8_t> ReadRequest(int address, int start, int count) {
    return WithCrc({static_cast<uint8_t>(address), 3, static_cast<uint8_t>(start >> 8),
                    static_cast<uint8_t>(start), static_cast<uint8_t>(count >> 8),
                    static_cast<uint8_t>(count)});
}

inline std::vector<uint8_t> WriteRequest(int address, int start, const std::vector<uint16_t>& values) {
    std::vector<uint8_t> f{static_cast<uint8_t>(address),
                           16,
                           static_cast<uint8_t>(start >> 8),
                           static_cast<uint8_t>(start),
                           0,
                           static_cast<uint8_t>(values.size()),
                           static_cast<uint8_t>(2 * values.size())};
    for (uint16_t v : values) {
        f.push_back(static_cast<uint8_t>(v >> 8));
        f.push_back(static_cast<uint8_t>(v));
    }
    return WithCrc(f);
}

inline bool CrcMatches(const std::vector<uint8_t>& frame) {
    if (frame.size() < 3) return false;
    const uint16_t crc = link::Crc16(frame.data(), static_cast<int>(frame.size()) - 3);
    return frame[frame.size() - 2] == static_cast<uint8_t>(crc) && frame[frame.size() - 1] == (crc >> 8);
}

// Register i of a read reply.
inline uint16_t ReplyWord(const std::vector<uint8_t>& reply, int i) {
    return static_cast<uint16_t>(reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
}

} // namespace olv::test
