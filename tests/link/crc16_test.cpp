#include "link/crc16.h"

#include <gtest/gtest.h>

using olv::link::Crc16;

TEST(Crc16, ReadRequestOfThreeRegistersFromFifteen) {
    const uint8_t request[] = {0x01, 0x03, 0x00, 0x0F, 0x00, 0x03};
    EXPECT_EQ(Crc16(request, 5), 0xC835);
}

TEST(Crc16, FrameFollowedByItsCrcGivesZero) {
    const uint8_t frame[] = {0x01, 0x83, 0x02, 0xC0, 0xF1};
    EXPECT_EQ(Crc16(frame, 4), 0);
}
