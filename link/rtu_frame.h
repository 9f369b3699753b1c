#pragma once

#include "link/port.h"
#include "link/result_flags.h"

#include <cstddef>
#include <cstdint>

// The frames of Modbus RTU: pure functions over bytes, usable without a port. The master builds its
// requests and checks its replies with them; so do the virtual instrument's tests and the fuzzer.
namespace olv::link {

inline constexpr uint8_t FunctionReadHolding = 3;    // function 3, read holding registers
inline constexpr uint8_t FunctionWriteMultiple = 16; // function 16, write multiple registers
inline constexpr uint8_t ExceptionBit = 0x80;        // added to the function code in an exception reply
inline constexpr size_t FrameBufferSize = 256;       // request and reply buffers of a transaction
inline constexpr int MaxReadCount = 124;             // 2*N+7 bytes asked must fit the 256-byte reply buffer
inline constexpr int MaxWriteCount = 123;            // a 2*N+9 byte request must fit the 256-byte buffer

// Builds the 8-byte read request into frame (at least 8 bytes). The low byte of address and the low
// 16 bits of startRegister are sent. Returns the length, 8.
size_t BuildReadRequest(int address, int startRegister, int count, uint8_t* frame);

// Builds the 2*count+9 byte write request into frame (at least that many bytes); count must lie in
// 1..MaxWriteCount. Returns the length.
size_t BuildWriteRequest(int address, int startRegister, int count, const uint16_t* values, uint8_t* frame);

// Length of a full normal reply: 2*count+5 for function 3, 8 for function 16.
size_t ExpectedReplyLength(uint8_t function, int count);

// Checks a reply of `received` bytes to `function` (3 or 16) for `count` registers. Every check runs:
// parity (only when parity is non-zero: for a read the LineParity bit of lineErrors, for a write any
// bit), length, address (byte 0 against the whole address value), function, exception reply (then
// exceptionCode = byte 2), CRC at the place where a full normal reply carries it, no reply. Bytes past
// `received` count as 0, and nothing is read past them, so any buffer is safe. exceptionCode is set to
// 0 unless the reply is an exception reply. count must lie in 1..MaxReadCount.
ResultFlags CheckReply(uint8_t function, const uint8_t* reply, size_t received, int count, int address,
                       int parity, uint32_t lineErrors, uint8_t& exceptionCode);

// The cut of an RTU reply read into a buffer of `asked` bytes, told by its own bytes: 5 for an
// exception reply, byte count + 5 for a read reply, 8 for a write reply, and for any other function
// code the length of the awaited normal reply (asked - 2); never beyond asked.
FrameCut CutRtuReply(size_t asked, const uint8_t* bytes, size_t received);

// Whether the bytes received so far (at least one) can begin the reply awaited from `address` to
// `function` for `count` registers: byte 0 is the address (its whole value), byte 1 the function or its
// exception, and byte 2 of a normal read reply the byte count 2*count. Only such a reply tells by its
// own bytes how long it will be.
bool BeginsAwaitedReply(uint8_t function, int address, int count, const uint8_t* bytes, size_t received);

// The cut of CutRtuReply, marked awaited (FrameCut::awaited) while it is not whole yet and begins the
// reply awaited, so that a serial line does not end it at a gap between the packets of a USB adapter.
FrameCut CutAwaitedRtuReply(uint8_t function, int address, int count, size_t asked, const uint8_t* bytes,
                            size_t received);

} // namespace olv::link
