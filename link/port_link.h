#pragma once

#include "link/port.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace olv::messages {
class MessageBoxes;
} // namespace olv::messages

namespace olv::link {

// The line settings OpenPort applies: a rate of 110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400,
// 57600 or 115200 bit/s (any other gives 19200), 5..8 data bits (anything else 8), parity 1 odd,
// 2 even, anything else none. The port always has one stop bit.
LineSettings LineSettingsFor(int baudRate, int dataBits, int parity);

// The reason a port could not be opened, in Russian, for the common system errors (no such device,
// access refused, busy, not a serial line, a folder, connection refused, time-out, host unreachable) and for the
// failures of a host name's lookup (HostLookupFailure); empty for any other code.
QString OpenFailureReason(int error);

// Owns the one port of the program, a serial line or a gateway, and (re)opens it by its COM number.
// When the line is lost (the open failed, or the line hung up under the open port) it can be brought
// back quietly: the same COM number, resolved anew, with the same line settings, at most once a second.
class PortLink {
  public:
    using Clock = std::chrono::steady_clock;
    // Quiet attempts are spaced this far apart, from the end of one to the start of the next: once per
    // tick of a one-second timer, whatever its jitter.
    static constexpr auto ReconnectSpacing = std::chrono::milliseconds(900);

    // resolvePath turns a port number 1..8 (COM1..COM8) into a device path.
    PortLink(std::unique_ptr<Port> port, messages::MessageBoxes& boxes,
             std::function<std::string(int portNumber)> resolvePath);

    // Closes the port held so far, then opens COM<portNumber> (COM1 for a number outside 1..8) with
    // the line settings. A failure shows "Невозможно открыть последовательный порт" / "Ошибка" once,
    // leaves the port closed (transactions on it then end as if nothing answered) and returns false.
    bool openPort(int portNumber, int baudRate, int dataBits, int parity, int stopBits, int32_t timeoutMs);
    void raiseLines();
    void closePort(); // also ends quiet reconnection until the next openPort

    // A port was chosen by openPort, and it is closed since its open failed, or its line hung up.
    bool lost() const;
    // While the line is lost: closes a hung-up port and, when the last attempt ended ReconnectSpacing or
    // more ago, opens the port again as the last openPort did, without any box. True when it was opened.
    bool reconnectIfLost();
    // The clock that spaces the quiet attempts (the steady clock unless replaced, e.g. by tests).
    void setClock(std::function<Clock::time_point()> clock) { clock_ = std::move(clock); }

    // The device path of a port number as the resolver gives it now.
    std::string pathOf(int portNumber) const;

    Port& port() { return *port_; }

  private:
    struct LastOpen {
        int portNumber = 1;
        LineSettings line;
        int32_t timeoutMs = 1000;
        int baudRate = 19200; // as asked, for the read time-outs
    };
    bool open(const LastOpen& request, bool quiet);

    std::unique_ptr<Port> port_;
    messages::MessageBoxes& boxes_;
    std::function<std::string(int)> resolvePath_;
    std::function<Clock::time_point()> clock_ = [] { return Clock::now(); };
    bool chosen_ = false; // openPort ran since the last closePort
    LastOpen last_;
    Clock::time_point lastAttempt_{};
};

} // namespace olv::link
