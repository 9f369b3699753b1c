#include "link/timed_read.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include <poll.h>

namespace olv::link {

TimedRead ReadUnderTimeouts(const ReadWait& line, const ReadTimeouts& timeouts, size_t count,
                            const TakeBytes& take, const HoldsSilence& holds) {
    const auto start = line.now();
    const auto totalDeadline = start + std::chrono::milliseconds(static_cast<int64_t>(timeouts.multiplierMs) *
                                                                     static_cast<int64_t>(count) +
                                                                 timeouts.constantMs);
    const auto interval = std::chrono::milliseconds(timeouts.intervalMs);
    auto lastByte = start;
    bool held = false; // the bytes so far are a reply that is not whole yet
    TimedRead result;

    while (result.received < count) {
        const auto now = line.now();
        auto deadline = totalDeadline;
        if (result.received > 0 && timeouts.intervalMs > 0 && !held)
            deadline = std::min(deadline, lastByte + interval);
        if (now >= deadline) break;
        const int revents = line.wait(deadline);
        if (revents < 0) {
            result.ended = true;
            break;
        }
        if (revents == 0) continue; // a deadline passed: the check above ends the read
        const ssize_t taken = take(static_cast<short>(revents), result.received);
        if (taken < 0) {
            result.ended = true;
            break;
        }
        if (taken > 0) {
            result.received += static_cast<size_t>(taken);
            lastByte = line.now();
            held = holds && holds(result.received);
        }
    }
    return result;
}

TimedRead ReadUnderTimeouts(int fd, const ReadTimeouts& timeouts, size_t count, const TakeBytes& take,
                            const HoldsSilence& holds) {
    const ReadWait line{
        [] { return WaitClock::now(); },
        [fd](WaitClock::time_point deadline) { return WaitForDescriptor(fd, POLLIN, deadline); }};
    return ReadUnderTimeouts(line, timeouts, count, take, holds);
}

bool AwaitsRestOfReply(const FrameCutter& cut, const uint8_t* bytes, size_t received) {
    if (!cut || received == 0) return false;
    const FrameCut frame = cut(bytes, received);
    return frame.kind == FrameCut::More && frame.awaited && received < frame.length;
}

} // namespace olv::link
