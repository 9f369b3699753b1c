#pragma once

#include "link/port.h"
#include "link/result_flags.h"

#include <cstddef>
#include <cstdint>

namespace olv::link {

// Frame helpers of Modbus TCP: pure functions over bytes. A frame is the MBAP header (transaction
// identifier, protocol identifier 0, length of what follows, unit identifier), then the PDU (function
// code and data); all fields high byte first, no CRC.

inline constexpr size_t MbapPrefixLength = 6;   // transaction, protocol, length: what the length counts from
inline constexpr size_t MbapHeaderLength = 7;   // with the unit identifier
inline constexpr size_t MinMbapLengthField = 2; // the unit and at least a function code
inline constexpr size_t MaxMbapLengthField = 254; // the unit and a PDU of at most 253 bytes
inline constexpr size_t MaxModbusTcpFrame = MbapPrefixLength + MaxMbapLengthField;

// Builds header and PDU into frame (at least MbapHeaderLength + pduLength bytes; pduLength at most 253).
// The unit is the low byte of unit. Returns the length.
size_t BuildModbusTcpFrame(uint16_t transaction, int unit, const uint8_t* pdu, size_t pduLength,
                           uint8_t* frame);

// The fields of a header of at least MbapPrefixLength bytes.
uint16_t MbapTransaction(const uint8_t* frame);
uint16_t MbapLengthField(const uint8_t* frame);
// Whether a header of at least MbapPrefixLength bytes can begin a frame: protocol 0, a length field
// within MinMbapLengthField..MaxMbapLengthField.
bool MbapHeaderValid(const uint8_t* frame);

// The cut of a reply to the request of `transaction` in a buffer of `capacity` bytes: a frame of
// another transaction is skipped (a late reply to an earlier request); a header that cannot begin a
// frame is broken, and so is a reply to this transaction that would not fit the buffer.
FrameCut CutModbusTcpReply(const uint8_t* bytes, size_t received, uint16_t transaction, size_t capacity);

// Whether a reply of `received` bytes is one whole frame of `transaction`: a header that can begin a
// frame, that transaction, a function code, and exactly the bytes its length field counts.
bool ModbusTcpReplyWhole(const uint8_t* reply, size_t received, uint16_t transaction);

// Checks the reply (received bytes, as the cut left it) to the request of `transaction` for `function`
// at `address`, whose normal PDU is expectedPduLength bytes. Flags: NoReply and WrongLength when
// nothing arrived; WrongLength when the frame is not whole, its header is not the request's (protocol,
// transaction) or its length is not that of a normal reply; and once the function code has arrived,
// WrongAddress when the unit is not `address` (compared with the whole value), WrongFunction when the
// function is not `function`, ExceptionReply when it is function plus 0x80 (exceptionCode then takes
// the next byte). exceptionCode is 0 unless the reply is an exception reply.
ResultFlags CheckModbusTcpReply(const uint8_t* reply, size_t received, uint16_t transaction, int address,
                                uint8_t function, size_t expectedPduLength, uint8_t& exceptionCode);

} // namespace olv::link
