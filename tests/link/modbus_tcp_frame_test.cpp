// The Modbus TCP framer and the cut of replies by their length, as a table of byte streams.
#include "link/modbus_tcp_frame.h"
#include "link/rtu_master.h"

#include <gtest/gtest.h>

#include <vector>

using namespace olv::link;
using Bytes = std::vector<uint8_t>;

TEST(ModbusTcpFrame, ARequestIsHeaderAndPdu) {
    const uint8_t pdu[] = {0x03, 0x00, 0x0F, 0x00, 0x03};
    uint8_t frame[12] = {};
    ASSERT_EQ(BuildModbusTcpFrame(0x1234, 0x105, pdu, sizeof pdu, frame), 12u);
    EXPECT_EQ(Bytes(frame, frame + 12), (Bytes{0x12, 0x34, 0, 0, 0, 6, 0x05, 0x03, 0x00, 0x0F, 0x00, 0x03}));
}

TEST(ModbusTcpFrame, RepliesAreCutAndCheckedByTheirHeader) {
    // Replies to transaction 7, a read of one register from unit 1 (normal PDU 4 bytes), buffer 13.
    struct Case {
        const char* name;
        Bytes bytes;
        FrameCut::Kind cut;
        size_t length;
        ResultFlags flags;
        uint8_t code;
    } cases[] = {
        {"Whole", {0, 7, 0, 0, 0, 5, 1, 3, 2, 0x12, 0x34}, FrameCut::Whole, 11, 0, 0},
        {"HeaderNotYet", {0, 7, 0, 0, 0}, FrameCut::More, 6, WrongLength, 0},
        {"PduNotYet", {0, 7, 0, 0, 0, 5, 1, 3}, FrameCut::More, 11, WrongLength, 0},
        {"OlderTransaction", {0, 6, 0, 0, 0, 5, 1, 3, 2, 0, 0}, FrameCut::Skip, 11, WrongLength, 0},
        {"LongerOlderOneIsSkippedToo", {0, 6, 0, 0, 0, 0xFE}, FrameCut::Skip, 260, WrongLength, 0},
        {"LengthZero", {0, 7, 0, 0, 0, 0}, FrameCut::Broken, 6, WrongLength, 0},
        {"LengthOne", {0, 7, 0, 0, 0, 1, 1}, FrameCut::Broken, 7, WrongLength, 0},
        {"Length65535", {0, 7, 0, 0, 0xFF, 0xFF}, FrameCut::Broken, 6, WrongLength, 0},
        {"ProtocolNotZero", {0, 7, 0, 1, 0, 5, 1, 3, 2, 0, 0}, FrameCut::Broken, 11, WrongLength, 0},
        {"OursTooLongForTheBuffer", {0, 7, 0, 0, 0, 9}, FrameCut::Broken, 6, WrongLength, 0},
        {"OtherUnit", {0, 7, 0, 0, 0, 5, 2, 3, 2, 0, 0}, FrameCut::Whole, 11, WrongAddress, 0},
        {"OtherFunction", {0, 7, 0, 0, 0, 5, 1, 4, 2, 0, 0}, FrameCut::Whole, 11, WrongFunction, 0},
        {"ShorterPdu", {0, 7, 0, 0, 0, 4, 1, 3, 1, 0}, FrameCut::Whole, 10, WrongLength, 0},
        {"Exception11", {0, 7, 0, 0, 0, 3, 1, 0x83, 11}, FrameCut::Whole, 9,
         ExceptionReply | WrongFunction | WrongLength, 11},
        {"Nothing", {}, FrameCut::More, 6, NoReply | WrongLength, 0},
    };
    for (const Case& c : cases) {
        const FrameCut cut = CutModbusTcpReply(c.bytes.data(), c.bytes.size(), 7, 13);
        EXPECT_EQ(cut.kind, c.cut) << c.name;
        EXPECT_EQ(cut.length, c.length) << c.name;
        uint8_t code = 0xEE;
        EXPECT_EQ(CheckModbusTcpReply(c.bytes.data(), c.bytes.size(), 7, 1, 3, 4, code), c.flags) << c.name;
        EXPECT_EQ(code, c.code) << c.name;
    }
}

TEST(RtuFrame, OverANetworkAReplyEndsByItsOwnLength) {
    // A read of 3 registers: 13 bytes asked, 11 for a normal reply.
    struct Case {
        const char* name;
        Bytes bytes;
        FrameCut::Kind cut;
        size_t length;
    } cases[] = {
        {"AddressOnly", {1}, FrameCut::More, 2},
        {"NoByteCountYet", {1, 3}, FrameCut::More, 3},
        {"ByteCountTellsTheRest", {1, 3, 6, 0}, FrameCut::More, 11},
        {"ReadWhole", {1, 3, 6, 0, 0, 0, 0, 0, 0, 0xAA, 0xBB}, FrameCut::Whole, 11},
        {"ExceptionEndsAtFive", {1, 0x83, 2, 0xC0, 0xF1}, FrameCut::Whole, 5},
        {"WriteReplyIsEight", {1, 16, 0}, FrameCut::More, 8},
        {"ByteCountBeyondTheBuffer", {1, 3, 200}, FrameCut::More, 13},
        {"OtherFunctionWaitsForANormalLength", {1, 4}, FrameCut::More, 11},
    };
    for (const Case& c : cases) {
        const FrameCut cut = CutRtuReply(13, c.bytes.data(), c.bytes.size());
        EXPECT_EQ(cut.kind, c.cut) << c.name;
        EXPECT_EQ(cut.length, c.length) << c.name;
    }
}
