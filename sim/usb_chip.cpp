#include "sim/usb_chip.h"

#include <cmath>
#include <limits>

namespace olv::sim {

UsbChip::UsbChip(double latencySeconds, double phase) : latency_(latencySeconds), timer_(phase) {}

void UsbChip::expire(double until) {
    if (waiting_.empty()) {
        // Empty packets only move the timer on: it last ran out at the latest expiry not after `until`
        // (also when that lies before the phase it was started with).
        timer_ += std::floor((until - timer_) / latency_) * latency_;
        return;
    }
    if (timer_ + latency_ > until) return;
    timer_ += latency_;
    sent_.push_back(Packet{timer_, std::vector<uint8_t>(waiting_.begin(), waiting_.end())});
    waiting_.clear();
    expire(until);
}

void UsbChip::put(uint8_t byte, double at) {
    expire(at);
    waiting_.push_back(byte);
    if (waiting_.size() < PacketBytes) return;
    // A full packet goes at once, and the timer starts again from it.
    sent_.push_back(Packet{at, std::vector<uint8_t>(waiting_.begin(), waiting_.end())});
    waiting_.clear();
    timer_ = at;
}

std::vector<UsbChip::Packet> UsbChip::take(double now) {
    expire(now);
    std::vector<Packet> due;
    while (!sent_.empty() && sent_.front().at <= now) {
        due.push_back(std::move(sent_.front()));
        sent_.pop_front();
    }
    return due;
}

double UsbChip::nextDue() const {
    if (!sent_.empty()) return sent_.front().at;
    if (!waiting_.empty()) return timer_ + latency_;
    return std::numeric_limits<double>::max();
}

void UsbChip::clear() {
    waiting_.clear();
    sent_.clear();
}

} // namespace olv::sim
