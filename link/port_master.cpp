#include "link/port_master.h"

#include "link/link_settings.h"
#include "link/modbus_tcp_frame.h"

#include <algorithm>

namespace olv::link {

namespace {

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

ReadTimeouts ModbusTcpReadTimeouts(int32_t timeoutMs) {
    ReadTimeouts timeouts;
    timeouts.constantMs = timeoutMs > 0 ? static_cast<uint32_t>(timeoutMs) : 0;
    return timeouts;
}

ResultFlags PortMaster::readHoldingRegisters(int startRegister, int count, uint16_t* values,
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
    const Passage passage = pass(request, requestLength, reply, asked,
                                 RtuCutter(FunctionReadHolding, settings_.address, count, asked),
                                 TraceKind::Read, ReadTimeoutsFor(settings_.baudRate, settings_.timeoutMs));
    const ResultFlags flags =
        CheckReply(FunctionReadHolding, reply, passage.received, count, settings_.address, settings_.parity,
                   passage.lineErrors, exceptionCode);
    notify(Framing::Rtu, request, requestLength, reply, flags, exceptionCode, passage);
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<uint16_t>(256 * reply[3 + 2 * i] + reply[4 + 2 * i]);
    return flags;
}

ResultFlags PortMaster::writeMultipleRegisters(int startRegister, int count, const uint16_t* values,
                                               uint8_t& exceptionCode) {
    exceptionCode = 0;
    if (count < 1 || count > MaxWriteCount) return RefusedCountFlags;

    uint8_t request[FrameBufferSize] = {};
    uint8_t reply[FrameBufferSize] = {};
    const size_t requestLength = BuildWriteRequest(settings_.address, startRegister, count, values, request);
    if (port_.framing() == Framing::ModbusTcp)
        return modbusTcpExchange(request, requestLength, count, nullptr, exceptionCode);
    const size_t asked = 8;
    const Passage passage = pass(request, requestLength, reply, asked,
                                 RtuCutter(FunctionWriteMultiple, settings_.address, count, asked),
                                 TraceKind::Write, ReadTimeoutsFor(settings_.baudRate, settings_.timeoutMs));
    const ResultFlags flags =
        CheckReply(FunctionWriteMultiple, reply, passage.received, count, settings_.address, settings_.parity,
                   passage.lineErrors, exceptionCode);
    notify(Framing::Rtu, request, requestLength, reply, flags, exceptionCode, passage);
    return flags;
}

ResultFlags PortMaster::modbusTcpExchange(const uint8_t* rtu, size_t rtuLength, int count, uint16_t* values,
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
    // Room for the header and the reply's own length; the frame itself ends the read. A network port
    // has no line errors.
    const size_t asked = MbapPrefixLength + expectedPdu + 3;
    const Passage passage = pass(
        request, requestLength, reply, asked,
        [transaction, asked](const uint8_t* bytes, size_t n) {
            return CutModbusTcpReply(bytes, n, transaction, asked);
        },
        kind, ModbusTcpReadTimeouts(settings_.timeoutMs));
    const size_t received = passage.received;

    const ResultFlags flags = CheckModbusTcpReply(reply, received, transaction, settings_.address, function,
                                                  expectedPdu, exceptionCode);
    notify(Framing::ModbusTcp, request, requestLength, reply, flags, exceptionCode, passage);
    if (values) {
        for (int i = 0; i < count; ++i) {
            const size_t at = MbapHeaderLength + 2 + 2 * static_cast<size_t>(i);
            values[i] = static_cast<uint16_t>(256 * reply[at] + reply[at + 1]);
        }
    }
    return flags;
}

PortMaster::Passage PortMaster::pass(const uint8_t* request, size_t requestLength, uint8_t* reply,
                                     size_t asked, const FrameCutter& cut, TraceKind kind,
                                     const ReadTimeouts& timeouts) {
    const bool trace = settings_.traceEnabled == 1;
    Passage passage;
    port_.purge(); // late bytes of an earlier exchange go with it
    port_.setReadTimeouts(timeouts);
    if (trace) trace_.appendSend(settings_.traceFileName, request, requestLength);
    port_.takeLineErrors();
    passage.sent = ExchangeRecord::Clock::now();
    port_.write(request, requestLength);
    port_.takeLineErrors();
    const FrameCutter counting = [&cut, &passage](const uint8_t* bytes, size_t received) {
        const FrameCut frame = cut(bytes, received);
        if (frame.kind == FrameCut::Skip) ++passage.skipped;
        return frame;
    };
    passage.received = std::min(port_.readFrame(reply, asked, counting), asked);
    passage.ended = ExchangeRecord::Clock::now();
    if (trace) trace_.appendAnswer(settings_.traceFileName, kind, reply, passage.received);
    passage.lineErrors = port_.takeLineErrors();
    return passage;
}

void PortMaster::notify(Framing framing, const uint8_t* request, size_t requestLength, const uint8_t* reply,
                        ResultFlags flags, uint8_t exceptionCode, const Passage& passage) const {
    if (!observer_) return;
    observer_(ExchangeRecord{framing, request, requestLength, reply, passage.received, flags, exceptionCode,
                             passage.sent, passage.ended, passage.skipped});
}

} // namespace olv::link
