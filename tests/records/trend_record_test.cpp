// The trend as the program exports and records it: every row names its instrument, numbers a
// spreadsheet in Russian reads as numbers, and a record takes only the readings of the instrument it
// states.
#include "records/commissioning_record.h"
#include "records/csv.h"
#include "records/journal.h"
#include "records/trend_csv.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace olv::records;
using olv::device::LiveReading;
using olv::device::LiveTrend;
using olv::device::TrendSource;

namespace {

// A day in the trend's clock (milliseconds since the epoch), with readings one second apart.
constexpr int64_t Day = 1'780'000'000'000;

struct Trend {
    int64_t now = Day;
    LiveTrend trend{[this] { return now; }};
    void add(int64_t atMs, const TrendSource& source, float value, uint16_t status = 0) {
        now = Day + atMs;
        trend.add(source, true, LiveReading{value, status, false});
    }
};

TrendSource Meter(int address, std::optional<int32_t> serial, const char* units = "МПа") {
    TrendSource source{{1, address, "/dev/ttyUSB0"}, 0, QString::fromUtf8(units)};
    source.instrument.serial = serial;
    if (serial) source.instrument.model = 150;
    return source;
}

QString Local(int64_t atMs, const char* format) {
    return QDateTime::fromMSecsSinceEpoch(Day + atMs).toString(QString::fromLatin1(format));
}

} // namespace

// ---- numbers for a spreadsheet ----

TEST(SpreadsheetNumber, ShortestTextWithADecimalCommaAndNothingForWhatIsNoNumber) {
    EXPECT_EQ(SpreadsheetNumber(0.8125f), QStringLiteral("0,8125"));
    EXPECT_EQ(SpreadsheetNumber(-2.5f), QStringLiteral("-2,5"));
    EXPECT_EQ(SpreadsheetNumber(1.6f), QStringLiteral("1,6")); // not 1,60000002
    EXPECT_EQ(SpreadsheetNumber(100), QStringLiteral("100"));
    EXPECT_EQ(SpreadsheetNumber(std::numeric_limits<float>::quiet_NaN()), QString());
    EXPECT_EQ(SpreadsheetNumber(-std::numeric_limits<float>::infinity()), QString());
    // Every float, the extremes too, reads back as itself once the comma is a point again.
    std::mt19937 random(3);
    std::vector<float> values{std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest(),
                              std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::min(),
                              -0.0f, 2e-5f};
    for (int n = 0; n < 2000; ++n) {
        const uint32_t bits = random();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        values.push_back(value);
    }
    for (float value : values) {
        if (!std::isfinite(value)) continue;
        const QString text = SpreadsheetNumber(value);
        ASSERT_FALSE(text.contains(u'.')) << text.toStdString();
        const std::string point = QString(text).replace(u',', u'.').toStdString();
        float back = 0;
        const auto [end, error] = std::from_chars(point.data(), point.data() + point.size(), back);
        ASSERT_TRUE(error == std::errc() && end == point.data() + point.size()) << point;
        ASSERT_EQ(std::memcmp(&back, &value, sizeof value), 0) << text.toStdString();
    }
}

// ---- the trend's table ----

TEST(TrendCsv, WrittenAsTheJournalIsWithTheInstrumentOfEveryRow) {
    Trend t;
    t.add(0, Meter(1, 123456), 0.8125f, 0x41);
    t.add(1000, Meter(2, std::nullopt, "кПа"), 1.5f);
    t.add(2000, Meter(2, std::nullopt, "кПа"), -2e-5f);
    const QByteArray table = TrendCsv(t.trend, Day, Day + 2000);

    // The journal's encoding and separators: UTF-8 after the mark, ';', CR LF.
    EXPECT_TRUE(table.startsWith(CsvBom));
    EXPECT_TRUE(JournalHeader().contains(';'));
    const QString text = QString::fromUtf8(table.mid(3));
    const std::vector<QStringList> rows = ParseCsv(text, u';');
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (QStringList{"Дата", "Время", "Значение", "Единицы", "Статус", "Порт", "Устройство",
                                    "Адрес", "Модель", "Заводской номер"}));
    EXPECT_EQ(rows[1], (QStringList{Local(0, "dd.MM.yyyy"), Local(0, "hh:mm:ss"), "0,8125", "МПа", "0x0041", "COM1",
                                    "/dev/ttyUSB0", "1", "150", "123456"}));
    // The second instrument's rows: its own address and units, its serial number not read.
    EXPECT_EQ(rows[2].mid(2), (QStringList{"1,5", "кПа", "0x0000", "COM1", "/dev/ttyUSB0", "2", "", ""}));
    EXPECT_EQ(rows[3].value(2), QStringLiteral("-2e-05"));
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), 4);
}

TEST(TrendCsv, TakesTheSpanShownAndSaysWhenItIsAZoomedPart) {
    Trend t;
    for (int i = 0; i < 5; ++i)
        t.add(i * 1000, Meter(1, std::nullopt), float(i));
    const QByteArray whole = TrendCsv(t.trend, Day, Day + 4000);
    EXPECT_EQ(ParseCsv(QString::fromUtf8(whole), u';').size(), 6u);

    const std::vector<QStringList> rows = ParseCsv(QString::fromUtf8(TrendCsv(t.trend, Day + 1000, Day + 2000, true)), u';');
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], QStringList{QStringLiteral("Часть графика, показанная увеличенной: с %1 по %2")
                                       .arg(Local(1000, "dd.MM.yyyy hh:mm:ss"), Local(2000, "dd.MM.yyyy hh:mm:ss"))});
    EXPECT_EQ(rows[2].value(2), QStringLiteral("1"));
    EXPECT_EQ(rows[3].value(2), QStringLiteral("2"));

    // No reading: the header alone.
    EXPECT_EQ(ParseCsv(QString::fromUtf8(TrendCsv(LiveTrend([] { return int64_t{0}; }), 0, 1)), u';').size(), 1u);
}

TEST(CsvRecord, RandomFieldsReadBackAsCleanedWithFormulasKeptText) {
    std::mt19937 random(11);
    const QString alphabet = QStringLiteral("a;\"\r\n\t '=+-@1,Ж") + QChar(0) + QChar(0x202E);
    for (int n = 0; n < 500; ++n) {
        QStringList fields;
        for (int f = int(random() % 4) + 1; f > 0; --f) {
            QString field;
            for (int k = int(random() % 6); k > 0; --k)
                field += alphabet[qsizetype(random() % alphabet.size())];
            fields << field;
        }
        const QByteArray record = CsvRecord(fields);
        ASSERT_TRUE(record.endsWith("\r\n"));
        std::vector<QStringList> read = ParseCsv(QString::fromUtf8(record), u';');
        if (fields == QStringList{QString()}) { // one empty field: a blank line, which is no record
            EXPECT_EQ(record, "\r\n");
            continue;
        }
        ASSERT_EQ(read.size(), 1u) << record.toStdString();
        for (qsizetype i = 0; i < fields.size(); ++i) {
            QString back = read[0].value(i);
            // What a spreadsheet would evaluate came with an apostrophe in front.
            if (back.startsWith(u'\'') && CsvNeedsFormulaGuard(back.mid(1))) back.remove(0, 1);
            ASSERT_EQ(back, CleanCsvText(fields[i])) << record.toStdString();
        }
    }
}

// ---- the record: one instrument's readings only ----

TEST(RecordTrend, TakesOnlyTheRecordedInstrumentsReadingsAndNamesTheOthers) {
    Trend t;
    // Meter 1 polled for a while, then meter 2, whose configuration is then recorded.
    for (int i = 0; i < 25; ++i)
        t.add(i * 1000, Meter(1, 111111), 100);
    // Its serial number became known with the configuration read after the first reading.
    t.add(120'000, Meter(2, std::nullopt), 4);
    t.add(121'000, Meter(2, 222222), 6);
    t.add(138'000, Meter(2, std::nullopt), 8);

    olv::device::InstrumentIdentity meter2{1, 2, "/dev/ttyUSB0"};
    meter2.model = 150;
    meter2.serial = 222222;
    const RecordTrend taken = RecordTrendOf(t.trend, meter2, 0);
    EXPECT_EQ(taken.stats.count, 3u);
    EXPECT_EQ(taken.stats.minimum, 4.0f);
    EXPECT_EQ(taken.stats.maximum, 8.0f);
    EXPECT_DOUBLE_EQ(taken.stats.mean, 6.0);
    EXPECT_EQ(taken.fromMs, Day + 120'000);
    EXPECT_EQ(taken.toMs, Day + 138'000);
    EXPECT_EQ(taken.leftOut, QStringList{QStringLiteral("прибор 1, COM1, зав. № 111111")});

    // Meter 2 swapped for another one at the same address: none of the readings are its.
    meter2.serial = 333333;
    EXPECT_FALSE(RecordTrendOf(t.trend, meter2, 0).anyTaken());
    // Nor are readings decoded with another byte order than the record's.
    meter2.serial = 222222;
    const RecordTrend otherOrder = RecordTrendOf(t.trend, meter2, 3);
    EXPECT_FALSE(otherOrder.anyTaken());
    EXPECT_EQ(otherOrder.leftOut.size(), 2);
}

TEST(RecordHtml, PrintsTheSpanCoveredAndALineForEveryInstrumentLeftOut) {
    RecordData data;
    data.printedAt = QDateTime(QDate(2026, 12, 9), QTime(10, 45));
    RecordTrend taken;
    taken.stats = {3, 4, 8, 6};
    taken.fromMs = QDateTime(QDate(2026, 12, 9), QTime(10, 40, 12)).toMSecsSinceEpoch();
    taken.toMs = QDateTime(QDate(2026, 12, 9), QTime(10, 42, 30)).toMSecsSinceEpoch();
    taken.leftOut = {QStringLiteral("прибор 1, COM1, зав. № 111111")};
    data.trendOf = taken;
    const QString html = RecordHtml(data, QStringLiteral("trend.png"), QSize(640, 280));
    EXPECT_TRUE(html.contains(QStringLiteral("09.12.2026 10:40:12 – 10:42:30 (2 мин 18 с)"))) << html.toStdString();
    EXPECT_FALSE(html.contains(QStringLiteral("последние 10 минут")));
    EXPECT_TRUE(html.contains(QStringLiteral("Измерения другого прибора (прибор 1, COM1, зав. № 111111) в протокол не включены.")));
    EXPECT_TRUE(html.contains(QStringLiteral("<img src=\"trend.png\"")));

    // Nothing of this instrument: no picture, "Данных нет", and still the line for the other one.
    data.trendOf->stats = {};
    const QString none = RecordHtml(data, QStringLiteral("trend.png"), QSize(640, 280));
    EXPECT_FALSE(none.contains(QStringLiteral("<img")));
    EXPECT_TRUE(none.contains(QStringLiteral("Данных нет")));
    EXPECT_FALSE(none.contains(QStringLiteral("Период")));
    EXPECT_TRUE(none.contains(QStringLiteral("в протокол не включены")));
}

TEST(SpanText, ShortSpansInSecondsLongOnesInMinutesOrHoursAndTheEndsDateWhenItIsAnother) {
    const int64_t from = QDateTime(QDate(2026, 12, 9), QTime(23, 59, 0)).toMSecsSinceEpoch();
    EXPECT_EQ(SpanText(from, from), QStringLiteral("09.12.2026 23:59:00 – 23:59:00 (0 с)"));
    EXPECT_EQ(SpanText(from, from + 59'999), QStringLiteral("09.12.2026 23:59:00 – 23:59:59 (59 с)"));
    EXPECT_EQ(SpanText(from, from + 3'600'000 + 120'000),
              QStringLiteral("09.12.2026 23:59:00 – 10.12.2026 01:01:00 (1 ч 2 мин)"));
}
