#include "sim/bus.h"

#include <algorithm>

namespace olv::sim {

void Bus::transmit(int from, const uint8_t* bytes, size_t count, double now) {
    double start = now;
    for (const Delivery& d : wire_)
        if (d.from == from) start = std::max(start, d.at);
    for (size_t i = 0; i < count; ++i) {
        const double done = start + static_cast<double>(i + 1) * character_;
        // Another sender's byte on the wire during this one: both become one garbled byte.
        auto other = std::find_if(wire_.begin(), wire_.end(), [&](const Delivery& d) {
            return d.from != from && done - character_ < d.at && d.at - character_ < done;
        });
        if (other != wire_.end()) {
            other->byte &= bytes[i];
            other->from = Collision;
            ++collisions_;
            continue;
        }
        const Delivery byte{from, bytes[i], done};
        wire_.insert(std::upper_bound(wire_.begin(), wire_.end(), byte,
                                      [](const Delivery& a, const Delivery& b) { return a.at < b.at; }),
                     byte);
    }
}

std::vector<Bus::Delivery> Bus::take(double now) {
    std::vector<Delivery> passed;
    while (!wire_.empty() && wire_.front().at <= now) {
        passed.push_back(wire_.front());
        wire_.pop_front();
    }
    return passed;
}

double Bus::nextDue() const {
    return wire_.empty() ? 1e300 : wire_.front().at;
}

} // namespace olv::sim
