#include "link/rtu_frame.h"

#include "link/crc16.h"

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

} // namespace

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

} // namespace olv::link
