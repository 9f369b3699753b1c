// The link health line of the status bar: how exchanges are counted, which state wins, and the line in
// words.
#include "link/link_health.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

using namespace olv::link;

namespace {

ExchangeRecord Exchange(size_t replyLength, ResultFlags flags, int tookMs) {
    ExchangeRecord record;
    record.replyLength = replyLength;
    record.flags = flags;
    record.sent = ExchangeRecord::Clock::time_point(std::chrono::hours(5));
    record.ended = record.sent + std::chrono::milliseconds(tookMs);
    return record;
}

} // namespace

// A silence, a broken checksum, an exception and a good reply each land in their own counter; the
// reply time is that of the last reply that came, which a silence leaves as it was.
TEST(CountExchange, EachOutcomeLandsInItsOwnCounter) {
    LinkCounters counters;
    CountExchange(counters, Exchange(11, 0, 14));
    EXPECT_EQ(LinkCountsText(counters), "запросов 1, ответов 1, без ответа 0, CRC 0, исключений 0 · 14 мс");
    EXPECT_TRUE(counters.answeredLast);

    CountExchange(counters, Exchange(0, NoReply | WrongLength | CrcMismatch, 1000));
    EXPECT_EQ(LinkCountsText(counters), "запросов 2, ответов 1, без ответа 1, CRC 0, исключений 0 · 14 мс");
    EXPECT_FALSE(counters.answeredLast);

    // Bytes came back, but no frame with a matching checksum: it is not an answer.
    CountExchange(counters, Exchange(7, CrcMismatch | WrongLength, 30));
    EXPECT_EQ(LinkCountsText(counters), "запросов 3, ответов 1, без ответа 1, CRC 1, исключений 0 · 30 мс");
    EXPECT_TRUE(counters.answeredLast);

    // An exception reply is an answer of the instrument's.
    CountExchange(counters, Exchange(5, ExceptionReply | WrongLength | WrongFunction, 9));
    EXPECT_EQ(LinkCountsText(counters), "запросов 4, ответов 2, без ответа 1, CRC 1, исключений 1 · 9 мс");
}

// Modbus TCP carries no checksum: a reply is an answer when it is one whole frame of the request's
// transaction, of the length asked for or an exception; anything else that came back is broken.
TEST(CountExchange, OverModbusTcpOnlyWholeFramesOfTheTransactionAreAnswers) {
    using Bytes = std::vector<uint8_t>;
    const Bytes request = {0, 7, 0, 0, 0, 6, 1, 3, 0, 15, 0, 3}; // transaction 7, 3 registers from 15
    const Bytes whole = {0, 7, 0, 0, 0, 9, 1, 3, 6, 0, 0, 0x42, 0xC8, 0, 0};
    const struct {
        const char* name;
        Bytes reply;
        ResultFlags flags;
        uint64_t answers, crc, exceptions;
    } rows[] = {
        {"whole", whole, 0, 1, 0, 0},
        {"cut short by a closed connection", Bytes(whole.begin(), whole.begin() + 10), WrongLength, 0, 1, 0},
        {"whole, two registers instead of three",
         {0, 7, 0, 0, 0, 7, 1, 3, 4, 0, 0, 0x42, 0xC8},
         WrongLength,
         0,
         1,
         0},
        {"a header that cannot begin a frame", {0, 7, 0, 1, 0, 9, 1, 3, 6}, WrongLength, 0, 1, 0},
        {"only the header", Bytes(whole.begin(), whole.begin() + 7), WrongLength, 0, 1, 0},
        {"an exception",
         {0, 7, 0, 0, 0, 3, 1, 0x83, 2},
         ExceptionReply | WrongFunction | WrongLength,
         1,
         0,
         1},
        {"another unit, whole", {0, 7, 0, 0, 0, 9, 2, 3, 6, 0, 0, 0x42, 0xC8, 0, 0}, WrongAddress, 1, 0, 0},
    };
    for (const auto& row : rows) {
        ExchangeRecord record = Exchange(row.reply.size(), row.flags, 5);
        record.framing = Framing::ModbusTcp;
        record.request = request.data();
        record.requestLength = request.size();
        record.reply = row.reply.data();
        LinkCounters counters;
        CountExchange(counters, record);
        EXPECT_EQ(counters.answers, row.answers) << row.name;
        EXPECT_EQ(counters.crcErrors, row.crc) << row.name;
        EXPECT_EQ(counters.exceptions, row.exceptions) << row.name;
        EXPECT_TRUE(counters.answeredLast) << row.name;
    }

    // Whatever a gateway sends lands in exactly one counter, and only a whole frame of transaction 7
    // is an answer; replies of other transactions passed over add to the broken ones.
    std::mt19937 random(30);
    LinkCounters counters;
    uint64_t whole7 = 0, skipped = 0;
    for (int i = 0; i < 5000; ++i) {
        Bytes reply(random() % 300);
        for (uint8_t& byte : reply)
            byte = static_cast<uint8_t>(random());
        if (reply.size() >= 6 && random() % 2) {
            reply[0] = 0, reply[1] = 7, reply[2] = 0, reply[3] = 0;
            if (random() % 2) reply[4] = 0, reply[5] = static_cast<uint8_t>(reply.size() - 6);
        }
        const bool isWhole = reply.size() > 7 && reply.size() <= 260 && reply[0] == 0 && reply[1] == 7 &&
                             reply[2] == 0 && reply[3] == 0 &&
                             size_t(reply[4] << 8 | reply[5]) == reply.size() - 6;
        whole7 += isWhole;
        ExchangeRecord record = Exchange(reply.size(), reply.empty() ? NoReply | WrongLength : 0, 5);
        record.framing = Framing::ModbusTcp;
        record.request = request.data();
        record.requestLength = request.size();
        record.reply = reply.data();
        record.skippedReplies = random() % 3;
        skipped += record.skippedReplies;
        CountExchange(counters, record);
    }
    EXPECT_EQ(counters.requests, 5000u);
    EXPECT_EQ(counters.answers, whole7);
    EXPECT_EQ(counters.answers + counters.noReply + counters.crcErrors, 5000u + skipped);
}

TEST(LinkCountsText, HasNoReplyTimeBeforeAnyReplyAndKeepsEveryDigit) {
    LinkCounters counters;
    EXPECT_EQ(LinkCountsText(counters), "запросов 0, ответов 0, без ответа 0, CRC 0, исключений 0");
    constexpr uint64_t most = std::numeric_limits<uint64_t>::max();
    counters = {most, most - 1, 1, 0, most - 1, 0, true};
    EXPECT_EQ(LinkCountsText(counters), "запросов 18446744073709551615, ответов 18446744073709551614, без "
                                        "ответа 1, CRC 0, исключений 18446744073709551614 · 0 мс");
}

// Listening wins over everything, a closed or hung-up port over what the last exchange said, and a
// port opened afresh says so until something was exchanged on it.
TEST(LinkStateOf, ListeningThenClosedThenTheLastExchange) {
    LinkCounters answered;
    answered.answeredLast = true;
    const LinkCounters silent;
    const struct {
        bool listening, open, hungUp, fresh;
        const LinkCounters& counters;
        LinkState state;
    } rows[] = {
        {true, false, true, false, answered, LinkState::Listening},
        {true, true, false, true, silent, LinkState::Listening},
        {false, false, false, false, answered, LinkState::PortClosed},
        {false, true, true, false, answered, LinkState::PortClosed},
        {false, true, false, true, answered, LinkState::PortOpen},
        {false, true, false, true, silent, LinkState::PortOpen},
        {false, true, false, false, answered, LinkState::Exchange},
        {false, true, false, false, silent, LinkState::NoReply},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LinkStateOf(row.listening, row.open, row.hungUp, row.fresh, row.counters), row.state)
            << row.listening << row.open << row.hungUp << row.fresh << row.counters.answeredLast;
}

// A serial line names its rate and parity; a gateway sets those on its own side, so its line does not.
TEST(LinkHealthText, SerialLinesNameRateAndParityGatewaysDoNot) {
    LinkCounters counters;
    CountExchange(counters, Exchange(11, 0, 14));
    EXPECT_EQ(LinkHealthText({1, QStringLiteral("/dev/ttyUSB0"), 19200, 2, 1}, LinkState::Exchange, counters),
              "COM1 /dev/ttyUSB0 · 19200, четный · адрес 1 · обмен · запросов 1, ответов 1, без ответа 0, "
              "CRC 0, исключений 0 · 14 мс");
    EXPECT_EQ(LinkHealthText({8, QStringLiteral("mbtcp://10.0.0.7:502"), 9600, 1, 247}, LinkState::NoReply,
                             LinkCounters{}),
              "COM8 mbtcp://10.0.0.7:502 · адрес 247 · нет ответа · запросов 0, ответов 0, без ответа 0, CRC "
              "0, исключений 0");
    // A parity code from a hand-edited file outside 0..2 reads as none, as the port opens it.
    for (int parity : {-1, 0, 3, std::numeric_limits<int>::max()})
        EXPECT_EQ(LinkHealthText({2, QStringLiteral("/dev/ttyS1"), 1200, parity, 0}, LinkState::PortClosed,
                                 LinkCounters{}),
                  "COM2 /dev/ttyS1 · 1200, без паритета · адрес 0 · порт закрыт · запросов 0, ответов 0, без "
                  "ответа 0, CRC 0, исключений 0")
            << parity;
}

TEST(LinkStateText, EveryStateHasItsWords) {
    EXPECT_EQ(LinkStateText(LinkState::PortOpen), "порт открыт");
    EXPECT_EQ(LinkStateText(LinkState::Exchange), "обмен");
    EXPECT_EQ(LinkStateText(LinkState::NoReply), "нет ответа");
    EXPECT_EQ(LinkStateText(LinkState::PortClosed), "порт закрыт");
    EXPECT_EQ(LinkStateText(LinkState::Listening), "слушает линию");
}
