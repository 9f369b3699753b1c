// The configuration file, the journal line and the commissioning record: what is kept, what is
// refused and what a full disk leaves.
#include "device/encodings.h"
#include "link/result_flags.h"
#include "records/commissioning_record.h"
#include "records/config_file.h"
#include "records/csv.h"
#include "records/journal.h"
#include "settings/ini_file.h"
#include "tests/settings/settings_test_support.h"
#include "tests/support/file_size_limit.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <sys/stat.h>

using namespace olv::records;
using olv::test::FileSizeLimit;

namespace {

// An instrument whose every saved word differs from its neighbours', with a trim beyond four decimals.
InstrumentState SampleState() {
    InstrumentState state;
    for (int r : ConfigFileRegisters())
        if (r < 63) state.image.words[size_t(r)] = uint16_t(0x0100 + r);
    auto& w = state.image.words;
    w[5] = 0x0F37; // 15.03.2007
    w[8] = 0x0104; // address 1, 19200
    w[9] = 0x0202; // damping "4", units кПа
    w[11] = 1;
    w[58] = 2;
    olv::device::FloatToWords(2.5f, w[18], w[19]);
    olv::device::FloatToWords(-0.1f, w[20], w[21]);
    olv::device::FloatToWords(0.0125f, w[59], w[60]);
    olv::device::FloatToWords(1.00012345f, w[61], w[62]);
    olv::device::TextToWords(QStringLiteral("Котельная; 2"), w.data() + 48);
    state.image.moduleModel = 256;
    state.image.moduleHardware = 3;
    state.image.moduleSoftware = 107;
    state.parity = 2;
    return state;
}

ConfigFile SampleFile() {
    ConfigFile file;
    file.state = SampleState();
    file.port = QStringLiteral("COM1");
    file.devicePath = QStringLiteral("/dev/ttyUSB0");
    file.address = 1;
    file.readAt = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9));
    file.program = QStringLiteral("Mod Bus OLV 1.1.3.1");
    return file;
}

class ConfigFileTest : public olv::test::WorkDirTest {};

} // namespace

TEST_F(ConfigFileTest, SavedFileReadsBackEveryWordAndShowsTheWords) {
    SaveConfigFile(path("a.cfg"), SampleFile());
    QString reason;
    const std::optional<ConfigFile> read = LoadConfigFile(path("a.cfg"), reason);
    ASSERT_TRUE(read) << reason.toStdString();
    EXPECT_EQ(read->state.image.words, SampleState().image.words);
    EXPECT_EQ(read->state.parity, 2);
    EXPECT_EQ(read->state.image.moduleHardware, 3);
    EXPECT_EQ(read->readAt, SampleFile().readAt);
    const olv::settings::IniFile ini(path("a.cfg"));
    EXPECT_EQ(ini.readString("WORDS", "range", {}), QStringLiteral("-0.1000 … 2.5000 кПа"));
    EXPECT_EQ(ini.readString("WORDS", "text", {}), QStringLiteral("«Котельная; 2    »"));
    EXPECT_EQ(ini.readString("IDENTITY", "made", {}), QStringLiteral("15.03.2007"));

    // Hand-edited in UTF-8 with a byte order mark, a number in hexadecimal: read as every settings file.
    writeFile(path("a.cfg"), "\xEF\xBB\xBF" + readFile(path("a.cfg")).replace("\r\nr58=2", "\r\nr58= $3 #ё"));
    EXPECT_FALSE(LoadConfigFile(path("a.cfg"), reason));
    writeFile(path("a.cfg"), readFile(path("a.cfg")).replace(" #ё", "\r\nnote=ё"));
    ASSERT_TRUE(LoadConfigFile(path("a.cfg"), reason)) << reason.toStdString();
    EXPECT_EQ(LoadConfigFile(path("a.cfg"), reason)->state.image.words[58], 3);
}

// Each row a file the load must refuse, with the words of its reason.
TEST_F(ConfigFileTest, FilesThatAreNoConfigurationAreRefusedWithTheirReason) {
    SaveConfigFile(path("good.cfg"), SampleFile());
    const QByteArray good = readFile(path("good.cfg"));
    const auto edited = [&](const char* from, const char* to) { return QByteArray(good).replace(from, to); };
    struct Row {
        const char* name;
        QByteArray bytes; // written as the file, unless special
        const char* reason;
    } rows[] = {
        {"truncated", good.left(good.indexOf("r1024=")), "нет регистра 1024"},
        {"unit code the lists lack", edited("\r\nr9=514", "\r\nr9=523"), "код единиц 11"},
        {"damping code above 8", edited("\r\nr9=514", "\r\nr9=2562"), "код демпфирования 10"},
        {"sensor unit code above 10", edited("\r\nr58=2", "\r\nr58=11"), "единиц датчика 11"},
        {"rate code above 5", edited("\r\nr8=260", "\r\nr8=262"), "скорости обмена 6 больше 5"},
        {"byte order above 3", edited("\r\nr11=1", "\r\nr11=4"), "порядка байт 4"},
        {"parity above 2", edited("\r\nr1034=2", "\r\nr1034=3"), "паритета 3"},
        {"month 13", edited("\r\nr5=3895", "\r\nr5=3799"), "месяцем 13"},
        {"range not a number", edited("\r\nr18=16416", "\r\nr18=32704"), "максимум диапазона не число"},
        {"word not a number", edited("\r\nr0=256", "\r\nr0=x1"), "регистр 0"},
        {"word beyond 16 bits", edited("\r\nr0=256", "\r\nr0=65536"), "регистр 0"},
        {"a profile", "[TAB]\r\nnum=1\r\n", "не файл конфигурации"},
        {"over 1 MB", good + QByteArray(MaxConfigFileSize, ';'), "больше 1 МБ"},
        // Values the instrument must never be given, though every word is a number.
        {"minimum above the maximum", edited("\r\nr20=48588", "\r\nr20=16544").replace("\r\nr21=52429", "\r\nr21=0"),
         "r20: минимум диапазона 5.0000 не меньше максимума 2.5000"},
        {"trim multiplier 0", edited("\r\nr61=16256", "\r\nr61=0").replace("\r\nr62=", "\r\nr62=0\r\nx="),
         "r61: диапазон подстройки равен 0"},
        {"trim offset infinite", edited("\r\nr59=15436", "\r\nr59=32640").replace("\r\nr60=", "\r\nr60=0\r\nx="),
         "r59: смещение подстройки не число (inf)"},
        {"31 February", edited("\r\nr5=3895", "\r\nr5=7975"), "r5: дата выпуска с днем 31 и месяцем 2"},
        {"broadcast address", edited("\r\nr8=260", "\r\nr8=4"), "r8: сетевой номер 0"},
    };
    for (const Row& row : rows) {
        writeFile(path("bad.cfg"), row.bytes);
        QString reason;
        EXPECT_FALSE(LoadConfigFile(path("bad.cfg"), reason)) << row.name;
        EXPECT_TRUE(reason.contains(QString::fromUtf8(row.reason)))
            << row.name << ": " << reason.toStdString();
    }
    // The whole reason, with the line of the register as an editor counts it.
    const QByteArray minimumAbove = edited("\r\nr20=48588", "\r\nr20=16544").replace("\r\nr21=52429", "\r\nr21=0");
    writeFile(path("bad.cfg"), minimumAbove);
    QString reason;
    EXPECT_FALSE(LoadConfigFile(path("bad.cfg"), reason));
    const int line = int(minimumAbove.left(minimumAbove.indexOf("\r\nr20=")).count('\n')) + 2;
    EXPECT_EQ(reason, QStringLiteral("строка %1, r20: минимум диапазона 5.0000 не меньше максимума 2.5000").arg(line));

    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.cfg")).constData(), 0644), 0);
    ASSERT_TRUE(QDir(path("")).mkdir("folder.cfg"));
    for (const QString& name : {path("fifo.cfg"), path("folder.cfg"), QStringLiteral("/dev/null")}) {
        QString reason;
        EXPECT_FALSE(LoadConfigFile(name, reason)) << name.toStdString();
        EXPECT_TRUE(reason.contains(QStringLiteral("не обычный файл"))) << reason.toStdString();
    }
}

TEST(CompareRows, FloatsApartBeyondFourDecimalsShowEveryDigit) {
    InstrumentState file = SampleState();
    olv::device::FloatToWords(1.00012f, file.image.words[61], file.image.words[62]);
    const std::vector<CompareRow> rows = CompareRows(SampleState(), file);
    QStringList differing;
    for (const CompareRow& row : rows)
        if (row.differs) differing << row.name + ": " + row.device + " / " + row.file;
    EXPECT_EQ(differing, QStringList{QStringLiteral("Подстройка: диапазон: 1.0001235 / 1.00012004")});
}

// ---- the journal ----

TEST(Journal, LineQuotesWhatNeedsItAndKeepsFormulasText) {
    JournalEntry entry{QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)),
                       "COM1",
                       "/dev/tty;USB0",
                       2,
                       "150",
                       "-5",
                       "Запись",
                       "записано",
                       {{"Текст", "«a\"b»", "=1+2"}, {"Смещение", "-0.5000", " x"}}};
    const QByteArray line = JournalLine(entry);
    EXPECT_EQ(line, QByteArray("2024-05-06 07:08:09;COM1;\"/dev/tty;USB0\";2;150;-5;Запись;записано;Текст;"
                               "\"«a\"\"b»\";'=1+2;Смещение;-0.5000;\" x\"\r\n"));
    EXPECT_EQ(ParseJournalLine(line),
              (QStringList{"2024-05-06 07:08:09", "COM1", "/dev/tty;USB0", "2", "150", "-5", "Запись",
                           "записано", "Текст", "«a\"b»", "=1+2", "Смещение", "-0.5000", " x"}));
}

struct CsvCase {
    const char* name;
    const char* text;
    std::vector<QStringList> records;
};

class CsvReading : public testing::TestWithParam<CsvCase> {};

TEST_P(CsvReading, GivesTheRecordsASpreadsheetWould) {
    EXPECT_EQ(ParseCsv(QString::fromUtf8(GetParam().text), u';'), GetParam().records);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, CsvReading, testing::Values(
    CsvCase{"Empty", "", {}},
    CsvCase{"BlankLinesAreNoRecords", "\r\n\n", {}},
    CsvCase{"EmptyFieldsKept", ";;\r\n", {{"", "", ""}}},
    CsvCase{"LastRecordWithoutBreak", "a;b\r\nc", {{"a", "b"}, {"c"}}},
    CsvCase{"LfAndLoneCrEndRecords", "a\nb\rc", {{"a"}, {"b"}, {"c"}}},
    CsvCase{"QuotedSeparator", "\"a;b\";c", {{"a;b", "c"}}},
    CsvCase{"DoubledQuotes", "\"a\"\"b\"\"\";\"\"\"\"", {{"a\"b\"", "\""}}},
    CsvCase{"LineBreakInsideQuotes", "1;\"x\r\ny\";2\r\n3\r\n", {{"1", "x\r\ny", "2"}, {"3"}}},
    CsvCase{"QuoteInsideAnUnquotedField", "a\"b;c", {{"a\"b", "c"}}},
    CsvCase{"TextAfterTheClosingQuote", "\"a\"b;c", {{"ab", "c"}}},
    // A quote never closed takes its line only; the records after it stay records.
    CsvCase{"QuoteNeverClosed", "1;\"open\r\n2;x\r\n3;y", {{"1", "open"}, {"2", "x"}, {"3", "y"}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The entry whose text held a line break is one entry of the journal, with its line break.
TEST_F(ConfigFileTest, JournalEntryWithALineBreakInAFieldStaysOneEntry) {
    JournalEntry entry;
    entry.when = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9));
    entry.serial = "111";
    entry.operation = "Запись конфигурации из файла a\nb.cfg";
    entry.changes = {{"Текст", "«x»", "«строка 1\r\nстрока 2»"}};
    QString reason;
    ASSERT_TRUE(AppendJournal(path("journal.csv"), entry, reason));
    entry.serial = "222";
    entry.changes.clear();
    ASSERT_TRUE(AppendJournal(path("journal.csv"), entry, reason));
    const std::vector<QStringList> entries = ReadJournal(path("journal.csv"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].value(5), "111");
    EXPECT_EQ(entries[1].value(6), "Запись конфигурации из файла a\nb.cfg");
    EXPECT_EQ(entries[1].mid(8), (QStringList{"Текст", "«x»", "«строка 1\nстрока 2»"}));
    EXPECT_EQ(entries[0].value(5), "222");
    EXPECT_EQ(ReadJournal(path("journal.csv"), "111").size(), 1u);
}

TEST(Journal, ControlAndFormatCharactersAreCleanedBeforeTheyGoIn) {
    const QString nul = QStringLiteral("нет ответа") + QChar(0) + "x";
    EXPECT_EQ(CleanJournalText(nul), QStringLiteral("нет ответа\\x00x"));
    EXPECT_EQ(CleanJournalText(QString("a\x1B[2Jb\rc\x7F")), QStringLiteral("a\\x1B[2Jb\\x0Dc\\x7F"));
    EXPECT_EQ(CleanJournalText(QString("1\r\n2\t3")), QStringLiteral("1\n2\t3"));
    EXPECT_EQ(CleanJournalText(QStringLiteral("abc") + QChar(0x202E) + "fdp.exe" + QChar(0x85)),
              QStringLiteral("abc\\u202Efdp.exe\\x85"));
    EXPECT_EQ(CleanJournalText(QStringLiteral("Котельная «2»")), QStringLiteral("Котельная «2»"));

    JournalEntry entry;
    entry.outcome = nul;
    entry.devicePath = QString("\r=cmd");
    const QByteArray line = JournalLine(entry);
    EXPECT_FALSE(line.contains('\0'));
    EXPECT_TRUE(line.contains(";\\x0D=cmd;")) << line.toStdString();
    EXPECT_EQ(ParseJournalLine(line).value(7), QStringLiteral("нет ответа\\x00x"));
}

// Random fields of the characters that need quoting or cleaning: every line reads back as the cleaned
// fields, one entry per line, however the fields were made.
TEST_F(ConfigFileTest, RandomFieldsReadBackExactlyAsCleaned) {
    std::mt19937 random(7);
    const QString alphabet = QStringLiteral("a;\"\r\n\t '=+-@1.Ж") + QChar(0) + QChar(0x202E);
    std::vector<QStringList> written;
    QByteArray journal;
    for (int n = 0; n < 300; ++n) {
        JournalEntry entry;
        QString texts[4];
        for (QString& text : texts)
            for (int k = int(random() % 8); k > 0; --k)
                text += alphabet[qsizetype(random() % alphabet.size())];
        entry.port = texts[0];
        entry.devicePath = texts[1];
        entry.changes = {{texts[2], texts[3], "x"}};
        journal += JournalLine(entry);
        QStringList fields = ParseJournalLine(JournalLine(entry));
        written.push_back(fields);
        ASSERT_EQ(fields.value(1), CleanJournalText(texts[0]));
        ASSERT_EQ(fields.value(2), CleanJournalText(texts[1]));
        ASSERT_EQ(fields.mid(8), (QStringList{CleanJournalText(texts[2]), CleanJournalText(texts[3]), "x"}));
    }
    writeFile(path("journal.csv"), journal);
    std::vector<QStringList> read = ReadJournal(path("journal.csv"));
    std::reverse(read.begin(), read.end());
    EXPECT_EQ(read, written);
}

TEST(Journal, OutcomeSaysWhatWentWrongAndWhatWasWritten) {
    using namespace olv::link;
    EXPECT_EQ(WriteOutcome(0, 0, {"0–5"}), QStringLiteral("записано"));
    EXPECT_EQ(WriteOutcome(NoReply | WrongLength | CrcMismatch | WrongFunction, 0, {"0–5", "9–11"}),
              QStringLiteral("нет ответа; записаны регистры 0–5, 9–11"));
    EXPECT_EQ(
        WriteOutcome(ExceptionReply | WrongLength | WrongFunction, 3, {}),
        QStringLiteral("исключение 3: Величина данных превышает допустимое значение.; ничего не записано"));
    EXPECT_EQ(WriteOutcome(CrcMismatch, 0, {"11"}),
              QStringLiteral("При приеме в ответе не сошлась контрольная сумма.; записаны регистры 11"));
}

TEST_F(ConfigFileTest, JournalStartsWithMarkAndHeaderAndShowsNewestFirst) {
    JournalEntry entry;
    entry.when = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9));
    QString reason;
    for (const char* serial : {"111", "222", "1119"}) {
        entry.serial = QString::fromLatin1(serial);
        ASSERT_TRUE(AppendJournal(path("journal.csv"), entry, reason)) << reason.toStdString();
    }
    const QByteArray bytes = readFile(path("journal.csv"));
    JournalEntry first = entry;
    first.serial = "111";
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF" + JournalHeader() + JournalLine(first)));
    EXPECT_EQ(bytes.count("\r\n"), 4);
    QStringList serials;
    for (const QStringList& fields : ReadJournal(path("journal.csv"), "111"))
        serials << fields[5];
    EXPECT_EQ(serials, (QStringList{"1119", "111"}));

    // Lines of blanks added by hand are no entries, also one that is blank behind a formula guard.
    writeFile(path("journal.csv"), bytes + "  \r\n\"'\r\"\r\n");
    EXPECT_EQ(ReadJournal(path("journal.csv")).size(), 3u);
}

// A full disk (a file size limit, made small): the check before a write says so and leaves the journal
// as it was, and so does a line that does not fit any more.
TEST_F(ConfigFileTest, JournalOnAFullDiskIsLeftWholeAndTheWriteIsNotClaimed) {
    JournalEntry entry;
    entry.operation = QStringLiteral("Запись конфигурации");
    QString reason;
    ASSERT_TRUE(AppendJournal(path("journal.csv"), entry, reason));
    const QByteArray before = readFile(path("journal.csv"));
    {
        FileSizeLimit limit(before.size() + 20);
        ASSERT_TRUE(limit.ok());
        EXPECT_FALSE(JournalTakesLine(path("journal.csv"), reason));
        EXPECT_EQ(reason, QString::fromLocal8Bit(std::strerror(EFBIG)));
        EXPECT_FALSE(AppendJournal(path("journal.csv"), entry, reason));
        EXPECT_FALSE(JournalTakesLine(path("new.csv"), reason));
    }
    EXPECT_EQ(readFile(path("journal.csv")), before);
    EXPECT_FALSE(QFile::exists(path("new.csv")));
    EXPECT_TRUE(JournalTakesLine(path("journal.csv"), reason));
    EXPECT_EQ(readFile(path("journal.csv")), before); // the check itself leaves nothing
}


// ---- the commissioning record ----

// Markup in what the instrument and the port report stays the characters it is made of: every text
// of the record goes into its HTML escaped, so no tag of it reaches the document or the PDF.
TEST(CommissioningRecord, MarkupInTheDeviceTextStaysText) {
    RecordData data;
    data.state = SampleState();
    olv::device::TextToWords(QStringLiteral("<b>&<script>x"), data.state.image.words.data() + 48);
    data.caption = QStringLiteral("Mod Bus OLV <i>1</i>");
    data.port = QStringLiteral("COM1");
    data.devicePath = QStringLiteral("/dev/<img src=x>&amp;");
    const QString html = RecordHtml(data, QString(), QSize());
    EXPECT_TRUE(html.contains(QStringLiteral("«&lt;b&gt;&amp;&lt;script&gt;x   »"))) << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("Mod Bus OLV &lt;i&gt;1&lt;/i&gt;")));
    EXPECT_TRUE(html.contains(QStringLiteral("COM1 (/dev/&lt;img src=x&gt;&amp;amp;)")));
    for (const char* tag : {"<b>", "<script", "<i>", "<img"})
        EXPECT_FALSE(html.contains(QString::fromLatin1(tag))) << tag;
}
