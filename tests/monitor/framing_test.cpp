// The line monitor's layers without a line: timed bytes into frames, frames into pairs, the capture.
#include "monitor/capture.h"
#include "sim/usb_chip.h"
#include "tests/sim/frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace olv::monitor;
using olv::test::ReadRequest;
using olv::test::WithCrc;
using olv::test::WriteRequest;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes Part(const Bytes& b, size_t from, size_t to) {
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(std::min(to, b.size())));
}

const Bytes Read = ReadRequest(1, 15, 3);
const Bytes Answer = WithCrc({1, 3, 6, 0, 0, 0x3F, 0x9E, 0x04, 0x19}); // status 0, 1.2345 in order 0
const Bytes Refusal = WithCrc({1, 0x83, 2});
const Bytes Write = WriteRequest(1, 8, {0x0503});
const Bytes WriteAck = WithCrc({1, 16, 0, 8, 0, 1});
const Bytes Unknown = WithCrc({1, 43, 14, 1, 0}); // a function whose frames do not give their length
Bytes BrokenAnswer() {
    Bytes b = Answer;
    b.back() ^= 0xFF;
    return b;
}

// ---- Framer ---------------------------------------------------------------------------------------

struct Chunk {
    Bytes bytes;
    Micros gap; // from the last byte before to the first of these
    bool lineError = false;
};
struct Cut {
    Bytes bytes;
    bool crcValid;
    bool lineError = false;
};
struct FramerCase {
    const char* name;
    int baud;
    std::vector<Chunk> chunks;
    std::vector<Cut> frames;
};

std::vector<Cut> Frames(int baud, const std::vector<Chunk>& chunks, std::vector<Micros>* ends = nullptr) {
    std::vector<Cut> out;
    Framer framer(baud, [&](const Frame& f) {
        out.push_back({Bytes(f.bytes, f.bytes + f.size), f.crcValid, f.lineError});
        if (ends) ends->push_back(f.end);
    });
    Micros last = 1000000;
    for (const Chunk& c : chunks) {
        last += c.gap + static_cast<Micros>(c.bytes.size() - 1) * CharacterTime(baud);
        framer.feed(c.bytes.data(), c.bytes.size(), last, c.lineError);
    }
    framer.flush();
    return out;
}

class FramerTest : public testing::TestWithParam<FramerCase> {};

TEST_P(FramerTest, CutsAsASlaveWould) {
    const std::vector<Cut> got = Frames(GetParam().baud, GetParam().chunks);
    ASSERT_EQ(got.size(), GetParam().frames.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].bytes, GetParam().frames[i].bytes) << i;
        EXPECT_EQ(got[i].crcValid, GetParam().frames[i].crcValid) << i;
        EXPECT_EQ(got[i].lineError, GetParam().frames[i].lineError) << i;
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Streams, FramerTest, testing::Values(
    FramerCase{"ApartBySilence", 19200, {{Read, 0}, {Answer, 20000}}, {{Read, true}, {Answer, true}}},
    FramerCase{"GluedInOneRead", 19200, {{Cat(Read, Answer), 0}}, {{Read, true}, {Answer, true}}},
    FramerCase{"PauseInAFrameOfKnownLength", 19200, {{Part(Read, 0, 3), 0}, {Part(Read, 3, 8), 400000}}, {{Read, true}}},
    FramerCase{"LongPauseEndsAFrameCutShort", 19200, {{Part(Read, 0, 3), 0}, {Part(Read, 3, 8), 600000}},
               {{Part(Read, 0, 3), false}, {Part(Read, 3, 8), false}}},
    FramerCase{"At38400Joins", 38400, {{Part(Unknown, 0, 4), 0}, {Part(Unknown, 4, 7), 1700}}, {{Unknown, true}}},
    FramerCase{"At38400Splits", 38400, {{Part(Unknown, 0, 4), 0}, {Part(Unknown, 4, 7), 1800}},
               {{Part(Unknown, 0, 4), false}, {Part(Unknown, 4, 7), false}}},
    FramerCase{"NoiseGluedBeforeAReply", 19200, {{Cat({0x55, 0x03, 0x55}, Answer), 0}},
               {{{0x55, 0x03, 0x55}, false}, {Answer, true}}},
    FramerCase{"BrokenCrcEndsBySilence", 19200, {{BrokenAnswer(), 0}, {Read, 3000}}, {{BrokenAnswer(), false}, {Read, true}}},
    FramerCase{"ExceptionGluedToTheNextRequest", 19200, {{Cat(Refusal, Read), 0}}, {{Refusal, true}, {Read, true}}},
    FramerCase{"TooShort", 19200, {{{1, 3}, 0}}, {{{1, 3}, false}}},
    FramerCase{"LongerThanAnyFrame", 19200, {{Bytes(300, 0x55), 0}}, {{Bytes(256, 0x55), false}, {Bytes(44, 0x55), false}}},
    FramerCase{"UnknownFunctionGluedBeforeARequest", 19200, {{Cat(Unknown, Read), 0}}, {{Unknown, true}, {Read, true}}},
    FramerCase{"UnknownFunctionEndsBySilence", 19200, {{Unknown, 0}, {Read, 2100}}, {{Unknown, true}, {Read, true}}},
    FramerCase{"LineErrorMarksItsFrame", 19200, {{Write, 0, true}, {WriteAck, 5000}}, {{Write, true, true}, {WriteAck, true}}}),
    [](const auto& info) { return info.param.name; });
// clang-format on

TEST(FramerTiming, BytesOfOneReadAreACharacterApart) {
    std::vector<Micros> ends;
    Frames(19200, {{Cat(Read, Answer), 0}}, &ends);
    const Micros c = CharacterTime(19200);
    const Micros last = 1000000 + 18 * c;
    EXPECT_EQ(ends, (std::vector<Micros>{last - 11 * c, last}));
    EXPECT_EQ(FrameSilence(9600), 4010);
}

// ---- Frames handed over by a USB adapter ---------------------------------------------------------------

// Frames whose length their bytes give, some only once a byte count further in has come: reading and
// writing file records, reading and writing registers at once.
const Bytes FileRead = WithCrc({1, 20, 7, 6, 0, 1, 0, 2, 0, 3});
const Bytes FileAnswer = WithCrc({1, 20, 5, 4, 6, 0, 0x12, 0x34});
const Bytes ReadWrite = WithCrc({1, 23, 0, 0, 0, 1, 0, 5, 0, 1, 2, 0x12, 0x34});
const Bytes Traffic[] = {Read,    Answer,  Write,      WriteAck,  Read,
                         Refusal, FileRead, FileAnswer, ReadWrite, Answer};

class FramerPackets : public testing::TestWithParam<int> {};

TEST_P(FramerPackets, AFrameIsNotSplitAtTheGapBetweenTwoPackets) {
    const int baud = GetParam();
    for (Micros gap : {1000, 16000, 40000}) {
        for (const Bytes& frame : Traffic) {
            for (size_t at = 1; at < frame.size(); ++at) {
                const auto got =
                    Frames(baud, {{Part(frame, 0, at), 0}, {Part(frame, at, frame.size()), gap}, {Read, 100000}});
                ASSERT_EQ(got.size(), 2u)
                    << "gap " << gap << ", cut at " << at << " of " << testing::PrintToString(frame);
                EXPECT_EQ(got[0].bytes, frame);
                EXPECT_TRUE(got[0].crcValid);
            }
        }
    }
}

TEST_P(FramerPackets, TrafficGatheredByAChipAtAnyPhaseComesOutFrameByFrame) {
    // Each frame on the wire a character per byte, a reply 3 ms after its request, the next request
    // 50 ms later; the chip hands them over as its timer runs out, at a random phase.
    const int baud = GetParam();
    const double character = CharacterTime(baud) / 1e6;
    std::mt19937 random(baud);
    for (double latency : {0.001, 0.016, 0.040}) {
        for (int round = 0; round < 20; ++round) {
            olv::sim::UsbChip chip(latency, std::uniform_real_distribution<double>(0, latency)(random));
            double at = 1.0;
            for (size_t i = 0; i < std::size(Traffic); ++i) {
                at += i % 2 ? 0.003 : 0.050;
                for (uint8_t b : Traffic[i])
                    chip.put(b, at += character);
            }
            std::vector<Bytes> got;
            Framer framer(baud, [&](const Frame& f) {
                EXPECT_TRUE(f.crcValid);
                got.emplace_back(f.bytes, f.bytes + f.size);
            });
            for (const auto& packet : chip.take(at + 1))
                framer.feed(packet.bytes.data(), packet.bytes.size(), static_cast<Micros>(packet.at * 1e6));
            framer.flush();
            ASSERT_EQ(got, std::vector<Bytes>(std::begin(Traffic), std::end(Traffic)))
                << "latency " << latency;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRate, FramerPackets, testing::Values(1200, 2400, 4800, 9600, 19200, 38400),
                         [](const auto& info) { return std::to_string(info.param); });

// ---- Pairer ---------------------------------------------------------------------------------------

struct Seen {
    Bytes bytes;
    Micros end;
    Direction direction;
    int64_t request = -1;
    int64_t unanswered = -1;
};
struct PairCase {
    const char* name;
    std::vector<Seen> frames;
};

class PairerTest : public testing::TestWithParam<PairCase> {};

TEST_P(PairerTest, PairsRepliesWithTheirRequests) {
    const Micros c = CharacterTime(19200);
    Pairer pairer(100000, c);
    int64_t sequence = 0;
    for (const Seen& s : GetParam().frames) {
        const Frame f{s.bytes.data(), s.bytes.size(), s.end, CrcValid(s.bytes.data(), s.bytes.size())};
        const Pairing p = pairer.add(f, sequence);
        EXPECT_EQ(p.direction, s.direction) << sequence;
        EXPECT_EQ(p.request, s.request) << sequence;
        EXPECT_EQ(p.unanswered, s.unanswered) << sequence;
        if (p.request >= 0) {
            EXPECT_EQ(p.latency, std::max<Micros>(0, s.end - static_cast<Micros>(s.bytes.size()) * c - 10000));
        }
        ++sequence;
    }
}

using D = Direction;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Lines, PairerTest, testing::Values(
    PairCase{"ReplyInTime", {{Read, 10000, D::Request}, {Answer, 30000, D::Reply, 0}}},
    // Received in one burst with its request, it seems to begin before the request ended: still its reply.
    PairCase{"ReplyTakenWithItsRequest", {{Read, 10000, D::Request}, {Answer, 12000, D::Reply, 0}}},
    PairCase{"ReplyTooLate", {{Read, 10000, D::Request}, {Answer, 200000, D::Reply, -1, 0}}},
    PairCase{"NextRequestEndsTheWait", {{Read, 10000, D::Request}, {ReadRequest(2, 0, 6), 60000, D::Request, -1, 0}}},
    PairCase{"BroadcastWaitsForNobody", {{WriteRequest(0, 9, {1}), 10000, D::Request}, {Read, 60000, D::Request}}},
    PairCase{"OtherAddressDoesNotAnswer",
             {{Read, 10000, D::Request}, {WithCrc({2, 3, 6, 0, 0, 0, 0, 0, 0}), 30000, D::Reply, -1, 0}}},
    PairCase{"ExceptionAnswers", {{Read, 10000, D::Request}, {Refusal, 30000, D::Reply, 0}}},
    PairCase{"WrongWordCountDoesNotAnswer",
             {{Read, 10000, D::Request}, {WithCrc({1, 3, 4, 0, 0, 0, 0}), 30000, D::Reply, -1, 0}}},
    PairCase{"WriteAckEchoesTheRegisters", {{Write, 10000, D::Request}, {WriteAck, 30000, D::Reply, 0}}},
    PairCase{"WriteAckOfOtherRegisters", {{Write, 10000, D::Request}, {WithCrc({1, 16, 0, 9, 0, 1}), 30000, D::Reply, -1, 0}}},
    PairCase{"BrokenFrameInBetween",
             {{Read, 10000, D::Request}, {BrokenAnswer(), 20000, D::Broken}, {Answer, 30000, D::Reply, 0}}}),
    [](const auto& info) { return info.param.name; });
// clang-format on

TEST(PairerTimeout, ExpiresOnceAfterTheTimeout) {
    Pairer pairer(100000, CharacterTime(19200));
    pairer.add(Frame{Read.data(), Read.size(), 10000, true}, 7);
    EXPECT_EQ(pairer.expire(110000), -1);
    EXPECT_EQ(pairer.expire(110001), 7);
    EXPECT_EQ(pairer.expire(500000), -1);
}

// ---- Capture --------------------------------------------------------------------------------------

TEST(Capture, LearnsTheByteOrderCountsAndKeepsTheLastRows) {
    Capture capture({19200, 100, 0, 6});
    Micros t = 1000000;
    const auto line = [&](const Bytes& b) { capture.addRecord(t += 20000, b.data(), b.size()); };
    line(ReadRequest(1, 8, 4));
    line(WithCrc({1, 3, 8, 0x01, 0x04, 0x02, 0x01, 0, 0, 0, 1})); // register 11: order "2 3 0 1"
    line(Read);
    line(WithCrc({1, 3, 6, 0, 0, 0x04, 0x19, 0x3F, 0x9E}));
    line(ReadRequest(2, 15, 3));
    line(WithCrc({2, 0x83, 2}));
    line(BrokenAnswer());
    line(ReadRequest(5, 15, 3));
    capture.idle(t + 200000);

    const Counters& n = capture.counters();
    EXPECT_EQ(n.total.frames, 8);
    EXPECT_EQ(n.total.unanswered, 1);
    EXPECT_EQ(n.total.crcErrors, 1);
    EXPECT_EQ(n.total.exceptions, 1);
    EXPECT_EQ(n.byAddress[1].frames, 4);
    EXPECT_EQ(n.byAddress[1].crcErrors, 1);
    EXPECT_EQ(n.byAddress[2].exceptions, 1);
    EXPECT_EQ(n.byAddress[5].unanswered, 1);

    EXPECT_EQ(capture.firstSequence(), 2);
    EXPECT_EQ(capture.row(1), nullptr);
    const Row& value = *capture.row(3);
    EXPECT_EQ(value.direction, Direction::Reply);
    EXPECT_EQ(DescribeFrame(value.adu(), value.aduSize(), value.direction, value.span, value.context).text,
              QStringLiteral("статус: Нормальное измерение; значение: 1.2345 МПа"));
    EXPECT_TRUE(capture.row(7)->unanswered);
    EXPECT_EQ(capture.row(2)->latency, 20000 - 11 * CharacterTime(19200));
}

TEST(Capture, OwnExchangesKeepTheirResultAndOnlyRtuGoesToTheFile) {
    Capture capture({19200, 1000, 0, 100});
    using Clock = olv::link::ExchangeRecord::Clock;
    olv::link::ExchangeRecord rtu{olv::link::Framing::Rtu,
                                  Read.data(),
                                  Read.size(),
                                  Refusal.data(),
                                  Refusal.size(),
                                  0x1A,
                                  2,
                                  Clock::now(),
                                  Clock::now()};
    capture.addOwn(rtu, 1000000, 1050000);
    const Bytes mbap{0, 1, 0, 0, 0, 6, 1, 3, 0, 15, 0, 3};
    olv::link::ExchangeRecord tcp{olv::link::Framing::ModbusTcp,
                                  mbap.data(),
                                  mbap.size(),
                                  nullptr,
                                  0,
                                  olv::link::NoReply,
                                  0,
                                  Clock::now(),
                                  Clock::now()};
    capture.addOwn(tcp, 2000000, 3000000);

    ASSERT_EQ(capture.endSequence(), 3);
    const Row& request = *capture.row(0);
    EXPECT_TRUE(request.hasResult);
    EXPECT_EQ(request.flags, 0x1A);
    EXPECT_EQ(request.exceptionCode, 2);
    EXPECT_EQ(capture.row(1)->direction, Direction::Reply);
    EXPECT_EQ(request.latency, capture.row(1)->latency);
    const Row& tcpRequest = *capture.row(2);
    EXPECT_EQ(Bytes(tcpRequest.adu(), tcpRequest.adu() + tcpRequest.aduSize()), Part(mbap, 6, 12));
    EXPECT_TRUE(tcpRequest.unanswered);
    EXPECT_EQ(capture.counters().total.unanswered, 1);
    EXPECT_EQ(capture.counters().total.exceptions, 1);
    EXPECT_EQ(capture.spool().size(), 2 * 16 + Read.size() + Refusal.size());
}

} // namespace
