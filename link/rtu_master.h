#pragma once

#include "link/modbus_master.h"

namespace olv::link {

class SerialPort;
struct LinkSettings;

// Modbus RTU master on the serial port. Address, baud rate (for the read time-outs), time-out, parity
// check and trace switch are taken from the link settings at the moment of each call.
class RtuMaster : public ModbusMaster {
public:
    RtuMaster(SerialPort& port, const LinkSettings& settings) : port_(port), settings_(settings) {}

    ResultFlags readHoldingRegisters(int startRegister, int count, uint16_t* values,
                                     uint8_t& exceptionCode) override;
    ResultFlags writeMultipleRegisters(int startRegister, int count, const uint16_t* values,
                                       uint8_t& exceptionCode) override;

private:
    SerialPort& port_;
    const LinkSettings& settings_;
};

} // namespace olv::link
