#include "link/exchange_trace.h"
#include "link/link_settings.h"
#include "link/port_master.h"
#include "tests/support/fake_port.h"
#include "tests/support/small_disk.h"

#include <QFile>
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
    PortMaster master{port, settings};
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

// A full disk while tracing: the file holds whole transactions only, a request with its answer, and
// once there is room again the next one follows on. What the file held before leaves room at the end
// for the request only (the longer block), or for the answer only.
class TraceOnAFullDiskTest : public ExchangeTraceTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TraceOnAFullDiskTest, HoldsWholeTransactionsOnly) {
    olv::test::SmallDisk disk;
    ASSERT_TRUE(disk.ok()) << "no small tmpfs (it needs root)";
    settings.traceFileName = disk.path() + "/COM.txt";
    const TraceTime time{6, 12, 2026, 19, 9, 18, 123};
    master.setTraceClock([time] { return time; });
    const uint8_t request[] = {0x01, 0x03, 0x00, 0x0f, 0x00, 0x03, 0x35, 0xc8};
    const std::string send = FormatSendBlock(time, request, 8);
    const std::string one =
        send + FormatAnswerBlock(TraceKind::Read, time, kReadReply.data(), kReadReply.size());
    const size_t lastRoom = GetParam() ? send.size() + 4 : one.size() - send.size() + 4;
    const std::string earlier((8192 - lastRoom) % one.size(), '.'); // 8192 bytes are free
    ASSERT_TRUE(olv::files::AppendToPlainFile(settings.traceFileName, earlier.data(), earlier.size()));
    size_t size = earlier.size();
    const auto exchange = [&] {
        port.queueReply(kReadReply);
        master.readHoldingRegisters(15, 3, values, exc);
        const size_t before = std::exchange(size, traceText().size());
        return size == before + one.size();
    };
    int refused = 0;
    for (int i = 0; i < 400 && refused < 3; ++i)
        refused += !exchange();
    ASSERT_GT(refused, 0) << "the disk never filled";
    disk.giveBack();
    EXPECT_TRUE(exchange());
    EXPECT_EQ(QByteArray::fromStdString(traceText()),
              QByteArray::fromStdString(earlier) + QByteArray::fromStdString(one).repeated(int(size / one.size())));
}

INSTANTIATE_TEST_SUITE_P(RoomFor, TraceOnAFullDiskTest, ::testing::Values(false, true));

TEST(ExchangeTraceFormat, FieldsAreZeroPaddedAndBytesLowerCaseHex) {
    const uint8_t bytes[] = {0x00, 0x0A, 0xFF};
    EXPECT_EQ(FormatSendBlock(TraceTime{1, 2, 2027, 3, 4, 5, 6}, bytes, 3),
              "\n____________________________\n01 02 2027 03-04-05.006 \nSend:\n 00 0a ff");
    EXPECT_EQ(FormatAnswerBlock(TraceKind::Read, TraceTime{1, 2, 2027, 3, 4, 5, 6}, bytes, 0),
              "\n\n01 02 2027 03-04-05.006 \nAnsw:\n");
    EXPECT_EQ(FormatNoteBlock(TraceTime{1, 2, 2027, 3, 4, 5, 6}, "text"),
              "\n____________________________\n01 02 2027 03-04-05.006 \nNote: text");
}
