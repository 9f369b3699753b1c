#pragma once

#include "link/descriptor_wait.h"
#include "link/port.h"

#include <cstddef>
#include <functional>

#include <sys/types.h>

namespace olv::link {

// What one wait of a read gave: the bytes taken (more than 0), 0 to wait on (an interrupted or empty
// read), or -1 when nothing more will come (the line hung up, the connection closed).
using TakeBytes = std::function<ssize_t(short revents, size_t received)>;

// Whether the bytes received so far are a reply that is not whole yet by its own bytes: while it says
// so, no silence ends the read, only its count or its total budget.
using HoldsSilence = std::function<bool(size_t received)>;

// Where a read waits: the clock that times it, and the wait for bytes until a deadline, which gives
// poll()'s revents when bytes may be taken, 0 when the deadline passed and -1 when the wait failed.
// The ports wait on their descriptor under the steady clock; the tests' fake port on a clock of its own.
struct ReadWait {
    std::function<WaitClock::time_point()> now;
    std::function<int(WaitClock::time_point deadline)> wait;
};

struct TimedRead {
    size_t received = 0;
    bool ended = false; // stopped by a hang-up or a failure of the wait, not by count or a time-out
};

// One read under the classic comm time-outs, shared by the serial and the network port: a total budget
// of multiplierMs per byte asked plus constantMs from the start and, once a byte has arrived, at most
// intervalMs of silence between bytes, except while holds says the reply is not whole yet. Calls take
// each time the wait reports bytes, until count bytes have been taken or a deadline has passed.
TimedRead ReadUnderTimeouts(const ReadWait& line, const ReadTimeouts& timeouts, size_t count,
                            const TakeBytes& take, const HoldsSilence& holds = {});
// The same waiting on fd (WaitForDescriptor) under the steady clock.
TimedRead ReadUnderTimeouts(int fd, const ReadTimeouts& timeouts, size_t count, const TakeBytes& take,
                            const HoldsSilence& holds = {});

// How a serial line holds a reply read with readFrame: while cut tells that the bytes so far begin the
// awaited reply and it is not whole yet (FrameCut::awaited).
bool AwaitsRestOfReply(const FrameCutter& cut, const uint8_t* bytes, size_t received);

} // namespace olv::link
