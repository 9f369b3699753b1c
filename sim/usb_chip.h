#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace olv::sim {

// The receive side of a USB serial chip as the host sees it: what the chip takes from the line waits
// in it until its latency timer runs out or a packet's worth (62 bytes) is waiting, and then goes to
// the host as one packet. The timer runs from the last packet sent, empty ones included (the chip
// sends one at every expiry), so a byte waits up to `latency` and a reply that straddles an expiry
// reaches the host in two packets. Pure: time is passed in (seconds).
class UsbChip {
  public:
    static constexpr size_t PacketBytes = 62; // a full-speed packet of 64 bytes less two status bytes

    struct Packet {
        double at = 0; // when it reached the host
        std::vector<uint8_t> bytes;
    };

    // latencySeconds above 0; the timer last ran out at `phase`.
    explicit UsbChip(double latencySeconds, double phase = 0);

    // A byte the chip received from the line at `at` (not before the one received last).
    void put(uint8_t byte, double at);
    // The packets that have reached the host by `now`, in order.
    std::vector<Packet> take(double now);
    // When the next packet reaches the host; a large number while nothing waits.
    double nextDue() const;
    // Drops what waits (the adapter unplugged).
    void clear();

  private:
    void expire(double until); // sends what waits at every expiry up to `until`

    double latency_;
    double timer_; // when the timer last ran out or a packet went
    std::deque<uint8_t> waiting_;
    std::deque<Packet> sent_;
};

} // namespace olv::sim
