#pragma once

#include <QString>
#include <cstdint>

namespace olv::link {

// The serial link in force: held by the window, read by every transaction at the moment of the call.
struct LinkSettings {
    int portNumber = 1;        // 1..8 stands for COM1..COM8
    int baudRate = 19200;      // bit/s
    int parity = 2;            // 0 none, 1 odd, 2 even; non-zero also checks replies for parity errors
    int stopBits = 1;          // a code; the port always uses one stop bit
    int32_t timeoutMs = 1000;  // reply time-out constant
    int address = 0;           // instrument address; its low byte goes on the wire
    int traceEnabled = 0;      // the exchange trace is written only when this is 1
    QString traceFileName;     // relative names are taken from the working directory
    int byteOrder = 0;         // byte order code of the live float
};

} // namespace olv::link
