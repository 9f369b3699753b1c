#pragma once

#include <chrono>
#include <functional>

namespace olv::link {

using WaitClock = std::chrono::steady_clock;

// Waits until fd reports one of events (POLLIN, POLLOUT) or the deadline passes. Returns the
// descriptor's revents as poll() gives them, 0 when the deadline passed, -1 when the wait itself
// failed (errno says why). A signal does not end the wait early.
using DescriptorWaiter = std::function<int(int fd, short events, WaitClock::time_point deadline)>;

// Every wait of the ports for a descriptor goes through here: the read of a reply, the connect to a
// gateway, room to write. By default it is ppoll(). A program with an event loop on the same thread
// installs its own waiter, which keeps serving that loop (painting, timers) while the line is waited
// on. An empty waiter puts the default back.
void SetDescriptorWaiter(DescriptorWaiter waiter);
int WaitForDescriptor(int fd, short events, WaitClock::time_point deadline);

// The default: ppoll() until the deadline, resumed after a signal.
int PollDescriptor(int fd, short events, WaitClock::time_point deadline);

} // namespace olv::link
