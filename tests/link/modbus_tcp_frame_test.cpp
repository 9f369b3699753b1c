// The Modbus TCP framer and the cut of replies by their length, as tables of byte streams.
#include "link/modbus_tcp_frame.h"
#include "link/port_master.h"

#include <gtest/gtest.h>

#include <vector>

using namespace olv::link;
using Bytes = std::vector<uint8_t>;

TEST(ModbusTcpFrame, RepliesAreCutAndCheckedByTheirHeader) {
    // Replies to transaction 7, a read of one register from unit 1 (normal PDU 4 bytes), buffer 13.
    struct Case {
        const char* name;
        Bytes bytes;
        FrameCut::Kind cut;
        size_t length;
        ResultFlags flags;
    } cases[] = {
        {"Whole", {0, 7, 0, 0, 0, 5, 1, 3, 2, 0x12, 0x34}, FrameCut::Whole, 11, 0},
        {"LengthZero", {0, 7, 0, 0, 0, 0}, FrameCut::Broken, 6, WrongLength},
        {"Length65535", {0, 7, 0, 0, 0xFF, 0xFF}, FrameCut::Broken, 6, WrongLength},
        {"ProtocolNotZero", {0, 7, 0, 1, 0, 5, 1, 3, 2, 0, 0}, FrameCut::Broken, 11, WrongLength},
        {"OtherUnit", {0, 7, 0, 0, 0, 5, 2, 3, 2, 0, 0}, FrameCut::Whole, 11, WrongAddress},
    };
    for (const Case& c : cases) {
        const FrameCut cut = CutModbusTcpReply(c.bytes.data(), c.bytes.size(), 7, 13);
        EXPECT_EQ(std::pair(cut.kind, cut.length), std::pair(c.cut, c.length)) << c.name;
        uint8_t code = 0xEE;
        EXPECT_EQ(CheckModbusTcpReply(c.bytes.data(), c.bytes.size(), 7, 1, 3, 4, code), c.flags) << c.name;
        EXPECT_EQ(code, 0) << c.name;
    }
}

TEST(RtuFrame, OverANetworkAnExceptionReplyEndsAtOnce) {
    const uint8_t exception[] = {1, 0x83, 2, 0xC0, 0xF1}; // to a read of 3 registers, 13 bytes asked
    EXPECT_EQ(CutRtuReply(13, exception, 5).kind, FrameCut::Whole);
}
