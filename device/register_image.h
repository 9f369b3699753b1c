#pragma once

#include "device/register_map.h"

#include <array>
#include <cstdint>
#include <optional>

namespace olv::device {

// One instrument on the line: the port it hangs on and its address.
struct InstrumentId {
    int portNumber = 0;
    int address = 0;
    bool operator==(const InstrumentId&) const = default;
};

// The program's copy of the instrument's registers 0..62 and of the three module words.
struct RegisterImage {
    std::array<uint16_t, reg::ImageSize> words{};
    uint16_t moduleModel = 0;    // register 1024
    uint16_t moduleHardware = 0; // register 1027
    uint16_t moduleSoftware = 0; // register 1028
    // The instrument registers 0..62 were read from; empty before any read, and after a read that
    // stopped halfway or took words of another instrument in, when the words no longer all come from
    // one instrument.
    std::optional<InstrumentId> source;
};

} // namespace olv::device
