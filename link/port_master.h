#pragma once

#include "link/exchange_record.h"
#include "link/exchange_trace.h"
#include "link/modbus_master.h"
#include "link/port.h"
#include "link/rtu_frame.h"

#include <cstddef>
#include <cstdint>

namespace olv::link {

struct LinkSettings;

// The flags of a transaction refused before any I/O because its count lies outside 1..MaxReadCount
// (read) or 1..MaxWriteCount (write): nothing went out and nothing came back. The values are left as
// they were and the exception code is 0.
inline constexpr ResultFlags RefusedCountFlags = NoReply | WrongLength;

// The read time-outs of a transaction: interval and per-byte multiplier by baud rate (1200..38400 have
// their own row, any other rate gets 48/32), constant = timeoutMs (a negative value counts as 0).
ReadTimeouts ReadTimeoutsFor(int baudRate, int32_t timeoutMs);
// The read time-outs of a Modbus TCP transaction: the time-out alone (a negative value counts as 0).
// The network has no characters to allow time for, and the gateway times its own serial line: a reply
// later than that is refused, and passed over as a reply of another transaction should it come while
// the next one waits.
ReadTimeouts ModbusTcpReadTimeouts(int32_t timeoutMs);

// The Modbus master on the program's port, for an RTU line and a Modbus TCP gateway alike. Address,
// baud rate (for the read time-outs), time-out, parity check and trace switch are taken from the link
// settings at the moment of each call.
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
// length within the time-out alone (ModbusTcpReadTimeouts; a late reply to an earlier request is passed
// over and counted in the record's skippedReplies) and checked by CheckModbusTcpReply; a stream that
// cannot be framed leaves the port hung up, so that it is connected afresh.
class PortMaster : public ModbusMaster {
  public:
    PortMaster(Port& port, const LinkSettings& settings) : port_(port), settings_(settings) {}

    ResultFlags readHoldingRegisters(int startRegister, int count, uint16_t* values,
                                     uint8_t& exceptionCode) override;
    ResultFlags writeMultipleRegisters(int startRegister, int count, const uint16_t* values,
                                       uint8_t& exceptionCode) override;

    // The clock that stamps the trace blocks (the local time unless replaced, e.g. by tests).
    void setTraceClock(TraceClock clock) { trace_.setClock(std::move(clock)); }
    // Who is told of every transaction that went on the wire (nobody unless set).
    void setObserver(ExchangeObserver observer) { observer_ = std::move(observer); }

  private:
    Port& port_;
    const LinkSettings& settings_;
    ExchangeTrace trace_;
    ExchangeObserver observer_;
    uint16_t transaction_ = 0; // of the last Modbus TCP request

    // What one transaction passed through the port.
    struct Passage {
        size_t received = 0;
        uint32_t lineErrors = 0;
        uint64_t skipped = 0; // frames the cut told to skip
        ExchangeRecord::Clock::time_point sent{};
        ExchangeRecord::Clock::time_point ended{};
    };
    // The steps of every transaction, whatever its framing: purge the port, set the read time-outs,
    // trace the request, clear the line errors, write, clear them again, read the reply of at most
    // asked bytes as cut ends it, trace the answer, take the line errors.
    Passage pass(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t asked,
                 const FrameCutter& cut, TraceKind kind, const ReadTimeouts& timeouts);
    // One Modbus TCP transaction of the RTU request rtu (its PDU is sent without address and CRC).
    ResultFlags modbusTcpExchange(const uint8_t* rtu, size_t rtuLength, int count, uint16_t* values,
                                  uint8_t& exceptionCode);
    void notify(Framing framing, const uint8_t* request, size_t requestLength, const uint8_t* reply,
                ResultFlags flags, uint8_t exceptionCode, const Passage& passage) const;
};

} // namespace olv::link
