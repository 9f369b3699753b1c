#include "device/live_value.h"

#include "tests/support/fake_master.h"
#include "tests/support/small_disk.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace olv::test {
namespace {

using namespace olv::device;

TEST(ReadLiveValue, ReadsStatusAndValueInOneTransaction) {
    FakeMaster master;
    master.reg(15) = 0x8000;
    master.reg(16) = 0x0000;
    master.reg(17) = 0x42C8;
    LiveReading reading;
    uint8_t exc = 9;
    EXPECT_EQ(ReadLiveValue(master, 1, reading, exc), 0);
    EXPECT_EQ(exc, 0);
    ASSERT_EQ(master.transactions.size(), 1u);
    EXPECT_EQ(master.transactions[0].function, FakeMaster::ReadFunction);
    EXPECT_EQ(master.transactions[0].start, 15);
    EXPECT_EQ(master.transactions[0].count, 3);
    EXPECT_EQ(reading.liveValue, 100.0f);
    EXPECT_EQ(reading.liveStatus, 0x8000);
    EXPECT_FALSE(reading.liveImplausible);
}

TEST(ReadLiveValue, FailureLeavesThePreviousReading) {
    FakeMaster master;
    master.reg(15) = 0x0040;
    master.failTransaction(0);
    master.failTransaction(1, {link::WrongLength | link::WrongFunction | link::ExceptionReply, 2});
    const LiveReading before{12.5f, 0x0001, false};
    LiveReading reading = before;
    uint8_t exc = 0;
    EXPECT_NE(ReadLiveValue(master, 0, reading, exc), 0);
    EXPECT_EQ(ReadLiveValue(master, 0, reading, exc), 0x1A);
    EXPECT_EQ(exc, 2);
    EXPECT_EQ(reading.liveValue, 12.5f);
    EXPECT_EQ(reading.liveStatus, 0x0001);
    EXPECT_FALSE(reading.liveImplausible);
}

TEST(ReadLiveValue, ImplausibleValueReadsAsZeroWithTheFlag) {
    FakeMaster master;
    master.reg(15) = 0;
    master.reg(16) = 0x7FC0;
    master.reg(17) = 0x0000;
    LiveReading reading{55.0f, 0x0020, false};
    uint8_t exc = 0;
    EXPECT_EQ(ReadLiveValue(master, 0, reading, exc), 0);
    EXPECT_TRUE(reading.liveImplausible);
    EXPECT_EQ(reading.liveValue, 0.0f);
    EXPECT_EQ(reading.liveStatus, 0);
}

TEST(MeasurementLogLine, Format) {
    EXPECT_EQ(MeasurementLogLine(9, 5, 7, 100.0f, 0), QByteArray("09:05:07 \t 100.0000 \t 00 \n"));
    EXPECT_EQ(MeasurementLogLine(23, 59, 59, 12.5f, 0x41), QByteArray("23:59:59 \t  12.5000 \t 41 \n"));
    EXPECT_EQ(MeasurementLogLine(0, 0, 0, -100000.0f, 0x8000), QByteArray("00:00:00 \t -100000.0000 \t 8000 \n"));
    EXPECT_EQ(MeasurementLogLine(1, 2, 3, 0.0f, 0x0a), QByteArray("01:02:03 \t   0.0000 \t 0a \n"));
}

struct LogDecision {
    bool readSucceeded;
    bool implausible;
    bool logged;
};

class ShouldLogTest : public ::testing::TestWithParam<LogDecision> {};

// Only a measurement that really happened is logged.
TEST_P(ShouldLogTest, OnlyNewPlausibleReadings) {
    const LogDecision c = GetParam();
    const LiveReading reading{c.implausible ? 0.0f : 3.0f, 0, c.implausible};
    EXPECT_EQ(ShouldLogMeasurement(c.readSucceeded, reading), c.logged);
}

INSTANTIATE_TEST_SUITE_P(Table, ShouldLogTest,
                         ::testing::Values(LogDecision{true, false, true}, LogDecision{true, true, false},
                                           LogDecision{false, false, false}, LogDecision{false, true, false}));

// The age is told in the largest unit that still says it exactly enough: each row sits on a border
// where a < taken for <=, a rounding instead of a cut, or a wrong divisor shows.
TEST(StaleReadingText, TellsTheAgeInSecondsMinutesOrHours) {
    using std::chrono::seconds;
    const struct {
        std::optional<seconds> age;
        const char* text;
    } rows[] = {
        {std::nullopt, "нет связи"},
        {seconds(0), "нет связи, данные 0 с назад"},
        {seconds(119), "нет связи, данные 119 с назад"},
        {seconds(120), "нет связи, данные 2 мин назад"},
        {seconds(179), "нет связи, данные 2 мин назад"},
        {seconds(7199), "нет связи, данные 119 мин назад"},
        {seconds(7200), "нет связи, данные 2 ч назад"},
        {seconds(10799), "нет связи, данные 2 ч назад"},
        {seconds(400LL * 24 * 3600), "нет связи, данные 9600 ч назад"},
        {seconds(-5), "нет связи, данные 0 с назад"},
        {seconds::max(), "нет связи, данные 2562047788015215 ч назад"},
        {seconds::min(), "нет связи, данные 0 с назад"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(StaleReadingText(row.age).toStdString(), row.text)
            << (row.age ? std::to_string(row.age->count()) : "none");
}

TEST(AppendMeasurementLog, AppendsOneStampedLinePerCall) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.filePath("izm.txt");
    {
        QFile existing(name);
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("earlier\n");
    }
    EXPECT_TRUE(AppendMeasurementLog(name, LiveReading{100.0f, 0, false}));
    EXPECT_TRUE(AppendMeasurementLog(name, LiveReading{12.5f, 0x8000, false}));

    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4); // three lines and the empty rest after the last line end
    EXPECT_EQ(lines[0], "earlier");
    const QRegularExpression first(R"(^\d\d:\d\d:\d\d \t 100\.0000 \t 00 $)");
    const QRegularExpression second(R"(^\d\d:\d\d:\d\d \t  12\.5000 \t 8000 $)");
    EXPECT_TRUE(first.match(QString::fromLatin1(lines[1])).hasMatch()) << lines[1].toStdString();
    EXPECT_TRUE(second.match(QString::fromLatin1(lines[2])).hasMatch()) << lines[2].toStdString();
}

TEST(AppendMeasurementLog, UnwritableNameReportsFalse) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(AppendMeasurementLog(dir.filePath("missing/izm.txt"), LiveReading{}));
    EXPECT_FALSE(AppendMeasurementLog(dir.path(), LiveReading{})); // a directory
}

// A full disk while logging: every line stays whole, and once there is room again the next line starts
// on a line of its own.
TEST(AppendMeasurementLog, KeepsEveryLineWholeOnAFullDisk) {
    SmallDisk disk;
    ASSERT_TRUE(disk.ok()) << "no small tmpfs (it needs root)";
    const QString name = disk.path() + "/izm.txt";
    const LiveReading reading{12.5f, 0x41, false};
    int refused = 0;
    for (int i = 0; i < 2000 && refused < 3; ++i)
        refused += !AppendMeasurementLog(name, reading);
    ASSERT_GT(refused, 0) << "the disk never filled";
    disk.giveBack();
    EXPECT_TRUE(AppendMeasurementLog(name, reading));
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString bytes = QString::fromLatin1(file.readAll());
    EXPECT_TRUE(QRegularExpression(R"(^(\d\d:\d\d:\d\d \t  12\.5000 \t 41 \n)+$)").match(bytes).hasMatch())
        << bytes.right(90).toStdString();
}

} // namespace
} // namespace olv::test
