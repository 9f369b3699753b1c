#pragma once

#include "link/serial_port.h"

#include <string>

namespace olv::link {

// The prefix of a device path that names a TCP gateway instead of a serial device: tcp://HOST:PORT.
bool IsTcpPath(const std::string& devicePath);
// Splits tcp://HOST:PORT (HOST may be [IPv6]) into host and port; false when the path has no such form.
bool ParseTcpPath(const std::string& devicePath, std::string& host, std::string& port);

// The RTU line carried over a TCP connection, as serial-to-Ethernet gateways in raw ("TCP server")
// mode and ser2net offer it: the same frames and CRC, with the reads waiting under the same time-outs
// as on a serial port. Rate and parity belong to the gateway; the line settings only give the time-out
// of the connect. There are no line errors and no control lines. A connection closed or reset by the
// other end is a hang-up: reads and writes end at once from then on, until the port is opened again.
class TcpPort : public SerialPort {
  public:
    TcpPort() = default;
    ~TcpPort() override;
    TcpPort(const TcpPort&) = delete;
    TcpPort& operator=(const TcpPort&) = delete;

    bool open(const std::string& devicePath, const LineSettings& line, std::string& error) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    bool hungUp() const override { return hungUp_; }

    void purge() override; // drops what has arrived; nothing is waiting to be sent once write returns
    void setReadTimeouts(const ReadTimeouts& timeouts) override { timeouts_ = timeouts; }
    uint32_t takeLineErrors() override { return 0; }
    size_t write(const uint8_t* bytes, size_t count) override;
    size_t read(uint8_t* bytes, size_t count) override;
    void raiseLines() override {}
    size_t readAvailable(uint8_t* bytes, size_t count) override;
    int descriptor() const override { return fd_; }

  private:
    int fd_ = -1;
    bool hungUp_ = false;
    ReadTimeouts timeouts_;
};

} // namespace olv::link
