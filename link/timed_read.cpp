#include "link/timed_read.h"

#include <algorithm>
#include <cerrno>
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
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now);
        struct timespec ts;
        ts.tv_sec = static_cast<time_t>(wait.count() / 1000000000);
        ts.tv_nsec = static_cast<long>(wait.count() % 1000000000);

        struct pollfd p = {fd, POLLIN, 0};
        const int ready = ppoll(&p, 1, &ts, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            result.ended = true;
            break;
        }
        if (ready == 0) continue; // a deadline passed: the check above ends the read
        const ssize_t taken = take(p.revents, result.received);
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
