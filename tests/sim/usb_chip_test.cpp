// The simulator's USB chip: what it takes from the line reaches the host in packets.
#include "sim/usb_chip.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using olv::sim::UsbChip;
using Bytes = std::vector<uint8_t>;

TEST(UsbChip, BytesWaitForTheTimerThatRunsFromTheLastPacket) {
    UsbChip chip(0.016);
    EXPECT_GT(chip.nextDue(), 1e299) << "nothing waits";
    chip.put(0x01, 0.001);
    chip.put(0x03, 0.0016);
    EXPECT_TRUE(chip.take(0.0159).empty());
    EXPECT_DOUBLE_EQ(chip.nextDue(), 0.016);
    const auto first = chip.take(0.016);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].bytes, (Bytes{0x01, 0x03}));
    EXPECT_DOUBLE_EQ(first[0].at, 0.016);
    // Idle expiries go on without packets to show: a byte at 40 ms goes at the expiry of 48 ms.
    chip.put(0x06, 0.040);
    const auto second = chip.take(1.0);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_DOUBLE_EQ(second[0].at, 0.048);
}

TEST(UsbChip, AReplyAcrossAnExpiryComesInTwoPackets) {
    // Eleven bytes at 19200 bit/s (0.573 ms each) from 12 ms on: the 16 ms expiry falls inside them.
    UsbChip chip(0.016);
    for (int i = 0; i < 11; ++i)
        chip.put(static_cast<uint8_t>(i), 0.012 + i * 11.0 / 19200);
    const auto packets = chip.take(1.0);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].bytes, (Bytes{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_DOUBLE_EQ(packets[1].at, 0.032);
    EXPECT_EQ(packets[1].bytes.size(), 4u);
}

TEST(UsbChip, SixtyTwoWaitingBytesGoAtOnceAndStartTheTimerAgain) {
    UsbChip chip(0.040);
    for (int i = 0; i < 70; ++i)
        chip.put(static_cast<uint8_t>(i), 0.001 + i * 0.0001);
    const double full = 0.001 + 61 * 0.0001;
    const auto packets = chip.take(1.0);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].bytes.size(), UsbChip::PacketBytes);
    EXPECT_DOUBLE_EQ(packets[0].at, full);
    EXPECT_EQ(packets[1].bytes.size(), 8u);
    EXPECT_NEAR(packets[1].at, full + 0.040, 1e-12);
}

TEST(UsbChip, ClearDropsWhatWaits) {
    UsbChip chip(0.016);
    chip.put(0x01, 0.001);
    chip.clear();
    EXPECT_TRUE(chip.take(1.0).empty());
    EXPECT_GT(chip.nextDue(), 1e299);
}

TEST(UsbChip, RandomStreamsComeOutWholeInOrderAndLateByAtMostTheLatency) {
    std::mt19937 random(3);
    for (double latency : {0.001, 0.016, 0.040, 0.255}) {
        UsbChip chip(latency, std::uniform_real_distribution<double>(0, latency)(random));
        Bytes sent, got;
        std::vector<double> sentAt;
        double at = 0, lastPacket = 0;
        for (int i = 0; i < 3000; ++i) {
            // Bursts at the rates in use, and pauses of up to a second.
            at += random() % 20 ? 11.0 / 38400 * (1 + random() % 32) : (random() % 1000) / 1000.0;
            sent.push_back(static_cast<uint8_t>(random()));
            sentAt.push_back(at);
            chip.put(sent.back(), at);
            if (random() % 7 == 0) {
                for (const auto& packet : chip.take(at)) {
                    ASSERT_LE(packet.bytes.size(), UsbChip::PacketBytes);
                    ASSERT_LE(packet.at, at);
                    ASSERT_GE(packet.at, lastPacket);
                    lastPacket = packet.at;
                    for (uint8_t b : packet.bytes) {
                        ASSERT_LE(packet.at - sentAt[got.size()], latency + 1e-9);
                        got.push_back(b);
                    }
                }
            }
        }
        for (const auto& packet : chip.take(at + 1))
            got.insert(got.end(), packet.bytes.begin(), packet.bytes.end());
        EXPECT_EQ(got, sent) << latency;
    }
}
