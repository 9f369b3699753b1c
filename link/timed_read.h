#pragma once

#include "link/port.h"

#include <cstddef>
#include <functional>

#include <sys/types.h>

namespace olv::link {

// What one wait of a read gave: the bytes taken (more than 0), 0 to wait on (an interrupted or empty
// read), or -1 when nothing more will come (the line hung up, the connection closed).
using TakeBytes = std::function<ssize_t(short revents, size_t received)>;

struct TimedRead {
    size_t received = 0;
    bool ended = false; // stopped by a hang-up or a failure of poll(), not by count or a time-out
};

// One read under the classic comm time-outs, shared by the serial and the network port: a total budget
// of multiplierMs per byte asked plus constantMs from the start and, once a byte has arrived, at most
// intervalMs of silence between bytes. Waits on fd (WaitForDescriptor) and calls take each time it reports the
// descriptor ready, until count bytes have been taken or a deadline has passed.
TimedRead ReadUnderTimeouts(int fd, const ReadTimeouts& timeouts, size_t count, const TakeBytes& take);

} // namespace olv::link
