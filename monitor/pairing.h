#pragma once

#include "monitor/frames.h"

#include <cstdint>

namespace olv::monitor {

// What a frame of the line is, as the pairing judged it.
enum class Direction : uint8_t {
    Request, // "запрос": what a master sends
    Reply,   // "ответ": what a slave answers
    Broken,  // no frame at all: a broken CRC, too short, noise, a line error
};

// The registers (or coils) a request addresses: start and count, -1 and 0 where its function has none.
struct Span {
    int start = -1;
    int count = 0;
};
Span RequestSpan(const uint8_t* bytes, size_t size);

// What the pairing made of one frame.
struct Pairing {
    Direction direction = Direction::Broken;
    int64_t request = -1;    // a reply: the sequence number of the request it answers (-1: none seen)
    Micros latency = -1;     // a paired reply: from the end of its request to its own start
    Span span;               // a request: its own; a paired reply: its request's
    int64_t unanswered = -1; // a request before this frame that is now known to have had no reply
};

// Pairs requests with replies as they follow each other on a line with one master: a reply comes from
// the address the request went to, with its function (or the function plus 0x80, an exception), in the
// shape that request asks for, and begins within the time-out after the request ended. A request
// without one counts as unanswered once the time-out has passed or another request has come. A
// broadcast (address 0) expects no reply. A valid frame that fits no outstanding request is a request
// if it has a request's shape, else a reply nobody was seen to ask for. Pure: time comes with the frames.
class Pairer {
  public:
    Pairer(Micros timeout, Micros characterTime) : timeout_(timeout), character_(characterTime) {}

    // The next frame of the line, numbered `sequence` by the caller.
    Pairing add(const Frame& frame, int64_t sequence);
    // The outstanding request whose time-out has passed by `now`, or -1.
    int64_t expire(Micros now);
    // Forgets the outstanding request without judging it (the capture ends).
    void forget() { outstanding_ = false; }

  private:
    bool answers(const Frame& frame) const;

    Micros timeout_;
    Micros character_;
    bool outstanding_ = false;
    int64_t sequence_ = -1;
    uint8_t address_ = 0;
    uint8_t function_ = 0;
    Span span_;
    Micros end_ = 0;
};

} // namespace olv::monitor
