#pragma once

#include "link/result_flags.h"

#include <cstdint>

namespace olv::link {

// The two Modbus transactions every device operation is built from. The RTU master implements them on
// the serial port; tests of the device operations may implement them over an in-memory register map.
class ModbusMaster {
public:
    virtual ~ModbusMaster() = default;

    // Function 3. Fills values[0..count-1] from the reply (zeros where bytes did not arrive).
    virtual ResultFlags readHoldingRegisters(int startRegister, int count, uint16_t* values,
                                             uint8_t& exceptionCode) = 0;
    // Function 16. values is not changed.
    virtual ResultFlags writeMultipleRegisters(int startRegister, int count, const uint16_t* values,
                                               uint8_t& exceptionCode) = 0;
};

} // namespace olv::link
