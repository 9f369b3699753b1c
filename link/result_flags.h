#pragma once

#include <cstdint>

namespace olv::link {

// The outcome of one transaction: a bit set, 0 for a good reply. Several bits usually come together.
using ResultFlags = uint8_t;

enum ResultFlag : ResultFlags {
    ParityError = 0x01,    // parity on, and the port reported a line error
    WrongLength = 0x02,    // not exactly the length of a full normal reply
    WrongAddress = 0x04,   // reply byte 0 is not the instrument's address
    WrongFunction = 0x08,  // reply byte 1 is not the request's function (also set for every exception reply)
    ExceptionReply = 0x10, // reply byte 1 is the function plus 0x80; the exception code is byte 2
    CrcMismatch = 0x20,    // CRC at the place where a full normal reply carries it does not match
    NoReply = 0x40,        // not a single byte arrived
};

// A transaction, or an operation made of transactions, succeeded only when both are 0.
inline bool Succeeded(ResultFlags flags, uint8_t exceptionCode) { return flags == 0 && exceptionCode == 0; }

} // namespace olv::link
