#pragma once

#include "device/pending_device_link.h"
#include "device/register_image.h"
#include "link/modbus_master.h"

#include <cstdint>

namespace olv::device {

// Register 11: the byte order code 0..3; anything else is written as 0.
uint16_t ByteOrderWord(int byteOrder);
// Register 8: the low byte of the address in the high byte, the baud code of the rate in the low byte
// (a rate that is not one of the six is written as 19200's code 4).
uint16_t AddressBaudWord(int address, int baudRate);
// Register 1034: 0 none, 1 odd, anything else even (2).
uint16_t ParityWord(int parity);

// What the window does after each accepted write: switch its own link to the new setting (so that the
// next write reaches the instrument), move the progress bar, repaint the boxes, pause and reopen the
// port. Each is called only after its write succeeded.
struct DeviceLinkSteps {
    virtual ~DeviceLinkSteps() = default;
    virtual void byteOrderWritten() = 0;
    virtual void addressBaudWritten() = 0;
    virtual void parityWritten() = 0;
};

// The page write with its value rules and read-back is WriteLinkSettings (page_writes.h).
// Writes the instrument's communication settings, one single-register write each, in this order: byte
// order (register 11), address and baud rate (register 8), parity (register 1034). Stops at the first
// failure and returns its flags and code; the steps before it stay done. The words are built from
// `pending` as it is when called, whatever the window does to its own copy between the steps.
// Each word the instrument accepted is also kept in the image (words 11 and 8), so that a later configuration write
// sends the byte order now in force rather than the one last read.
link::ResultFlags WriteDeviceLinkSettings(link::ModbusMaster& master, PendingDeviceLink pending,
                                          RegisterImage& image, DeviceLinkSteps& steps, uint8_t& exceptionCode);

} // namespace olv::device
