#pragma once

#include "link/result_flags.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace olv::link {

// How the bytes of an exchange are framed on the wire.
enum class Framing : uint8_t {
    Rtu,       // address, PDU, CRC: a serial line, or RTU carried over TCP
    ModbusTcp, // MBAP header (transaction, protocol, length, unit), PDU, no CRC
};

// One transaction as it passed the port, handed to whoever watches the program's own traffic (the
// window's link health line, the table of own exchanges). The byte pointers are valid only during the
// call; a watcher that keeps them copies them.
struct ExchangeRecord {
    using Clock = std::chrono::steady_clock;
    Framing framing = Framing::Rtu;
    const uint8_t* request = nullptr;
    size_t requestLength = 0;
    const uint8_t* reply = nullptr;
    size_t replyLength = 0;
    ResultFlags flags = 0;
    uint8_t exceptionCode = 0;
    Clock::time_point sent{};  // just before the request was written
    Clock::time_point ended{}; // when the read of the reply ended (by its length or a time-out)
    // Frames of other transactions read and passed over while this one waited for its reply (a late
    // reply to an earlier request, a gateway that floods the connection); 0 on a serial line.
    uint64_t skippedReplies = 0;
};

// Called once for every transaction that went on the wire (refused counts never do), after its reply
// has been checked. It must not start another transaction.
using ExchangeObserver = std::function<void(const ExchangeRecord&)>;

} // namespace olv::link
