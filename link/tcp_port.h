#pragma once

#include "link/port.h"

#include <string>

namespace olv::link {

// The prefix of a device path that names a TCP gateway instead of a serial device: tcp://HOST:PORT for
// RTU frames carried as they are, mbtcp://HOST[:PORT] for a Modbus TCP gateway.
bool IsTcpPath(const std::string& devicePath);
// Splits tcp://HOST:PORT or mbtcp://HOST[:PORT] (HOST may be [IPv6]; mbtcp:// without a port means
// 502) into host, port and the framing the prefix names. Returns "" on success, else why the path is
// no gateway address.
std::string ParseNetworkPath(const std::string& devicePath, std::string& host, std::string& port,
                             Framing& framing);
// The same, true when the path is a gateway address.
bool ParseTcpPath(const std::string& devicePath, std::string& host, std::string& port);

// The RTU line carried over a TCP connection, as serial-to-Ethernet gateways in raw ("TCP server")
// mode and ser2net offer it: the same frames and CRC, with the reads waiting under the same time-outs
// as on a serial port. Opened with an mbtcp:// path it tells the master to frame its requests as
// Modbus TCP instead. A reply read with readFrame ends by its length, since a gateway may hand it over
// in pieces with gaps longer than any serial silence. Rate and parity belong to the gateway; the line
// settings only give the time-out of the connect. There are no line errors and no control lines. A connection
// closed or reset by the other end is a hang-up: reads and writes end at once from then on, until the port is
// opened again.
class TcpPort : public Port {
  public:
    TcpPort() = default;
    ~TcpPort() override;
    TcpPort(const TcpPort&) = delete;
    TcpPort& operator=(const TcpPort&) = delete;

    bool open(const std::string& devicePath, const LineSettings& line, std::string& error) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    bool hungUp() const override { return hungUp_; }

    // Drops what has arrived, at most PurgeLimit bytes, so a gateway that floods the connection cannot
    // hold it; nothing is waiting to be sent once write returns.
    void purge() override;
    static constexpr size_t PurgeLimit = 64 * 1024;
    void setReadTimeouts(const ReadTimeouts& timeouts) override { timeouts_ = timeouts; }
    uint32_t takeLineErrors() override { return 0; }
    size_t write(const uint8_t* bytes, size_t count) override;
    size_t read(uint8_t* bytes, size_t count) override;
    size_t readFrame(uint8_t* bytes, size_t count, const FrameCutter& cut) override;
    Framing framing() const override { return framing_; }
    void raiseLines() override {}
    size_t readAvailable(uint8_t* bytes, size_t count) override;
    int descriptor() const override { return fd_; }

  private:
    int fd_ = -1;
    bool hungUp_ = false;
    Framing framing_ = Framing::Rtu;
    ReadTimeouts timeouts_;
};

} // namespace olv::link
