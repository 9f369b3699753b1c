#include "link/descriptor_wait.h"

#include <cerrno>

#include <poll.h>

namespace olv::link {

namespace {

DescriptorWaiter& InstalledWaiter() {
    static DescriptorWaiter waiter;
    return waiter;
}

} // namespace

void SetDescriptorWaiter(DescriptorWaiter waiter) {
    InstalledWaiter() = std::move(waiter);
}

int WaitForDescriptor(int fd, short events, WaitClock::time_point deadline) {
    const DescriptorWaiter& waiter = InstalledWaiter();
    return waiter ? waiter(fd, events, deadline) : PollDescriptor(fd, events, deadline);
}

int PollDescriptor(int fd, short events, WaitClock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - WaitClock::now());
        struct timespec ts = {0, 0};
        if (left.count() > 0) {
            ts.tv_sec = static_cast<time_t>(left.count() / 1000000000);
            ts.tv_nsec = static_cast<long>(left.count() % 1000000000);
        }
        struct pollfd p = {fd, events, 0};
        const int ready = ppoll(&p, 1, &ts, nullptr);
        if (ready > 0) return p.revents;
        if (ready == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

} // namespace olv::link
