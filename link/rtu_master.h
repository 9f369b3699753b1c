#pragma once

#include "link/exchange_record.h"
#include "link/exchange_trace.h"
#include "link/modbus_master.h"
#include "link/serial_port.h"

#include <cstddef>
#include <cstdint>

namespace olv::link {

struct LinkSettings;

// Frame helpers of the RTU master: pure functions over bytes, usable without a port.

inline constexpr uint8_t FunctionReadHolding = 3;    // function 3, read holding registers
inline constexpr uint8_t FunctionWriteMultiple = 16; // function 16, write multiple registers
inline constexpr uint8_t ExceptionBit = 0x80;        // added to the function code in an exception reply
inline constexpr size_t FrameBufferSize = 256;       // request and reply buffers of a transaction
inline constexpr int MaxReadCount = 124;             // 2*N+7 bytes asked must fit the 256-byte reply buffer
inline constexpr int MaxWriteCount = 123;            // a 2*N+9 byte request must fit the 256-byte buffer

// The flags of a transaction refused before any I/O because its count lies outside 1..MaxReadCount
// (read) or 1..MaxWriteCount (write): nothing went out and nothing came back. The values are left as
// they were and the exception code is 0.
inline constexpr ResultFlags RefusedCountFlags = NoReply | WrongLength;

// The read time-outs of a transaction: interval and per-byte multiplier by baud rate (1200..38400 have
// their own row, any other rate gets 48/32), constant = timeoutMs (a negative value counts as 0).
ReadTimeouts ReadTimeoutsFor(int baudRate, int32_t timeoutMs);

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

// Modbus RTU master on the serial port. Address, baud rate (for the read time-outs), time-out, parity
// check and trace switch are taken from the link settings at the moment of each call.
//
// Order of one transaction: zero both buffers and the exception code, build the request, purge the
// port, set the read time-outs, trace the request (when traceEnabled is 1), clear the line errors,
// write, clear the line errors, read 2*N+7 bytes (8 for a write), trace the answer, take the line
// errors, check the reply, unpack the values whatever the flags (bytes that did not arrive read as 0).
// The read ends by the silence after the reply, except while its bytes show the awaited reply has begun
// and is not whole yet: then only the reply's end or the total time-out ends it.
// A count outside the range of the function is refused before any I/O with RefusedCountFlags.
//
// On a port whose framing is Modbus TCP the same order holds with Modbus TCP frames: the request
// carries the next transaction identifier and the address as its unit, the reply is read by its
// length (a late reply to an earlier request is passed over) and checked by CheckModbusTcpReply; a
// stream that cannot be framed leaves the port hung up, so that it is connected afresh.
class RtuMaster : public ModbusMaster {
  public:
    RtuMaster(SerialPort& port, const LinkSettings& settings) : port_(port), settings_(settings) {}

    ResultFlags readHoldingRegisters(int startRegister, int count, uint16_t* values,
                                     uint8_t& exceptionCode) override;
    ResultFlags writeMultipleRegisters(int startRegister, int count, const uint16_t* values,
                                       uint8_t& exceptionCode) override;

    // The clock that stamps the trace blocks (the local time unless replaced, e.g. by tests).
    void setTraceClock(TraceClock clock) { trace_.setClock(std::move(clock)); }
    // Who is told of every transaction that went on the wire (nobody unless set).
    void setObserver(ExchangeObserver observer) { observer_ = std::move(observer); }

  private:
    SerialPort& port_;
    const LinkSettings& settings_;
    ExchangeTrace trace_;
    ExchangeObserver observer_;
    uint16_t transaction_ = 0; // of the last Modbus TCP request

    // What one transaction passed through the port.
    struct Passage {
        size_t received = 0;
        uint32_t lineErrors = 0;
        ExchangeRecord::Clock::time_point sent{};
        ExchangeRecord::Clock::time_point ended{};
    };
    // The steps of every transaction, whatever its framing: purge the port, set the read time-outs,
    // trace the request, clear the line errors, write, clear them again, read the reply of at most
    // asked bytes as cut ends it, trace the answer, take the line errors.
    Passage pass(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t asked,
                 const FrameCutter& cut, TraceKind kind);
    // One Modbus TCP transaction of the RTU request rtu (its PDU is sent without address and CRC).
    ResultFlags modbusTcpExchange(const uint8_t* rtu, size_t rtuLength, int count, uint16_t* values,
                                  uint8_t& exceptionCode);
    void notify(Framing framing, const uint8_t* request, size_t requestLength, const uint8_t* reply,
                size_t replyLength, ResultFlags flags, uint8_t exceptionCode,
                ExchangeRecord::Clock::time_point sent, ExchangeRecord::Clock::time_point ended) const;
};

} // namespace olv::link
