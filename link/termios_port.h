#pragma once

#include "link/port.h"
#include "link/timed_read.h"

#include <cstdint>
#include <optional>
#include <string>

struct termios;

namespace olv::link {

// Sets the line of a termios record for the port: raw binary, receiver on, no flow control, no modem
// status lines, one stop bit, the data bits, the parity (0 none, 1 odd, 2 even, anything else none;
// odd and even also switch the parity check of received bytes on), and the rate (a rate the port
// does not know gives 19200). Bits the port does not use are left as they were.
void ApplyLineSettings(struct termios& tio, const LineSettings& line);

// The serial port over POSIX termios (a USB-RS-485 adapter, /dev/ttyS*, or a pseudo-terminal).
// Opened exclusively (an advisory lock and TIOCEXCL) in raw mode with one stop bit and the given data bits
// and parity; reads wait with poll() under the classic comm time-outs (total per byte plus constant, and the
// silence between bytes once the first has arrived). A hang-up (adapter unplugged, peer gone) ends a read at
// once. While it holds a USB adapter it asks the driver for low latency, so that the chip hands over
// what it received after 1 ms instead of its default 16, and gives the previous setting back when it
// lets the port go.
class TermiosPort : public Port {
  public:
    TermiosPort() = default;
    ~TermiosPort() override;
    TermiosPort(const TermiosPort&) = delete;
    TermiosPort& operator=(const TermiosPort&) = delete;

    bool open(const std::string& devicePath, const LineSettings& line, std::string& error) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    bool hungUp() const override { return hungUp_; }

    void purge() override;
    void setReadTimeouts(const ReadTimeouts& timeouts) override;
    uint32_t takeLineErrors() override;
    size_t write(const uint8_t* bytes, size_t count) override;
    size_t read(uint8_t* bytes, size_t count) override;
    size_t readFrame(uint8_t* bytes, size_t count, const FrameCutter& cut) override;
    void raiseLines() override;
    size_t readAvailable(uint8_t* bytes, size_t count) override;
    int descriptor() const override { return fd_; }
    std::optional<UsbPortState> usbState() const override { return usb_; }

    // Where the adapters are looked up: "/sys" unless a test gives a tree of its own.
    void setSysfsRoot(std::string root) { sysfsRoot_ = std::move(root); }

    // Bytes waiting in the receive queue (0 when closed).
    size_t bytesAvailable() const;

  private:
    struct LineCounters {
        int parity = 0;
        int frame = 0;
        int overrun = 0;
        int bufOverrun = 0;
        int brk = 0;
    };
    bool readCounters(LineCounters& counters) const;
    size_t timedRead(uint8_t* bytes, size_t count, const HoldsSilence& holds);

    int fd_ = -1;
    bool hungUp_ = false; // seen by readAvailable; the timed reads end early instead
    ReadTimeouts timeouts_;
    LineCounters lastCounters_;
    std::string sysfsRoot_ = "/sys";
    std::optional<UsbPortState> usb_; // the adapter held, when it is one
};

} // namespace olv::link
