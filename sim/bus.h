#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace olv::sim {

// The wire of an RS-485 line that several parties share: masters on the line's terminals and the
// instruments. A byte takes one character time on the wire, and a party's bytes follow each other.
// Whatever one party sends reaches every other party and the instruments once it has passed; bytes of
// two senders on the wire at the same time garble each other into one byte (the wire-AND of both) that
// everyone receives, the senders included. Pure: time is passed in (seconds).
class Bus {
  public:
    static constexpr int Instruments = -1; // the sender of the replies
    static constexpr int Collision = -2;   // the sender of a garbled byte

    struct Delivery {
        int from; // a party (0, 1, ...), Instruments or Collision
        uint8_t byte;
        double at; // when its last bit had passed
    };

    // characterSeconds 0: bytes take no time on the wire and never collide.
    explicit Bus(double characterSeconds = 0) : character_(characterSeconds) {}
    void setCharacterSeconds(double seconds) { character_ = seconds; }

    // A party starts sending at `now`; its bytes go on the wire after any it still has there.
    void transmit(int from, const uint8_t* bytes, size_t count, double now);
    // The bytes that have passed by `now`, in the order they passed.
    std::vector<Delivery> take(double now);
    // When the next byte will have passed; a large number when the wire is idle.
    double nextDue() const;
    uint64_t collisions() const { return collisions_; }

  private:
    double character_;
    std::deque<Delivery> wire_; // ordered by `at`
    uint64_t collisions_ = 0;
};

} // namespace olv::sim
