#include "link/line_port.h"

#include "link/tcp_port.h"
#include "link/termios_port.h"

#include <chrono>

namespace olv::link {

LinePort::LinePort() : LinePort(std::make_unique<TermiosPort>(), std::make_unique<TcpPort>()) {}

LinePort::LinePort(std::unique_ptr<Port> serial, std::unique_ptr<Port> network)
    : serial_(std::move(serial)), network_(std::move(network)), active_(serial_.get()) {}

LinePort::~LinePort() = default;

bool LinePort::open(const std::string& devicePath, const LineSettings& line, std::string& error) {
    close();
    active_ = IsTcpPath(devicePath) ? network_.get() : serial_.get();
    return active_->open(devicePath, line, error);
}

void LinePort::close() {
    serial_->close();
    network_->close();
    hungUp_ = false;
}

void LinePort::setReadTimeouts(const ReadTimeouts& timeouts) {
    timeouts_ = timeouts;
    active_->setReadTimeouts(timeouts);
}

size_t LinePort::write(const uint8_t* bytes, size_t count) {
    if (!active_->isOpen()) return 0;
    const size_t written = active_->write(bytes, count);
    if (written < count) hungUp_ = true;
    return written;
}

size_t LinePort::read(uint8_t* bytes, size_t count) {
    if (!active_->isOpen()) return 0;
    const auto start = std::chrono::steady_clock::now();
    const size_t received = active_->read(bytes, count);
    noteEmptyRead(received, count, start);
    return received;
}

size_t LinePort::readFrame(uint8_t* bytes, size_t count, const FrameCutter& cut) {
    if (!active_->isOpen()) return 0;
    const auto start = std::chrono::steady_clock::now();
    const size_t received = active_->readFrame(bytes, count, cut);
    noteEmptyRead(received, count, start);
    return received;
}

void LinePort::noteEmptyRead(size_t received, size_t count, std::chrono::steady_clock::time_point start) {
    // With nothing received a read ends only when its whole budget has passed, unless the line went.
    const auto budget = std::chrono::milliseconds(
        static_cast<int64_t>(timeouts_.multiplierMs) * static_cast<int64_t>(count) + timeouts_.constantMs);
    if (received == 0 && count > 0 && std::chrono::steady_clock::now() - start < budget) hungUp_ = true;
}

} // namespace olv::link
