#include "link/exchange_trace.h"
#include "link/link_settings.h"
#include "link/rtu_master.h"
#include "tests/support/fake_port.h"
#include "tests/support/child_process.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace olv::link;
using olv::test::FakePort;
using Bytes = std::vector<uint8_t>;

namespace {

const Bytes kReadReply = {0x01, 0x03, 0x06, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x69, 0x43};
const Bytes kWriteReply = {0x01, 0x10, 0x00, 0x20, 0x00, 0x02, 0x40, 0x02};

class ExchangeTraceTest : public ::testing::Test {
  protected:
    ExchangeTraceTest() {
        settings.address = 1;
        settings.parity = 0;
        settings.traceEnabled = 1;
        settings.traceFileName = dir.filePath("COM.txt");
        // 6 December 2026, 19:09:18.123, then each block one millisecond later.
        master.setTraceClock([this] { return TraceTime{6, 12, 2026, 19, 9, 18, 123 + ticks++}; });
    }

    std::string traceText() const {
        QFile file(settings.traceFileName);
        if (!file.open(QIODevice::ReadOnly)) return "<missing>";
        return file.readAll().toStdString();
    }

    QTemporaryDir dir;
    FakePort port;
    LinkSettings settings;
    RtuMaster master{port, settings};
    unsigned ticks = 0;
    uint16_t values[3] = {};
    uint8_t exc = 0;
};

} // namespace

TEST_F(ExchangeTraceTest, ReadOfThreeRegistersWritesTheTwoBlocksByteForByte) {
    port.queueReply(kReadReply);
    ASSERT_EQ(master.readHoldingRegisters(15, 3, values, exc), 0);
    EXPECT_EQ(traceText(), "\n____________________________\n"
                           "06 12 2026 19-09-18.123 \n"
                           "Send:\n"
                           " 01 03 00 0f 00 03 35 c8"
                           "\n\n"
                           "06 12 2026 19-09-18.124 \n"
                           "Answ:\n"
                           " 01 03 06 12 34 56 78 9a bc 69 43");
}

TEST_F(ExchangeTraceTest, WriteAnswerUsesColonsAndCarriageReturnLabel) {
    port.queueReply(kWriteReply);
    const uint16_t words[2] = {0x1234, 0xABCD};
    ASSERT_EQ(master.writeMultipleRegisters(0x20, 2, words, exc), 0);
    EXPECT_EQ(traceText(),
              "\n____________________________\n"
              "06 12 2026 19-09-18.123 \n"
              "Send:\n"
              " 01 10 00 20 00 02 04 12 34 ab cd 0b a4" // 13 request bytes
              "\n\n"
              "06 12 2026 19:09:18.124 \n"
              "Answ:\r\n"
              " 01 10 00 20 00 02 40 02");
}

TEST_F(ExchangeTraceTest, NoReplyWritesAnAnswerBlockWithoutBytes) {
    port.queueSilence();
    master.readHoldingRegisters(15, 3, values, exc);
    const std::string text = traceText();
    const std::string tail = "\n\n06 12 2026 19-09-18.124 \nAnsw:\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(ExchangeTraceTest, TwoTransactionsAppendSendAnswerSendAnswer) {
    port.queueReply(kReadReply);
    port.queueReply(kReadReply);
    master.readHoldingRegisters(15, 3, values, exc);
    master.readHoldingRegisters(15, 3, values, exc);
    const std::string text = traceText();
    const size_t send1 = text.find("Send:");
    const size_t answ1 = text.find("Answ:");
    const size_t send2 = text.find("Send:", send1 + 1);
    const size_t answ2 = text.find("Answ:", answ1 + 1);
    ASSERT_NE(answ2, std::string::npos);
    EXPECT_LT(send1, answ1);
    EXPECT_LT(answ1, send2);
    EXPECT_LT(send2, answ2);
    EXPECT_EQ(text.find("Send:", send2 + 1), std::string::npos);
    EXPECT_NE(text.find("18.125 \nSend:"), std::string::npos);
    EXPECT_NE(text.find("18.126 \nAnsw:"), std::string::npos);
}

TEST_F(ExchangeTraceTest, TraceSwitchOtherThanOneWritesNothing) {
    for (int value : {0, 2, -1}) {
        settings.traceEnabled = value;
        port.queueReply(kReadReply);
        EXPECT_EQ(master.readHoldingRegisters(15, 3, values, exc), 0);
    }
    EXPECT_FALSE(QFile::exists(settings.traceFileName));
}

TEST_F(ExchangeTraceTest, UnwritableTraceLeavesTheResultUnchanged) {
    for (const QString& name :
         {QStringLiteral("/dev/full"), dir.filePath("no/such/dir/COM.txt"), QString()}) {
        settings.traceFileName = name;
        port.queueReply(kReadReply);
        EXPECT_EQ(master.readHoldingRegisters(15, 3, values, exc), 0) << name.toStdString();
        EXPECT_EQ(values[0], 0x1234);
        port.queueReply({0x01, 0x83, 0x02, 0xC0, 0xF1});
        EXPECT_EQ(master.readHoldingRegisters(15, 3, values, exc), 0x1A) << name.toStdString();
        EXPECT_EQ(exc, 2);
    }
}

// A full disk or a file size limit while tracing: the file holds whole transactions only, a request
// with its answer, and once there is room again the next one follows on. What the file held before
// leaves room at the end for the request only (the longer block), or for the answer only.
class TraceWithoutRoomTest : public ::testing::TestWithParam<std::tuple<olv::test::NoRoom, bool>> {};

TEST_P(TraceWithoutRoomTest, HoldsWholeTransactionsOnly) {
    const bool roomForTheRequest = std::get<1>(GetParam());
    const auto body = [&](const QString& folder, const std::function<void()>& giveBack) -> std::string {
        FakePort port;
        LinkSettings settings;
        settings.address = 1;
        settings.traceEnabled = 1;
        settings.traceFileName = folder + "/COM.txt";
        RtuMaster master{port, settings};
        const TraceTime time{6, 12, 2026, 19, 9, 18, 123};
        master.setTraceClock([time] { return time; });
        const uint8_t request[] = {0x01, 0x03, 0x00, 0x0f, 0x00, 0x03, 0x35, 0xc8};
        const QByteArray send = QByteArray::fromStdString(FormatSendBlock(time, request, 8));
        const QByteArray one = send + QByteArray::fromStdString(FormatAnswerBlock(
                                          TraceKind::Read, time, kReadReply.data(), kReadReply.size()));
        const qint64 lastRoom = roomForTheRequest ? send.size() + 4 : one.size() - send.size() + 4;
        const QByteArray earlier((8192 - lastRoom) % one.size(), '.'); // the room is 8192 bytes
        QFile file(settings.traceFileName);
        if (!file.open(QIODevice::WriteOnly) || file.write(earlier) != earlier.size())
            return "no earlier trace";
        file.close();
        uint16_t values[3] = {};
        uint8_t exc = 0;
        qint64 size = earlier.size();
        const auto exchange = [&] {
            port.queueReply(kReadReply);
            master.readHoldingRegisters(15, 3, values, exc);
            const qint64 before = std::exchange(size, QFileInfo(settings.traceFileName).size());
            return size == before + one.size();
        };
        int refused = 0;
        for (int i = 0; i < 400 && refused < 3; ++i)
            refused += !exchange();
        if (refused == 0) return "the room never ran out";
        giveBack();
        if (!exchange()) return "no transaction once there was room";
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : "";
        if (bytes == earlier + one.repeated(int((bytes.size() - earlier.size()) / one.size()))) return "";
        return "not whole transactions: " + bytes.right(200).toStdString();
    };
    EXPECT_EQ(olv::test::RunWithoutRoom(std::get<0>(GetParam()), body), "");
}

INSTANTIATE_TEST_SUITE_P(Kinds, TraceWithoutRoomTest,
                         ::testing::Combine(::testing::Values(olv::test::NoRoom::FullDisk,
                                                              olv::test::NoRoom::SizeLimit),
                                            ::testing::Bool()));

TEST(ExchangeTraceFormat, FieldsAreZeroPaddedAndBytesLowerCaseHex) {
    const uint8_t bytes[] = {0x00, 0x0A, 0xFF};
    EXPECT_EQ(FormatSendBlock(TraceTime{1, 2, 2027, 3, 4, 5, 6}, bytes, 3),
              "\n____________________________\n01 02 2027 03-04-05.006 \nSend:\n 00 0a ff");
    EXPECT_EQ(FormatAnswerBlock(TraceKind::Read, TraceTime{1, 2, 2027, 3, 4, 5, 6}, bytes, 0),
              "\n\n01 02 2027 03-04-05.006 \nAnsw:\n");
}
