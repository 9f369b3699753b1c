#include "link/link_settings.h"
#include "link/port_master.h"
#include "tests/support/fake_port.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace olv::link;
using olv::test::FakePort;
using Bytes = std::vector<uint8_t>;

namespace {

// Frames as they travel, CRCs included (worked out by hand from the Modbus CRC definition).
const Bytes kReadRequest = {0x01, 0x03, 0x00, 0x0F, 0x00, 0x03, 0x35, 0xC8};
const Bytes kReadReply = {0x01, 0x03, 0x06, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x69, 0x43};
const Bytes kReadReplyOtherAddress = {0x02, 0x03, 0x06, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x7D, 0xB3};
const Bytes kReadReplyWrongByteCount = {0x01, 0x03, 0x09, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x96, 0x43};
const Bytes kWriteRequest = {0x01, 0x10, 0x00, 0x20, 0x00, 0x02, 0x04, 0x12, 0x34, 0xAB, 0xCD, 0x0B, 0xA4};
const Bytes kWriteReply = {0x01, 0x10, 0x00, 0x20, 0x00, 0x02, 0x40, 0x02};
const Bytes kWriteReplyOtherEcho = {0x01, 0x10, 0x01, 0x20, 0x00, 0x05, 0x00, 0x3C};
const Bytes kReadException = {0x01, 0x83, 0x02, 0xC0, 0xF1};
const Bytes kWriteException = {0x01, 0x90, 0x03, 0x0C, 0x01};

class RtuMasterTest : public ::testing::Test {
  protected:
    RtuMasterTest() {
        settings.address = 1;
        settings.parity = 0;
        settings.traceEnabled = 0;
    }

    ResultFlags readThreeFromFifteen() { return master.readHoldingRegisters(15, 3, values, exc); }
    ResultFlags writeTwoAt0x20() {
        const uint16_t words[2] = {0x1234, 0xABCD};
        return master.writeMultipleRegisters(0x20, 2, words, exc);
    }

    FakePort port;
    LinkSettings settings;
    PortMaster master{port, settings};
    uint16_t values[8] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    uint8_t exc = 0x55;
};

} // namespace

TEST_F(RtuMasterTest, ReadRequestIsTheEightBytesOfTheProtocol) {
    port.queueReply(kReadReply);
    readThreeFromFifteen();
    ASSERT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written[0], kReadRequest);
    EXPECT_EQ(port.readsAsked, std::vector<size_t>{13}); // two more than a full reply
}

TEST_F(RtuMasterTest, GoodReadReplyGivesNoFlagsAndWordsHighByteFirst) {
    port.queueReply(kReadReply);
    EXPECT_EQ(readThreeFromFifteen(), 0);
    EXPECT_EQ(exc, 0);
    EXPECT_EQ(values[0], 0x1234);
    EXPECT_EQ(values[1], 0x5678);
    EXPECT_EQ(values[2], 0x9ABC);
    EXPECT_EQ(values[3], 0xFFFF) << "only N words are written";
}

TEST_F(RtuMasterTest, WriteRequestCarriesCountByteCountAndValues) {
    port.queueReply(kWriteReply);
    EXPECT_EQ(writeTwoAt0x20(), 0);
    ASSERT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written[0], kWriteRequest);
    EXPECT_EQ(port.readsAsked, std::vector<size_t>{8});
}

TEST_F(RtuMasterTest, ReadExceptionReplyGivesExactly0x1AAndItsCode) {
    port.queueReply(kReadException);
    EXPECT_EQ(readThreeFromFifteen(), ExceptionReply | WrongFunction | WrongLength);
    EXPECT_EQ(exc, 2);
}

TEST_F(RtuMasterTest, WriteExceptionReplyGivesExactly0x1AAndItsCode) {
    port.queueReply(kWriteException);
    EXPECT_EQ(writeTwoAt0x20(), 0x1A);
    EXPECT_EQ(exc, 3);
}

TEST_F(RtuMasterTest, ReplyFromAnotherAddressGivesOnlyWrongAddress) {
    port.queueReply(kReadReplyOtherAddress);
    EXPECT_EQ(readThreeFromFifteen(), WrongAddress);
}

TEST_F(RtuMasterTest, SwappedCrcBytesGiveOnlyCrcMismatch) {
    Bytes reply = kReadReply;
    std::swap(reply[9], reply[10]);
    port.queueReply(reply);
    EXPECT_EQ(readThreeFromFifteen(), CrcMismatch);
}

TEST_F(RtuMasterTest, EchoedRegisterAndCountOfAWriteAreIgnored) {
    port.queueReply(kWriteReplyOtherEcho);
    EXPECT_EQ(writeTwoAt0x20(), 0);
}

TEST_F(RtuMasterTest, ByteCountByteOfAReadIsIgnored) {
    port.queueReply(kReadReplyWrongByteCount);
    EXPECT_EQ(readThreeFromFifteen(), 0);
    EXPECT_EQ(values[0], 0x1234);
}

TEST_F(RtuMasterTest, ExceptionCodeIsClearedByTheNextTransaction) {
    port.queueReply(kReadException);
    port.queueReply(kReadReply);
    readThreeFromFifteen();
    ASSERT_EQ(exc, 2);
    EXPECT_EQ(readThreeFromFifteen(), 0);
    EXPECT_EQ(exc, 0);
}

TEST_F(RtuMasterTest, NoReplyGivesTheNoReplySetAndZeroValues) {
    port.queueSilence();
    EXPECT_EQ(readThreeFromFifteen(), NoReply | WrongLength | WrongFunction | CrcMismatch | WrongAddress);
    EXPECT_EQ(exc, 0);
    EXPECT_EQ(values[0], 0);
    EXPECT_EQ(values[1], 0);
    EXPECT_EQ(values[2], 0);
}

TEST_F(RtuMasterTest, NoReplyToAddressZeroLacksWrongAddress) {
    settings.address = 0;
    EXPECT_EQ(readThreeFromFifteen(), NoReply | WrongLength | WrongFunction | CrcMismatch);
    EXPECT_EQ(writeTwoAt0x20(), NoReply | WrongLength | WrongFunction | CrcMismatch);
}

TEST_F(RtuMasterTest, ShortReplyKeepsWhatArrivedAndZeroesTheRest) {
    port.queueReply(Bytes(kReadReply.begin(), kReadReply.begin() + 6)); // address, function, count, 3 bytes
    EXPECT_EQ(readThreeFromFifteen(), WrongLength | CrcMismatch);
    EXPECT_EQ(values[0], 0x1234);
    EXPECT_EQ(values[1], 0x5600);
    EXPECT_EQ(values[2], 0x0000);
}

TEST_F(RtuMasterTest, ExtraByteAfterAGoodReplyIsOnlyWrongLength) {
    Bytes reply = kReadReply;
    reply.push_back(0x00);
    port.queueReply(reply);
    EXPECT_EQ(readThreeFromFifteen(), WrongLength);
}

TEST_F(RtuMasterTest, WholeAddressValueIsComparedButOnlyItsLowByteIsSent) {
    settings.address = 0x101;
    port.queueReply(kReadReply);
    EXPECT_EQ(readThreeFromFifteen(), WrongAddress);
    EXPECT_EQ(port.written[0][0], 0x01);
}

TEST_F(RtuMasterTest, OnlyTheLow16BitsOfTheStartRegisterAreSent) {
    master.readHoldingRegisters(0x10400, 1, values, exc);
    ASSERT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written[0][2], 0x04);
    EXPECT_EQ(port.written[0][3], 0x00);
}

TEST_F(RtuMasterTest, TransactionCallsThePortInTheFixedOrder) {
    port.queueReply(kReadReply);
    port.queueReply(kWriteReply);
    readThreeFromFifteen();
    writeTwoAt0x20();
    const std::vector<std::string> one = {
        "purge", "setReadTimeouts", "takeLineErrors", "write", "takeLineErrors", "read", "takeLineErrors"};
    std::vector<std::string> two = one;
    two.insert(two.end(), one.begin(), one.end());
    EXPECT_EQ(port.calls, two);
}

TEST_F(RtuMasterTest, LineErrorsBeforeTheReplyAreClearedAndNotCounted) {
    settings.parity = 2;
    port.injectLineErrors(LineParity); // left over from earlier traffic, cleared before the write
    port.queueReply(kReadReply);
    EXPECT_EQ(readThreeFromFifteen(), 0);
}

TEST_F(RtuMasterTest, TransactionUsesTheSettingsAtTheMomentOfTheCall) {
    settings.baudRate = 9600;
    settings.timeoutMs = 300;
    readThreeFromFifteen();
    settings.baudRate = 38400;
    settings.address = 7;
    readThreeFromFifteen();
    ASSERT_EQ(port.timeouts.size(), 2u);
    EXPECT_EQ(port.timeouts[0].intervalMs, 24u);
    EXPECT_EQ(port.timeouts[0].constantMs, 300u);
    EXPECT_EQ(port.timeouts[1].intervalMs, 6u);
    EXPECT_EQ(port.written[1][0], 7);
}

// ---- parity check --------------------------------------------------------------------------------

struct ParityCase {
    const char* name;
    bool write;
    int parity;
    uint32_t lineErrors;
    bool parityFlag;
};

class ParityCheck : public RtuMasterTest, public ::testing::WithParamInterface<ParityCase> {};

TEST_P(ParityCheck, FlagFollowsParitySettingAndErrorKind) {
    const ParityCase& c = GetParam();
    settings.parity = c.parity;
    port.queueReply(c.write ? kWriteReply : kReadReply, c.lineErrors);
    const ResultFlags flags = c.write ? writeTwoAt0x20() : readThreeFromFifteen();
    EXPECT_EQ(flags, c.parityFlag ? ParityError : 0);
}

INSTANTIATE_TEST_SUITE_P(
    PortMaster, ParityCheck,
    ::testing::Values(ParityCase{"ReadParityOff", false, 0, LineParity, false},
                      ParityCase{"ReadParityEven", false, 2, LineParity, true},
                      ParityCase{"ReadParityOdd", false, 1, LineParity | LineFraming, true},
                      ParityCase{"ReadFramingOnly", false, 2, LineFraming, false},
                      ParityCase{"ReadOverrunOnly", false, 1, LineOverrun, false},
                      ParityCase{"ReadNoErrors", false, 2, 0, false},
                      ParityCase{"WriteParityOff", true, 0, LineFraming, false},
                      ParityCase{"WriteFramingOnly", true, 2, LineFraming, true},
                      ParityCase{"WriteBreakOnly", true, 1, LineBreak, true},
                      ParityCase{"WriteOtherParityCode", true, 5, LineOverrun, true},
                      ParityCase{"WriteNoErrors", true, 2, 0, false}),
    [](const ::testing::TestParamInfo<ParityCase>& info) { return std::string(info.param.name); });

// ---- read time-outs --------------------------------------------------------------------------------

struct TimeoutCase {
    int baudRate;
    uint32_t interval;
    uint32_t multiplier;
};

class TimeoutTable : public RtuMasterTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(TimeoutTable, TransactionAsksForTheRowOfItsRate) {
    const TimeoutCase& c = GetParam();
    settings.baudRate = c.baudRate;
    settings.timeoutMs = 1000;
    readThreeFromFifteen();
    writeTwoAt0x20();
    ASSERT_EQ(port.timeouts.size(), 2u);
    for (const ReadTimeouts& t : port.timeouts) {
        EXPECT_EQ(t.intervalMs, c.interval);
        EXPECT_EQ(t.multiplierMs, c.multiplier);
        EXPECT_EQ(t.constantMs, 1000u);
    }
}

INSTANTIATE_TEST_SUITE_P(PortMaster, TimeoutTable,
                         ::testing::Values(TimeoutCase{1200, 192, 192}, TimeoutCase{2400, 96, 96},
                                           TimeoutCase{4800, 48, 48}, TimeoutCase{9600, 24, 24},
                                           TimeoutCase{19200, 12, 12}, TimeoutCase{38400, 6, 6},
                                           TimeoutCase{14400, 48, 32}, TimeoutCase{115200, 48, 32},
                                           TimeoutCase{0, 48, 32}));

TEST(ReadTimeoutsFor, ConstantIsTheTimeoutAndNegativeCountsAsZero) {
    EXPECT_EQ(ReadTimeoutsFor(19200, 250).constantMs, 250u);
    EXPECT_EQ(ReadTimeoutsFor(19200, 0).constantMs, 0u);
    EXPECT_EQ(ReadTimeoutsFor(19200, -5).constantMs, 0u);
}

TEST_F(RtuMasterTest, ObserverSeesEachTransactionOnTheWireAsItPassed) {
    std::vector<std::pair<Bytes, Bytes>> seen;
    std::vector<ResultFlags> flags;
    master.setObserver([&](const ExchangeRecord& record) {
        seen.emplace_back(Bytes(record.request, record.request + record.requestLength),
                          Bytes(record.reply, record.reply + record.replyLength));
        flags.push_back(record.flags);
        EXPECT_LE(record.sent, record.ended);
    });
    port.queueReply(kReadReply);
    readThreeFromFifteen();
    port.queueReply(kWriteException);
    writeTwoAt0x20();
    master.readHoldingRegisters(0, 0, values, exc); // refused before any I/O: not seen
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(kReadRequest, kReadReply));
    EXPECT_EQ(seen[1], std::make_pair(kWriteRequest, kWriteException));
    EXPECT_EQ(flags, (std::vector<ResultFlags>{0, 0x1A}));
}

// ---- counts out of range ---------------------------------------------------------------------------

TEST_F(RtuMasterTest, CountsOutsideTheFrameAreRefusedBeforeAnyIo) {
    for (int count : {0, -1, 125, 1000}) {
        exc = 9;
        EXPECT_EQ(master.readHoldingRegisters(0, count, values, exc), NoReply | WrongLength) << count;
        EXPECT_EQ(exc, 0);
    }
    const uint16_t words[130] = {};
    for (int count : {0, -3, 124}) {
        exc = 9;
        EXPECT_EQ(master.writeMultipleRegisters(0, count, words, exc), RefusedCountFlags) << count;
        EXPECT_EQ(exc, 0);
    }
    EXPECT_TRUE(port.calls.empty());
    EXPECT_EQ(values[0], 0xFFFF);
}

TEST_F(RtuMasterTest, LargestCountsFitTheBuffers) {
    std::vector<uint16_t> many(MaxReadCount, 0);
    master.readHoldingRegisters(0, MaxReadCount, many.data(), exc);
    master.writeMultipleRegisters(0, MaxWriteCount, many.data(), exc);
    ASSERT_EQ(port.written.size(), 2u);
    EXPECT_EQ(port.readsAsked[0], 255u);
    EXPECT_EQ(port.written[1].size(), 255u);
    EXPECT_EQ(port.written[1][6], 246);
}

// ---- the pure reply checker ------------------------------------------------------------------------

TEST(CheckReply, NeverReadsPastWhatArrived) {
    // Random replies of every length, including longer than any frame: only judged, never overrun
    // (the sanitizer build catches a stray read).
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; ++round) {
        const size_t length = random() % 300;
        Bytes reply(length);
        for (uint8_t& b : reply)
            b = static_cast<uint8_t>(random());
        const int count = 1 + static_cast<int>(random() % MaxReadCount);
        uint8_t code = 0;
        const ResultFlags flags = CheckReply(random() % 2 ? FunctionReadHolding : FunctionWriteMultiple,
                                             reply.data(), reply.size(), count, 1, 2, 0, code);
        EXPECT_EQ(flags & 0x80, 0);
        EXPECT_EQ((flags & NoReply) != 0, length == 0);
        if (!(flags & ExceptionReply)) {
            EXPECT_EQ(code, 0);
        }
    }
}
