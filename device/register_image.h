#pragma once

#include "device/register_map.h"

#include <array>
#include <cstdint>

namespace olv::device {

// The program's copy of the instrument's registers 0..62 and of the three module words.
struct RegisterImage {
    std::array<uint16_t, reg::ImageSize> words{};
    uint16_t moduleModel = 0;    // register 1024
    uint16_t moduleHardware = 0; // register 1027
    uint16_t moduleSoftware = 0; // register 1028
};

} // namespace olv::device
