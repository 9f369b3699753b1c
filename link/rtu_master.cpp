#include "link/rtu_master.h"

#include "link/crc16.h"
#include "link/link_settings.h"
#include "link/modbus_tcp_frame.h"

#include <algorithm>
#include <cstring>

namespace olv::link {

namespace {

void PutCrc(uint8_t* frame, size_t length) {
    const uint16_t crc = Crc16(frame, static_cast<int>(length) - 1);
    frame[length] = static_cast<uint8_t>(crc & 0xFF); // the CRC travels low byte first
    frame[length + 1] = static_cast<uint8_t>(crc >> 8);
}

void PutHeader(int address, uint8_t function, int startRegister, int count, uint8_t* frame) {
    frame[0] = static_cast<uint8_t>(address & 0xFF);
    frame[1] = function;
    frame[2] = static_cast<uint8_t>((startRegister >> 8) & 0xFF);
    frame[3] = static_cast<uint8_t>(startRegister & 0xFF);
    frame[4] = 0;
    frame[5] = static_cast<uint8_t>(count & 0xFF);
}

FrameCutter RtuCutter(uint8_t function, int address, int count, size_t asked) {
    return [=](const uint8_t* bytes, size_t received) {
        return CutAwaitedRtuReply(function, address, count, asked, bytes, received);
    };
}

} // namespace

ReadTimeouts ReadTimeoutsFor(int baudRate, int32_t timeoutMs) {
    // Interval and per-byte allowance: about the time of 20 characters at the rate.
    static constexpr struct {
        int baudRate;
        uint32_t intervalMs;
        uint32_t multiplierMs;
    } rows[] = {{1200, 192, 192}, {2400, 96, 96},  {4800, 48, 48},
                {9600, 24, 24},   {19200, 12, 12}, {38400, 6, 6}};
    ReadTimeouts timeouts{48, 32, 0}; // any other rate
    for (const auto& row : rows) {
        if (row.baudRate == baudRate) {
            timeouts.intervalMs = row.intervalMs;
            timeouts.multiplierMs = row.multiplierMs;
        }
    }
    // A negative time-out read from a hand-edited settings file would otherwise turn into a wait of
    // weeks; it counts as no extra wait at all.
    timeouts.constantMs = timeoutMs > 0 ? static_cast<uint32_t>(timeoutMs) : 0;
    return timeouts;
}

size_t BuildReadRequest(int address, int startRegister, int count, uint8_t* frame) {
    PutHeader(address, FunctionReadHolding, startRegister, count, frame);
    PutCrc(frame, 6);
    return 8;
}

size_t BuildWriteRequest(int address, int startRegister, int count, const uint16_t* values, uint8_t* frame) {
    PutHeader(address, FunctionWriteMultiple, startRegister, count, frame);
    frame[6] = static_cast<uint8_t>((2 * count) & 0xFF);
    for (int i = 0; i < count; ++i) {
        frame[7 + 2 * i] = static_cast<uint8_t>(values[i] >> 8);
        frame[8 + 2 * i] = static_cast<uint8_t>(values[i] & 0xFF);
    }
    const size_t length = static_cast<size_t>(2 * count + 7);
    PutCrc(frame, length);
    return length + 2;
}

size_t ExpectedReplyLength(uint8_t function, int count) {
    return function == FunctionWriteMultiple ? 8 : static_cast<size_t>(2 * count + 5);
}

ResultFlags CheckReply(uint8_t function, const uint8_t* reply, size_t received, int count, int address,
                       int parity, uint32_t lineErrors, uint8_t& exceptionCode) {
    exceptionCode = 0;
    // Judge the reply in a zero-filled buffer of its own: bytes that did not arrive read as 0.
    uint8_t buffer[FrameBufferSize] = {};
    if (reply && received > 0) std::memcpy(buffer, reply, std::min(received, sizeof buffer));
    const size_t expected = ExpectedReplyLength(function, std::clamp(count, 1, MaxReadCount));
    const size_t crcAt = expected - 2;

    ResultFlags flags = 0;
    if (parity != 0) {
        const bool lineError =
            function == FunctionReadHolding ? (lineErrors & LineParity) != 0 : lineErrors != 0;
        if (lineError) flags |= ParityError;
    }
    if (received != expected) flags |= WrongLength;
    if (buffer[0] != address) flags |= WrongAddress;
    if (buffer[1] != function) flags |= WrongFunction;
    if (buffer[1] == function + ExceptionBit) {
        flags |= ExceptionReply;
        exceptionCode = buffer[2];
    }
    const uint16_t crc = Crc16(buffer, static_cast<int>(crcAt) - 1);
    if (crc != buffer[crcAt] + 256 * buffer[crcAt + 1]) flags |= CrcMismatch;
    if (received == 0) flags |= NoReply;
    return flags;
}

FrameCut CutRtuReply(size_t asked, const uint8_t* bytes, size_t received) {
    size_t length = asked >= 2 ? asked - 2 : asked;
    if (received < 2) return {FrameCut::More, 2};
    if (bytes[1] & ExceptionBit) {
        length = 5;
    } else if (bytes[1] == FunctionReadHolding) {
        if (received < 3) return {FrameCut::More, 3};
        length = static_cast<size_t>(bytes[2]) + 5;
    } else if (bytes[1] == FunctionWriteMultiple) {
        length = 8;
    }
    length = std::min(length, asked);
    return received >= length ? FrameCut{FrameCut::Whole, length} : FrameCut{FrameCut::More, length};
}

bool BeginsAwaitedReply(uint8_t function, int address, int count, const uint8_t* bytes, size_t received) {
    if (received < 1 || bytes[0] != address) return false;
    if (received < 2) return true;
    if (bytes[1] == (function | ExceptionBit)) return true;
    if (bytes[1] != function) return false;
    return function != FunctionReadHolding || received < 3 || bytes[2] == 2 * count;
}

FrameCut CutAwaitedRtuReply(uint8_t function, int address, int count, size_t asked, const uint8_t* bytes,
                            size_t received) {
    FrameCut cut = CutRtuReply(asked, bytes, received);
    cut.awaited = cut.kind == FrameCut::More && BeginsAwaitedReply(function, address, count, bytes, received);
    return cut;
}

ResultFlags RtuMaster::readHoldingRegisters(int startRegister, int count, uint16_t* values,
                                            uint8_t& exceptionCode) {
    exceptionCode = 0;
    if (count < 1 || count > MaxReadCount) return RefusedCountFlags;

    uint8_t request[FrameBufferSize] = {};
    uint8_t reply[FrameBufferSize] = {};
    const size_t requestLength = BuildReadRequest(settings_.address, startRegister, count, request);
    if (port_.framing() == Framing::ModbusTcp)
        return modbusTcpExchange(request, requestLength, count, values, exceptionCode);
    // Two bytes more than a full reply: on a serial line a complete reply ends the read by the
    // inter-byte gap.
    const size_t asked = static_cast<size_t>(2 * count + 7);
    const Passage passage =
        pass(request, requestLength, reply, asked,
             RtuCutter(FunctionReadHolding, settings_.address, count, asked), TraceKind::Read);
    const ResultFlags flags =
        CheckReply(FunctionReadHolding, reply, passage.received, count, settings_.address, settings_.parity,
                   passage.lineErrors, exceptionCode);
    notify(Framing::Rtu, request, requestLength, reply, passage.received, flags, exceptionCode, passage.sent,
           passage.ended);
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<uint16_t>(256 * reply[3 + 2 * i] + reply[4 + 2 * i]);
    return flags;
}

ResultFlags RtuMaster::writeMultipleRegisters(int startRegister, int count, const uint16_t* values,
                                              uint8_t& exceptionCode) {
    exceptionCode = 0;
    if (count < 1 || count > MaxWriteCount) return RefusedCountFlags;

    uint8_t request[FrameBufferSize] = {};
    uint8_t reply[FrameBufferSize] = {};
    const size_t requestLength = BuildWriteRequest(settings_.address, startRegister, count, values, request);
    if (port_.framing() == Framing::ModbusTcp)
        return modbusTcpExchange(request, requestLength, count, nullptr, exceptionCode);
    const size_t asked = 8;
    const Passage passage =
        pass(request, requestLength, reply, asked,
             RtuCutter(FunctionWriteMultiple, settings_.address, count, asked), TraceKind::Write);
    const ResultFlags flags =
        CheckReply(FunctionWriteMultiple, reply, passage.received, count, settings_.address, settings_.parity,
                   passage.lineErrors, exceptionCode);
    notify(Framing::Rtu, request, requestLength, reply, passage.received, flags, exceptionCode, passage.sent,
           passage.ended);
    return flags;
}

ResultFlags RtuMaster::modbusTcpExchange(const uint8_t* rtu, size_t rtuLength, int count, uint16_t* values,
                                         uint8_t& exceptionCode) {
    const uint8_t function = rtu[1];
    uint8_t request[MaxModbusTcpFrame] = {};
    uint8_t reply[MaxModbusTcpFrame] = {};
    const uint16_t transaction = ++transaction_;
    const size_t requestLength =
        BuildModbusTcpFrame(transaction, settings_.address, rtu + 1, rtuLength - 3, request);
    const TraceKind kind = function == FunctionReadHolding ? TraceKind::Read : TraceKind::Write;
    // The PDU of a normal reply: function, byte count, the words; or function, register, count.
    const size_t expectedPdu = function == FunctionReadHolding ? static_cast<size_t>(2 * count + 2) : 5;
    // The budget of the RTU read, with room for the header; the frame itself ends the read. A network
    // port has no line errors.
    const size_t asked = MbapPrefixLength + expectedPdu + 3;
    const Passage passage = pass(
        request, requestLength, reply, asked,
        [transaction, asked](const uint8_t* bytes, size_t n) {
            return CutModbusTcpReply(bytes, n, transaction, asked);
        },
        kind);
    const size_t received = passage.received;

    const ResultFlags flags = CheckModbusTcpReply(reply, received, transaction, settings_.address, function,
                                                  expectedPdu, exceptionCode);
    notify(Framing::ModbusTcp, request, requestLength, reply, received, flags, exceptionCode, passage.sent,
           passage.ended);
    if (values) {
        for (int i = 0; i < count; ++i) {
            const size_t at = MbapHeaderLength + 2 + 2 * static_cast<size_t>(i);
            values[i] = static_cast<uint16_t>(256 * reply[at] + reply[at + 1]);
        }
    }
    return flags;
}

RtuMaster::Passage RtuMaster::pass(const uint8_t* request, size_t requestLength, uint8_t* reply, size_t asked,
                                   const FrameCutter& cut, TraceKind kind) {
    const bool trace = settings_.traceEnabled == 1;
    Passage passage;
    port_.purge(); // late bytes of an earlier exchange go with it
    port_.setReadTimeouts(ReadTimeoutsFor(settings_.baudRate, settings_.timeoutMs));
    if (trace) trace_.appendSend(settings_.traceFileName, request, requestLength);
    port_.takeLineErrors();
    passage.sent = ExchangeRecord::Clock::now();
    port_.write(request, requestLength);
    port_.takeLineErrors();
    passage.received = std::min(port_.readFrame(reply, asked, cut), asked);
    passage.ended = ExchangeRecord::Clock::now();
    if (trace) trace_.appendAnswer(settings_.traceFileName, kind, reply, passage.received);
    passage.lineErrors = port_.takeLineErrors();
    return passage;
}

void RtuMaster::notify(Framing framing, const uint8_t* request, size_t requestLength, const uint8_t* reply,
                       size_t replyLength, ResultFlags flags, uint8_t exceptionCode,
                       ExchangeRecord::Clock::time_point sent,
                       ExchangeRecord::Clock::time_point ended) const {
    if (!observer_) return;
    observer_(ExchangeRecord{framing, request, requestLength, reply, replyLength, flags, exceptionCode, sent,
                             ended});
}

} // namespace olv::link
