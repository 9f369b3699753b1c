#include "link/modbus_tcp_frame.h"

#include <cstring>

namespace olv::link {

namespace {

uint16_t Word(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

} // namespace

size_t BuildModbusTcpFrame(uint16_t transaction, int unit, const uint8_t* pdu, size_t pduLength,
                           uint8_t* frame) {
    const size_t length = pduLength + 1;
    frame[0] = static_cast<uint8_t>(transaction >> 8);
    frame[1] = static_cast<uint8_t>(transaction & 0xFF);
    frame[2] = 0; // protocol 0: Modbus
    frame[3] = 0;
    frame[4] = static_cast<uint8_t>(length >> 8);
    frame[5] = static_cast<uint8_t>(length & 0xFF);
    frame[6] = static_cast<uint8_t>(unit & 0xFF);
    std::memcpy(frame + MbapHeaderLength, pdu, pduLength);
    return MbapHeaderLength + pduLength;
}

uint16_t MbapTransaction(const uint8_t* frame) {
    return Word(frame);
}

uint16_t MbapLengthField(const uint8_t* frame) {
    return Word(frame + 4);
}

bool MbapHeaderValid(const uint8_t* frame) {
    const uint16_t length = MbapLengthField(frame);
    return Word(frame + 2) == 0 && length >= MinMbapLengthField && length <= MaxMbapLengthField;
}

FrameCut CutModbusTcpReply(const uint8_t* bytes, size_t received, uint16_t transaction, size_t capacity) {
    if (received < MbapPrefixLength) return {FrameCut::More, MbapPrefixLength};
    if (!MbapHeaderValid(bytes)) return {FrameCut::Broken, received};
    const size_t length = MbapPrefixLength + MbapLengthField(bytes);
    if (MbapTransaction(bytes) != transaction) return {FrameCut::Skip, length};
    if (length > capacity) return {FrameCut::Broken, received};
    if (received < length) return {FrameCut::More, length};
    return {FrameCut::Whole, length};
}

bool ModbusTcpReplyWhole(const uint8_t* reply, size_t received, uint16_t transaction) {
    return received > MbapHeaderLength && MbapHeaderValid(reply) && MbapTransaction(reply) == transaction &&
           received == MbapPrefixLength + MbapLengthField(reply);
}

ResultFlags CheckModbusTcpReply(const uint8_t* reply, size_t received, uint16_t transaction, int address,
                                uint8_t function, size_t expectedPduLength, uint8_t& exceptionCode) {
    exceptionCode = 0;
    if (received == 0) return NoReply | WrongLength;
    ResultFlags flags = 0;
    const bool header = received >= MbapPrefixLength;
    if (!header || !MbapHeaderValid(reply) || MbapTransaction(reply) != transaction ||
        received != MbapHeaderLength + expectedPduLength || MbapLengthField(reply) != expectedPduLength + 1 ||
        received != MbapPrefixLength + MbapLengthField(reply))
        flags |= WrongLength;
    if (received <= MbapHeaderLength) return flags; // no function code to judge
    if (reply[6] != address) flags |= WrongAddress;
    const uint8_t answered = reply[MbapHeaderLength];
    if (answered != function) flags |= WrongFunction;
    if (answered == (function | 0x80)) {
        flags |= ExceptionReply;
        if (received > MbapHeaderLength + 1) exceptionCode = reply[MbapHeaderLength + 1];
    }
    return flags;
}

} // namespace olv::link
