#pragma once

namespace olv::device {

// What the communication page would write into the instrument.
struct PendingDeviceLink {
    int pendingAddress = 0;
    int pendingBaudRate = 19200;
    int pendingParity = 2;
    int pendingByteOrder = 0;
};

} // namespace olv::device
