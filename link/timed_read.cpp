#include "link/timed_read.h"

#include "link/descriptor_wait.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include <poll.h>

namespace olv::link {

TimedRead ReadUnderTimeouts(int fd, const ReadTimeouts& timeouts, size_t count, const TakeBytes& take) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto totalDeadline = start + std::chrono::milliseconds(static_cast<int64_t>(timeouts.multiplierMs) *
                                                                     static_cast<int64_t>(count) +
                                                                 timeouts.constantMs);
    const auto interval = std::chrono::milliseconds(timeouts.intervalMs);
    auto lastByte = start;
    TimedRead result;

    while (result.received < count) {
        const auto now = Clock::now();
        auto deadline = totalDeadline;
        if (result.received > 0 && timeouts.intervalMs > 0)
            deadline = std::min(deadline, lastByte + interval);
        if (now >= deadline) break;
        const int revents = WaitForDescriptor(fd, POLLIN, deadline);
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
            lastByte = Clock::now();
        }
    }
    return result;
}

} // namespace olv::link
