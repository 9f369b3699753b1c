#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace olv::search {

// The search options, kept in the settings profile.
struct SearchSettings {
    std::array<int, 6> baudEnabled{};   // 1200, 2400, 4800, 9600, 19200, 38400: only 1 means on
    std::array<int, 3> parityEnabled{}; // none, odd, even: only 1 means on
    int firstAddress = 0;
    int lastAddress = 0;
};

struct FoundDevice {
    int baudRate = 0; // 0 marks the end of the list
    int address = 0;
    int parity = 0;
    // Read from the instrument once it answered (registers 0, 2 and 3); empty when that read failed.
    std::optional<uint16_t> model;
    std::optional<int32_t> serial;
};

inline constexpr int MaxFoundDevices = 33;
using FoundDevices = std::array<FoundDevice, MaxFoundDevices>;

} // namespace olv::search
