#include "device/device_link.h"

#include "device/encodings.h"
#include "device/register_map.h"

namespace olv::device {

uint16_t ByteOrderWord(int byteOrder) {
    return (byteOrder >= 0 && byteOrder <= 3) ? static_cast<uint16_t>(byteOrder) : 0;
}

uint16_t AddressBaudWord(int address, int baudRate) {
    return static_cast<uint16_t>(((address & 0xFF) << 8) | BaudCode(baudRate));
}

uint16_t ParityWord(int parity) { return parity == 0 ? 0 : parity == 1 ? 1 : 2; }

link::ResultFlags WriteDeviceLinkSettings(link::ModbusMaster& master, PendingDeviceLink pending,
                                          RegisterImage& image, DeviceLinkSteps& steps, uint8_t& exceptionCode) {
    exceptionCode = 0;

    const uint16_t byteOrder = ByteOrderWord(pending.pendingByteOrder);
    link::ResultFlags flags =
        master.writeMultipleRegisters(ByteOrderBlock.start, ByteOrderBlock.count, &byteOrder, exceptionCode);
    if (!link::Succeeded(flags, exceptionCode)) return flags;
    image.words[reg::ByteOrder] = byteOrder;
    steps.byteOrderWritten();

    const uint16_t addressBaud = AddressBaudWord(pending.pendingAddress, pending.pendingBaudRate);
    flags = master.writeMultipleRegisters(AddressBaudBlock.start, AddressBaudBlock.count, &addressBaud,
                                          exceptionCode);
    if (!link::Succeeded(flags, exceptionCode)) return flags;
    image.words[reg::AddressBaud] = addressBaud;
    steps.addressBaudWritten();

    const uint16_t parity = ParityWord(pending.pendingParity);
    flags = master.writeMultipleRegisters(ParityBlock.start, ParityBlock.count, &parity, exceptionCode);
    if (!link::Succeeded(flags, exceptionCode)) return flags;
    steps.parityWritten();
    return 0;
}

} // namespace olv::device
