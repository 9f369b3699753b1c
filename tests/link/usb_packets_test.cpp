// Replies handed over in packets, as a USB adapter's chip does, through the fake port on a clock of its
// own: the awaited reply is read whole over any gap, everything else ends by silence as before.
#include "link/crc16.h"
#include "link/link_settings.h"
#include "link/port_master.h"
#include "link/termios_port.h"
#include "tests/support/fake_port.h"
#include "tests/support/sim_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <thread>
#include <string>
#include <vector>

using namespace olv::link;
using olv::test::FakePort;
using Bytes = std::vector<uint8_t>;
using Packets = std::vector<FakePort::Packet>;

namespace {

Bytes WithCrc(Bytes frame) {
    const uint16_t crc = Crc16(frame.data(), static_cast<int>(frame.size()) - 1);
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// The reply of instrument 1 to a read of n registers from 15: words 0x1100 + i.
Bytes ReadReply(int n) {
    Bytes frame{0x01, 0x03, static_cast<uint8_t>(2 * n)};
    for (int i = 0; i < n; ++i) {
        frame.push_back(0x11);
        frame.push_back(static_cast<uint8_t>(i));
    }
    return WithCrc(frame);
}

const Bytes kWriteReply = {0x01, 0x10, 0x00, 0x20, 0x00, 0x02, 0x40, 0x02};
const Bytes kReadException = {0x01, 0x83, 0x02, 0xC0, 0xF1};

constexpr int Rates[] = {1200, 2400, 4800, 9600, 19200, 38400};
constexpr double Gaps[] = {1, 16, 40};
constexpr double FirstAfterMs = 3; // the first packet of a reply, after the read began

// The pieces of a reply cut before the given offsets, the first FirstAfterMs after the read began and
// each further one gapMs after the one before.
Packets Cut(const Bytes& reply, std::vector<size_t> cuts, double gapMs) {
    Packets packets;
    size_t from = 0;
    cuts.push_back(reply.size());
    for (size_t to : cuts) {
        packets.push_back(
            {packets.empty() ? FirstAfterMs : gapMs, Bytes(reply.begin() + from, reply.begin() + to)});
        from = to;
    }
    return packets;
}

double LastArrivalMs(const Packets& packets) {
    double at = 0;
    for (const auto& packet : packets)
        at += packet.afterMs;
    return at;
}

// One transaction of the master on the fake port: a read of n registers, or the write of two.
struct Exchange {
    const char* name;
    bool write;
    int count;
    Bytes reply;
    ResultFlags flags;
};

const Exchange kExchanges[] = {
    {"read of 3", false, 3, ReadReply(3), 0},
    {"read of 8", false, 8, ReadReply(8), 0},
    {"read of 124", false, 124, ReadReply(124), 0},
    {"write", true, 2, kWriteReply, 0},
    {"exception", false, 3, kReadException, ExceptionReply | WrongFunction | WrongLength},
};

class UsbPackets : public ::testing::TestWithParam<int> {
  protected:
    UsbPackets() {
        settings.address = 1;
        settings.baudRate = GetParam();
        settings.timeoutMs = 1000;
        master.setObserver([this](const ExchangeRecord& record) {
            received = Bytes(record.reply, record.reply + record.replyLength);
        });
    }

    ResultFlags run(const Exchange& exchange) {
        if (exchange.write) {
            const uint16_t words[2] = {0x1234, 0xABCD};
            return master.writeMultipleRegisters(0x20, 2, words, exc);
        }
        return master.readHoldingRegisters(15, exchange.count, values.data(), exc);
    }
    uint32_t intervalMs() const { return ReadTimeoutsFor(settings.baudRate, 1000).intervalMs; }
    double budgetMs(size_t asked) const {
        const ReadTimeouts t = ReadTimeoutsFor(settings.baudRate, 1000);
        return double(t.multiplierMs) * double(asked) + t.constantMs;
    }

    FakePort port;
    LinkSettings settings;
    PortMaster master{port, settings};
    std::vector<uint16_t> values = std::vector<uint16_t>(124);
    uint8_t exc = 0;
    Bytes received;
};

} // namespace

TEST_P(UsbPackets, CompleteRepliesAreReadWholeOverEveryGapAndEndBySilence) {
    for (const Exchange& exchange : kExchanges) {
        const size_t n = exchange.reply.size();
        // Every cut into two pieces, and into three where the reply is short enough to try them all.
        std::vector<std::vector<size_t>> cuts;
        for (size_t a = 1; a < n; ++a) {
            cuts.push_back({a});
            for (size_t b = a + 1; b < n && n <= 21; ++b)
                cuts.push_back({a, b});
        }
        for (double gap : Gaps) {
            for (const auto& at : cuts) {
                const Packets packets = Cut(exchange.reply, at, gap);
                port.queuePackets(packets);
                const std::string where = std::string(exchange.name) + ", gap " + std::to_string(gap) +
                                          ", cut at " + std::to_string(at[0]);
                ASSERT_EQ(run(exchange), exchange.flags) << where;
                ASSERT_EQ(received, exchange.reply) << where;
                // Whole, the reply ends as one that came at once: by the silence after its last byte, or
                // with it when that was all the read asked for (a write's reply).
                const double silence = n < port.readsAsked.back() ? intervalMs() : 0;
                ASSERT_NEAR(port.lastReadMs, LastArrivalMs(packets) + silence, 1e-3) << where;
                if (!exchange.write && exchange.flags == 0) {
                    ASSERT_EQ(values[size_t(exchange.count - 1)], 0x1100 + exchange.count - 1) << where;
                }
            }
        }
    }
}

TEST_P(UsbPackets, ACutReplyIsReportedAsDesignedOnceTheTotalTimeOutHasPassed) {
    const Bytes reply = ReadReply(3);
    for (double gap : Gaps) {
        for (size_t kept = 1; kept < reply.size(); ++kept) {
            // The first bytes in one packet, the rest of them a gap later, the last never.
            const Bytes part(reply.begin(), reply.begin() + kept);
            port.queuePackets(kept > 1 ? Cut(part, {kept / 2}, gap) : Cut(part, {}, gap));
            port.queueReply(part); // the same bytes at once, as a line without packets gives them
            const ResultFlags inPackets = master.readHoldingRegisters(15, 3, values.data(), exc);
            const double tookMs = port.lastReadMs;
            const Bytes got = received;
            const ResultFlags atOnce = master.readHoldingRegisters(15, 3, values.data(), exc);
            EXPECT_EQ(inPackets, atOnce) << kept;
            EXPECT_EQ(got, part) << kept;
            EXPECT_TRUE(inPackets & WrongLength) << kept;
            EXPECT_NEAR(tookMs, budgetMs(13), 1e-3) << "gap " << gap << ", " << kept << " bytes";
        }
    }
}

TEST_P(UsbPackets, RepliesThatAreNotTheAwaitedOneStillEndAtTheFirstSilence) {
    // What comes first decides: another address, another function, a byte count of other registers,
    // noise in front. Their second piece after a gap longer than the silence is not waited for.
    const Bytes other = WithCrc({0x02, 0x03, 0x06, 0x11, 0x00, 0x11, 0x01, 0x11, 0x02});
    const Bytes function = WithCrc({0x01, 0x04, 0x06, 0x11, 0x00, 0x11, 0x01, 0x11, 0x02});
    const Bytes count = WithCrc({0x01, 0x03, 0x04, 0x11, 0x00, 0x11, 0x01});
    Bytes noise = ReadReply(3);
    noise.insert(noise.begin(), {0x55, 0x55});
    for (const Bytes& reply : {other, function, count, noise}) {
        for (double gap : Gaps) {
            if (gap <= intervalMs()) continue;
            const Packets packets = Cut(reply, {5}, gap);
            port.queuePackets(packets);
            master.readHoldingRegisters(15, 3, values.data(), exc);
            EXPECT_EQ(received, Bytes(reply.begin(), reply.begin() + 5)) << "gap " << gap;
            EXPECT_NEAR(port.lastReadMs, FirstAfterMs + intervalMs(), 1e-3);
        }
    }
}

TEST_P(UsbPackets, BytesAfterAWholeReplyCountAsToday) {
    const Bytes reply = ReadReply(3);
    // In the same packet they make the reply too long; a packet later than the silence is not taken.
    Bytes longer = reply;
    longer.push_back(0x00);
    port.queuePackets(Cut(longer, {4}, 1));
    EXPECT_EQ(master.readHoldingRegisters(15, 3, values.data(), exc), WrongLength);
    for (double gap : Gaps) {
        if (gap <= intervalMs()) continue;
        port.queuePackets({{FirstAfterMs, Bytes(reply.begin(), reply.begin() + 4)},
                           {1, Bytes(reply.begin() + 4, reply.end())},
                           {gap, {0x00, 0x00}}});
        EXPECT_EQ(master.readHoldingRegisters(15, 3, values.data(), exc), 0) << gap;
        EXPECT_EQ(received, reply);
    }
}

TEST_P(UsbPackets, RepliesGatheredByAChipAtAnyPhaseOfItsTimerAreReadWhole) {
    std::mt19937 random(GetParam());
    for (double latency : Gaps) {
        for (int round = 0; round < 100; ++round) {
            const Exchange& exchange = kExchanges[random() % std::size(kExchanges)];
            const double phase = std::uniform_real_distribution<double>(0, latency)(random);
            port.queueThroughUsbChip(exchange.reply, settings.baudRate, latency, phase);
            ASSERT_EQ(run(exchange), exchange.flags)
                << exchange.name << ", latency " << latency << ", phase " << phase;
            ASSERT_EQ(received, exchange.reply);
        }
    }
}

TEST_P(UsbPackets, RandomRepliesInRandomPacketsStayWithinTheBudgetAndAreJudgedAsTheyCame) {
    std::mt19937 random(1000 + GetParam());
    for (int round = 0; round < 300; ++round) {
        // Often the start of the awaited reply, so that the holding is tried with what follows.
        Bytes reply(random() % 40);
        for (uint8_t& b : reply)
            b = static_cast<uint8_t>(random());
        if (reply.size() > 2 && random() % 2) {
            reply[0] = 0x01;
            reply[1] = random() % 4 ? 0x03 : 0x83;
            reply[2] = 0x06;
        }
        Packets packets;
        for (size_t from = 0; from < reply.size();) {
            const size_t to = std::min(reply.size(), from + 1 + random() % 12);
            packets.push_back({double(random() % 300), Bytes(reply.begin() + from, reply.begin() + to)});
            from = to;
        }
        if (packets.empty()) continue;
        port.queuePackets(packets);
        const ResultFlags flags = master.readHoldingRegisters(15, 3, values.data(), exc);
        ASSERT_LE(received.size(), 13u);
        ASSERT_LE(port.lastReadMs, budgetMs(13) + 1e-3);
        uint8_t code = 0;
        ASSERT_EQ(flags, CheckReply(FunctionReadHolding, received.data(), received.size(), 3, 1, 0, 0, code));
        ASSERT_EQ(Bytes(reply.begin(), reply.begin() + long(received.size())), received);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRate, UsbPackets, ::testing::ValuesIn(Rates),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param);
                         });

// ---- the awaited reply, told by its bytes ---------------------------------------------------------

TEST(BeginsAwaitedReply, AddressFunctionOrItsExceptionAndTheByteCountOfTheRegistersAsked) {
    const struct {
        Bytes bytes;
        uint8_t function;
        int address;
        bool awaited;
    } rows[] = {
        {{0x01}, 3, 1, true},
        {{0x02}, 3, 1, false},
        {{0x01}, 3, 0x101, false}, // the whole address is compared
        {{0x01, 0x03}, 3, 1, true},
        {{0x01, 0x83}, 3, 1, true},
        {{0x01, 0x90}, 3, 1, false}, // the exception of another function
        {{0x01, 0x04}, 3, 1, false},
        {{0x01, 0x03, 0x06}, 3, 1, true},
        {{0x01, 0x03, 0x08}, 3, 1, false},
        {{0x01, 0x10, 0x00}, 16, 1, true},
        {{0x01, 0x90, 0x03}, 16, 1, true},
        {{}, 3, 1, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(BeginsAwaitedReply(row.function, row.address, 3, row.bytes.data(), row.bytes.size()),
                  row.awaited)
            << testing::PrintToString(row.bytes);
}

TEST(CutAwaitedRtuReply, AwaitedOnlyUntilWholeAndLengthsAsTheNetworkCutGivesThem) {
    const Bytes reply = ReadReply(3);
    for (size_t n = 1; n <= reply.size(); ++n) {
        const FrameCut cut = CutAwaitedRtuReply(FunctionReadHolding, 1, 3, 13, reply.data(), n);
        const FrameCut plain = CutRtuReply(13, reply.data(), n);
        EXPECT_EQ(cut.kind, plain.kind) << n;
        EXPECT_EQ(cut.length, plain.length) << n;
        EXPECT_EQ(cut.awaited, n < reply.size()) << n;
    }
}

// ---- against the simulator as a USB adapter -------------------------------------------------------

TEST(UsbLatencySimulator, EveryPollIsReadWholeThoughManyRepliesComeInTwoPackets) {
    olv::test::SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--usb-latency", "16", "--no-line-check"}));
    TermiosPort port;
    LinkSettings settings;
    settings.address = 1;
    settings.timeoutMs = 1000;
    PortMaster master(port, settings);
    int failed = 0;
    for (int baudRate : {19200, 38400}) {
        std::string error;
        ASSERT_TRUE(port.open(sim.path(), LineSettings{baudRate, 8, 0}, error)) << error;
        settings.baudRate = baudRate;
        for (int poll = 0; poll < 60; ++poll) {
            // Each read ends a silence after a packet of the chip, so reads back to back would keep one
            // phase to its timer; a pause of its own before each spreads them over the whole period.
            std::this_thread::sleep_for(std::chrono::milliseconds(poll * 5 % 16));
            uint16_t values[8] = {};
            uint8_t exc = 0;
            // The live value's three registers, and the eight of the configuration's first block.
            const int count = poll % 2 ? 8 : 3;
            failed += master.readHoldingRegisters(poll % 2 ? 0 : 15, count, values, exc) != 0 || exc != 0;
        }
    }
    EXPECT_EQ(failed, 0);
    int packets = 0, split = 0;
    ASSERT_EQ(std::sscanf(sim.command("usb").c_str(), "ok latency=16 packets=%d split=%d", &packets, &split), 2);
    EXPECT_GE(split, 20) << "the replies must have come in pieces for the reads to prove anything";
}
