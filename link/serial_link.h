#pragma once

#include "link/serial_port.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace olv::link {

class MessageBoxes;

// The line settings OpenPort applies: a rate of 110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400,
// 57600 or 115200 bit/s (any other gives 19200), 5..8 data bits (anything else 8), parity 1 odd,
// 2 even, anything else none. The port always has one stop bit.
LineSettings LineSettingsFor(int baudRate, int dataBits, int parity);

// Owns the one serial port of the program and (re)opens it by its COM number.
class SerialLink {
  public:
    // resolvePath turns a port number 1..8 (COM1..COM8) into a device path.
    SerialLink(std::unique_ptr<SerialPort> port, MessageBoxes& boxes,
               std::function<std::string(int portNumber)> resolvePath);

    // Closes the port held so far, then opens COM<portNumber> (COM1 for a number outside 1..8) with
    // the line settings. A failure shows "Невозможно открыть последовательный порт" / "Ошибка" once,
    // leaves the port closed (transactions on it then end as if nothing answered) and returns false.
    bool openPort(int portNumber, int baudRate, int dataBits, int parity, int stopBits, int32_t timeoutMs);
    void raiseLines();
    void closePort();

    SerialPort& port() { return *port_; }

  private:
    std::unique_ptr<SerialPort> port_;
    MessageBoxes& boxes_;
    std::function<std::string(int)> resolvePath_;
};

} // namespace olv::link
