#pragma once

#include "link/port.h"

#include <chrono>
#include <memory>
#include <optional>

namespace olv::link {

// The port the program talks through: the termios port for a device path, the TCP port for a
// tcp:// or mbtcp:// path, chosen anew at every open. It also tells when a serial line has hung up, which
// the termios port shows only by ending its calls early: a write that could not send everything, or a
// read that got nothing yet ended before its time-outs ran out.
class LinePort : public Port {
  public:
    LinePort();
    // The two ports to choose from (tests give their own).
    LinePort(std::unique_ptr<Port> serial, std::unique_ptr<Port> network);
    ~LinePort() override;

    bool open(const std::string& devicePath, const LineSettings& line, std::string& error) override;
    void close() override;
    bool isOpen() const override { return active_->isOpen(); }
    bool hungUp() const override { return hungUp_ || active_->hungUp(); }

    void purge() override { active_->purge(); }
    void setReadTimeouts(const ReadTimeouts& timeouts) override;
    uint32_t takeLineErrors() override { return active_->takeLineErrors(); }
    size_t write(const uint8_t* bytes, size_t count) override;
    size_t read(uint8_t* bytes, size_t count) override;
    size_t readFrame(uint8_t* bytes, size_t count, const FrameCutter& cut) override;
    Framing framing() const override { return active_->framing(); }
    void raiseLines() override { active_->raiseLines(); }
    size_t readAvailable(uint8_t* bytes, size_t count) override {
        return active_->readAvailable(bytes, count);
    }
    int descriptor() const override { return active_->descriptor(); }
    std::optional<UsbPortState> usbState() const override { return active_->usbState(); }

    // The port chosen by the last open (the serial one before any).
    Port& active() { return *active_; }

  private:
    // A read that got nothing yet ended before its budget ran out met a line that has gone.
    void noteEmptyRead(size_t received, size_t count, std::chrono::steady_clock::time_point start);

    std::unique_ptr<Port> serial_;
    std::unique_ptr<Port> network_;
    Port* active_ = nullptr;
    ReadTimeouts timeouts_;
    bool hungUp_ = false;
};

} // namespace olv::link
