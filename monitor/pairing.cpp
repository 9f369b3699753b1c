#include "monitor/pairing.h"

#include <algorithm>

namespace olv::monitor {

namespace {

int Word(const uint8_t* bytes, size_t at) {
    return bytes[at] << 8 | bytes[at + 1];
}

} // namespace

Span RequestSpan(const uint8_t* bytes, size_t size) {
    if (size < 6) return {};
    switch (bytes[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 15:
    case 16:
        return {Word(bytes, 2), Word(bytes, 4)};
    case 5:
    case 6:
        return {Word(bytes, 2), 1};
    default:
        return {};
    }
}

bool Pairer::answers(const Frame& f) const {
    if (!outstanding_ || f.bytes[0] != address_) return false;
    if (f.end - static_cast<Micros>(f.size) * character_ > end_ + timeout_) return false;
    const uint8_t function = f.bytes[1];
    if (function == (function_ | 0x80)) return f.size == 5;
    if (function != function_) return false;
    switch (function) {
    case 1:
    case 2:
        return f.size == 5u + f.bytes[2] && f.bytes[2] == (span_.count + 7) / 8;
    case 3:
    case 4:
        return f.size == 5u + f.bytes[2] && f.bytes[2] == 2 * span_.count;
    case 15:
    case 16:
        return f.size == 8 && Word(f.bytes, 2) == span_.start && Word(f.bytes, 4) == span_.count;
    default: {
        const size_t length = FrameLength(Role::Reply, f.bytes, f.size);
        return length == 0 || length == f.size;
    }
    }
}

Pairing Pairer::add(const Frame& f, int64_t sequence) {
    Pairing result;
    if (!f.crcValid || f.lineError) {
        result.direction = Direction::Broken;
        return result;
    }
    if (answers(f)) {
        result.direction = Direction::Reply;
        result.request = sequence_;
        // The times are those at which the program received the bytes: a request taken late (a busy
        // machine, an adapter's burst) can seem to end after its reply began. It is 0 then, never a
        // negative time that would read as a reply without its request.
        result.latency = std::max<Micros>(0, f.end - static_cast<Micros>(f.size) * character_ - end_);
        result.span = span_;
        outstanding_ = false;
        return result;
    }
    // The one before gets no reply any more: the time-out passed, or the master has moved on.
    if (outstanding_) result.unanswered = sequence_;
    outstanding_ = false;
    const bool requestShape = FrameLength(Role::Request, f.bytes, f.size) == f.size;
    const bool replyShape = FrameLength(Role::Reply, f.bytes, f.size) == f.size;
    if (!requestShape && replyShape) {
        result.direction = Direction::Reply;
        return result;
    }
    result.direction = Direction::Request;
    result.span = RequestSpan(f.bytes, f.size);
    if (f.bytes[0] != 0) { // a broadcast is answered by nobody
        outstanding_ = true;
        sequence_ = sequence;
        address_ = f.bytes[0];
        function_ = f.bytes[1];
        span_ = result.span;
        end_ = f.end;
    }
    return result;
}

int64_t Pairer::expire(Micros now) {
    if (!outstanding_ || now <= end_ + timeout_) return -1;
    outstanding_ = false;
    return sequence_;
}

} // namespace olv::monitor
