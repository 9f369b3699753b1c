#include "tests/support/fake_port.h"

#include "link/timed_read.h"
#include "sim/usb_chip.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include <poll.h>

namespace olv::test {

void FakePort::queueReply(std::vector<uint8_t> bytes, uint32_t lineErrors) {
    replies_.push_back(Reply{std::move(bytes), lineErrors, {}});
}

void FakePort::queueSilence() {
    replies_.push_back(Reply{});
}

void FakePort::queuePackets(std::vector<Packet> packets, uint32_t lineErrors) {
    replies_.push_back(Reply{{}, lineErrors, std::move(packets)});
}

void FakePort::queueThroughUsbChip(const std::vector<uint8_t>& bytes, int baudRate, double latencyMs,
                                   double phaseMs) {
    sim::UsbChip chip(latencyMs / 1000.0, -phaseMs / 1000.0);
    const double character = 11.0 / baudRate;
    for (size_t i = 0; i < bytes.size(); ++i)
        chip.put(bytes[i], static_cast<double>(i + 1) * character);
    std::vector<Packet> packets;
    double last = 0;
    for (sim::UsbChip::Packet& packet : chip.take(1e9)) {
        packets.push_back(Packet{(packet.at - last) * 1000.0, std::move(packet.bytes)});
        last = packet.at;
    }
    queuePackets(std::move(packets));
}

bool FakePort::open(const std::string& devicePath, const link::LineSettings& line, std::string& error) {
    calls.push_back("open");
    opens.push_back(OpenCall{devicePath, line});
    if (onOpen) onOpen();
    if (failOpen) {
        opened = false;
        error = openFailure;
        return false;
    }
    opened = true;
    lineHungUp = false;
    return true;
}

void FakePort::close() {
    calls.push_back("close");
    opened = false;
}

void FakePort::purge() {
    calls.push_back("purge");
    if (opened) ++purges;
}

void FakePort::setReadTimeouts(const link::ReadTimeouts& t) {
    calls.push_back("setReadTimeouts");
    timeouts.push_back(t);
}

uint32_t FakePort::takeLineErrors() {
    calls.push_back("takeLineErrors");
    const uint32_t errors = pendingErrors_;
    pendingErrors_ = 0;
    return opened ? errors : 0;
}

size_t FakePort::write(const uint8_t* bytes, size_t count) {
    calls.push_back("write");
    if (!opened) return 0;
    written.emplace_back(bytes, bytes + count);
    return count;
}

size_t FakePort::read(uint8_t* bytes, size_t count) {
    return take(bytes, count, nullptr);
}

size_t FakePort::readFrame(uint8_t* bytes, size_t count, const link::FrameCutter& cut) {
    return take(bytes, count, &cut);
}

size_t FakePort::take(uint8_t* bytes, size_t count, const link::FrameCutter* cut) {
    calls.push_back("read");
    if (!opened) return 0;
    readsAsked.push_back(count);
    if (replies_.empty()) return 0;
    Reply reply = std::move(replies_.front());
    replies_.pop_front();
    pendingErrors_ |= reply.lineErrors;
    if (!reply.packets.empty()) return takeInPackets(reply, bytes, count, cut);
    const size_t n = std::min(count, reply.bytes.size());
    if (n > 0) std::memcpy(bytes, reply.bytes.data(), n);
    return n;
}

size_t FakePort::takeInPackets(const Reply& reply, uint8_t* bytes, size_t count,
                               const link::FrameCutter* cut) {
    using namespace std::chrono;
    lastReadStart = clock;
    std::vector<link::WaitClock::time_point> arrivals;
    auto at = clock;
    for (const Packet& packet : reply.packets)
        arrivals.push_back(
            at += duration_cast<link::WaitClock::duration>(duration<double, std::milli>(packet.afterMs)));
    size_t next = 0;   // the first packet not taken whole
    size_t offset = 0; // of its bytes, those taken already
    // The serial port's own wait, on this clock: the next packet, or the deadline when it comes later.
    const link::ReadWait line{[this] { return clock; },
                              [&](link::WaitClock::time_point deadline) {
                                  if (next < arrivals.size() && arrivals[next] <= deadline) {
                                      clock = std::max(clock, arrivals[next]);
                                      return int(POLLIN);
                                  }
                                  clock = std::max(clock, deadline);
                                  return 0;
                              }};
    // As a read of the port takes everything that has arrived, up to what is asked.
    const link::TakeBytes takeArrived = [&](short, size_t received) -> ssize_t {
        size_t taken = 0;
        while (next < arrivals.size() && arrivals[next] <= clock && received + taken < count) {
            const std::vector<uint8_t>& piece = reply.packets[next].bytes;
            const size_t n = std::min(piece.size() - offset, count - received - taken);
            std::memcpy(bytes + received + taken, piece.data() + offset, n);
            taken += n;
            offset += n;
            if (offset == piece.size()) {
                ++next;
                offset = 0;
            }
        }
        return static_cast<ssize_t>(taken);
    };
    link::HoldsSilence holds;
    if (cut) holds = [bytes, cut](size_t received) { return link::AwaitsRestOfReply(*cut, bytes, received); };
    const size_t received =
        link::ReadUnderTimeouts(line, timeouts.empty() ? link::ReadTimeouts{} : timeouts.back(), count,
                                takeArrived, holds)
            .received;
    lastReadMs = duration<double, std::milli>(clock - lastReadStart).count();
    return received;
}

size_t FakePort::readAvailable(uint8_t* bytes, size_t count) {
    if (!opened || replies_.empty()) return 0;
    calls.push_back("readAvailable");
    Reply reply = std::move(replies_.front());
    replies_.pop_front();
    pendingErrors_ |= reply.lineErrors;
    const size_t n = std::min(count, reply.bytes.size());
    if (n > 0) std::memcpy(bytes, reply.bytes.data(), n);
    return n;
}

void FakePort::raiseLines() {
    calls.push_back("raiseLines");
    if (opened) ++raiseLinesCalls;
}

} // namespace olv::test
