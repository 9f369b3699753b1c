#include "settings/ini_file.h"

#include "files/plain_file.h"
#include "settings_test_support.h"
#include "tests/support/file_size_limit.h"
#include "text/cp1251.h"

#include <QFileInfo>
#include <QScopeGuard>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace olv::test {
namespace {

using settings::IniFile;
using settings::IniWriteError;
using settings::ParseIniInteger;

QByteArray Cp(const char* utf8) {
    return text::ToCp1251(QString::fromUtf8(utf8));
}

// ---- integer values ----

struct IntegerCase {
    const char* text;
    std::optional<int32_t> value;
};

class ParseIniIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ParseIniIntegerTest, GivesValueOrNothing) {
    EXPECT_EQ(ParseIniInteger(QString::fromUtf8(GetParam().text)), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseIniIntegerTest,
    ::testing::Values(IntegerCase{"0", 0}, IntegerCase{"1000", 1000}, IntegerCase{"-1", -1},
                      IntegerCase{"+5", 5}, IntegerCase{"0x10", 16}, IntegerCase{"0X1f", 31},
                      IntegerCase{"$1F", 31}, IntegerCase{"-$10", -16}, IntegerCase{"0x", std::nullopt},
                      IntegerCase{"$", std::nullopt}, IntegerCase{"", std::nullopt},
                      IntegerCase{"-", std::nullopt}, IntegerCase{"junk", std::nullopt},
                      IntegerCase{"12a", std::nullopt}, IntegerCase{"1.5", std::nullopt},
                      IntegerCase{"0x1G", std::nullopt}, IntegerCase{"2147483647", 2147483647},
                      IntegerCase{"2147483648", std::nullopt}, IntegerCase{"-2147483648", INT32_MIN},
                      IntegerCase{"-2147483649", std::nullopt}, IntegerCase{"0xFFFFFFFF", -1},
                      IntegerCase{"$80000000", INT32_MIN}, IntegerCase{"0x100000000", std::nullopt},
                      IntegerCase{"99999999999999999999", std::nullopt}, IntegerCase{"١٢", std::nullopt}));

// ---- reading ----

class IniReadTest : public WorkDirTest {
  protected:
    IniReadTest() {
        writeFile(path("t.ini"), "Orphan=before any section\r\n"
                                 "[Values]\r\n"
                                 "  Spaced  =   padded value  \t\r\n"
                                 "Quoted=\"  in quotes  \"\r\n"
                                 "Single='single'\r\n"
                                 "Mismatch=\"half'\r\n"
                                 "Lone=\"\r\n"
                                 "Empty=\r\n"
                                 "Formula=a=b+c\r\n"
                                 ";Commented=9\r\n"
                                 "Dup=first\r\n"
                                 "dup=second\r\n"
                                 "Hex=0x10\r\n"
                                 "Dollar=$1F\r\n"
                                 "HexAlone=0x\r\n"
                                 "Negative=-1\r\n"
                                 "Junk=12 apples\r\n"
                                 "Cyr=" +
                                     Cp("Привет") +
                                     "\r\n"
                                     "Long=" +
                                     QByteArray(1500, 'x') +
                                     "\r\n"
                                     "[values]\r\n"
                                     "Later=from the second section of that name\r\n"
                                     "Dup=third\r\n");
    }
    const IniFile ini{path("t.ini")};
};

TEST_F(IniReadTest, TextValueRules) {
    const QString def = QStringLiteral("<default>");
    EXPECT_EQ(ini.readString("VALUES", "spaced", def), "padded value");
    EXPECT_EQ(ini.readString("Values", "Quoted", def), "  in quotes  ");
    EXPECT_EQ(ini.readString("Values", "Single", def), "single");
    EXPECT_EQ(ini.readString("Values", "Mismatch", def), "\"half'");
    EXPECT_EQ(ini.readString("Values", "Lone", def), "\"");
    EXPECT_EQ(ini.readString("Values", "Empty", def), "");
    EXPECT_EQ(ini.readString("Values", "Missing", def), def);
    EXPECT_EQ(ini.readString("Other", "Spaced", def), def);
    EXPECT_EQ(ini.readString("Values", "Formula", def), "a=b+c");
    EXPECT_EQ(ini.readString("Values", "Commented", def), def);
    EXPECT_EQ(ini.readString("Values", "Orphan", def), def);
    EXPECT_EQ(ini.readString("Values", "DUP", def), "first");
    EXPECT_EQ(ini.readString("Values", "Later", def), "from the second section of that name");
    EXPECT_EQ(ini.readString("Values", "Cyr", def), QStringLiteral("Привет"));
    EXPECT_EQ(ini.readString("Values", "Long", def), QString(1023, u'x'));
}

// The line a value is taken from, as an editor numbers it: the first of two keys of one name, a
// key of the second section of that name, nothing for a commented or missing key; a byte order mark
// and LF-only line ends change nothing.
TEST_F(IniReadTest, LineOfAKeyIsTheLineItsValueComesFrom) {
    const olv::settings::IniSnapshot snapshot = ini.snapshot();
    EXPECT_EQ(snapshot.lineOf("values", "SPACED"), 3);
    EXPECT_EQ(snapshot.lineOf("Values", "dup"), 11);
    EXPECT_EQ(snapshot.lineOf("Values", "Later"), 21);
    EXPECT_EQ(snapshot.lineOf("Values", "Commented"), std::nullopt);
    EXPECT_EQ(snapshot.lineOf("Values", "Orphan"), std::nullopt);
    const olv::settings::IniSnapshot lf(QByteArray("\xEF\xBB\xBF[A]\nx=1\n\n[B]\ny=2"));
    EXPECT_EQ(lf.lineOf("B", "y"), 5);
}

TEST_F(IniReadTest, IntegerValueRules) {
    EXPECT_EQ(ini.readInteger("Values", "Hex", 7), 16);
    EXPECT_EQ(ini.readInteger("Values", "Dollar", 7), 31);
    EXPECT_EQ(ini.readInteger("Values", "HexAlone", 7), 7);
    EXPECT_EQ(ini.readInteger("Values", "Negative", 7), -1);
    EXPECT_EQ(ini.readInteger("Values", "Junk", 7), 7);
    EXPECT_EQ(ini.readInteger("Values", "Empty", 7), 7);
    EXPECT_EQ(ini.readInteger("Values", "Missing", 7), 7);
}

TEST_F(WorkDirTest, MissingFileReadsDefaultsAndIsNotCreated) {
    IniFile ini(QStringLiteral("none.ini"));
    EXPECT_FALSE(ini.exists());
    EXPECT_EQ(ini.readString("A", "b", "d"), "d");
    EXPECT_EQ(ini.readInteger("A", "b", 5), 5);
    EXPECT_FALSE(QFileInfo::exists(path("none.ini")));
}

// ---- writing ----

// The inode of the name itself (a link's own, not its target's).
ino_t Inode(const QString& file) {
    struct stat st {};
    return ::lstat(QFile::encodeName(file).constData(), &st) == 0 ? st.st_ino : 0;
}

TEST_F(WorkDirTest, WritesChangeOnlyTheirKeysByteForByte) {
    const QByteArray original = "; station file, edited by hand\r\n"
                                "[COM_SETTINGS]\r\n"
                                "Number = 3\r\n"
                                "Settings=9600,O,8,2\r\n"
                                "\r\n"
                                "[Unknown]\r\n"
                                "formula=a=b+c\r\n"
                                "name=" +
                                Cp("Привет") +
                                "\x98\xFF\r\n"
                                "[DEVICE]\r\n"
                                "NetAdrr=5\r\n"
                                "NetAdrr=7\r\n"
                                "; trailing comment\r\n"
                                "\r\n"
                                "[LOG]\r\n"
                                "LogFileName=trace1.txt";
    writeFile(path("dev.dat"), original);

    IniFile ini(QStringLiteral("dev.dat"));
    ini.writeInteger("com_settings", "NUMBER", 4);                   // replaced in place, spelling kept
    ini.writeString("Unknown", "formula", "x=y");                    // value containing '='
    ini.writeInteger("DEVICE", "NetAdrr", 9);                        // first of two duplicates
    ini.writeInteger("DEVICE", "EnableNetAdrr", 1);                  // after the section's last key line
    ini.writeString("LOG", "UseLogFile", "1");                       // section ending without a line break
    ini.writeString("REG", "RegFileName", QStringLiteral("Журнал")); // new section at the end

    const QByteArray expected = "; station file, edited by hand\r\n"
                                "[COM_SETTINGS]\r\n"
                                "Number = 4\r\n"
                                "Settings=9600,O,8,2\r\n"
                                "\r\n"
                                "[Unknown]\r\n"
                                "formula=x=y\r\n"
                                "name=" +
                                Cp("Привет") +
                                "\x98\xFF\r\n"
                                "[DEVICE]\r\n"
                                "NetAdrr=9\r\n"
                                "NetAdrr=7\r\n"
                                "EnableNetAdrr=1\r\n"
                                "; trailing comment\r\n"
                                "\r\n"
                                "[LOG]\r\n"
                                "LogFileName=trace1.txt\r\n"
                                "UseLogFile=1\r\n"
                                "[REG]\r\n"
                                "RegFileName=" +
                                Cp("Журнал") + "\r\n";
    EXPECT_EQ(readFile(path("dev.dat")), expected);
    EXPECT_EQ(ini.readString("REG", "RegFileName", ""), QStringLiteral("Журнал"));

    // The same keys in one batch: the same bytes, from one replacement of the file.
    writeFile(path("batch.dat"), original);
    const ino_t before = Inode(path("batch.dat"));
    IniFile batch(QStringLiteral("batch.dat"));
    batch.writeStrings({{"com_settings", "NUMBER", "4"}, {"Unknown", "formula", "x=y"}, {"DEVICE", "NetAdrr", "9"},
                        {"DEVICE", "EnableNetAdrr", "1"}, {"LOG", "UseLogFile", "1"},
                        {"REG", "RegFileName", QStringLiteral("Журнал")}});
    EXPECT_EQ(readFile(path("batch.dat")), expected);
    EXPECT_NE(Inode(path("batch.dat")), before);
}

// A batch is parsed once and changed in memory; it must give the bytes that putting its entries in one
// at a time (each reading the previous result afresh) gives: new lines read as what they are, a last
// line that gains a break, a CR before a break that a fresh read splits as CRLF.
TEST(IniSnapshotTest, BatchGivesTheBytesOfItsEntriesOneByOne) {
    using settings::IniEntry;
    using settings::IniSnapshot;
    const std::vector<IniEntry> batch{
        {"A", "x", "2"},
        {"C", "n", "new"},
        {"B", "y", "v"},
        {"A", "[B]", "1"}, // a new line that reads as the header of a section B
        {"B", "k", "2"},
        {"a", "Z", QStringLiteral("Жук")},
        {"C", "n", "again"},
        {"B", "y", "v"},
        {"D", "e", "line\r\nbreak"},
    };
    const QByteArray files[] = {
        "",
        "[A]",
        "[A]\nx=1\n[B]\ny=abc\r",
        "x=abc\r",
        "[A]\r\nx=1\r\n[a]\r\nx=3\r\n[B]\r\n; note\r\n",
        "\xEF\xBB\xBF[A]\nx=" + QByteArray("\xD0\x96") + "\n[B]\ny=\xC6\r",
        "\xEF\xBB\xBF",
        "[B]\n\n[A]\r\nlone\rcr=1",
    };
    for (const QByteArray& bytes : files) {
        SCOPED_TRACE(bytes.toStdString());
        IniSnapshot oneByOne(bytes);
        for (const IniEntry& entry : batch)
            oneByOne.write(entry);
        IniSnapshot together(bytes);
        EXPECT_TRUE(together.write(batch));
        EXPECT_EQ(together.bytes(), oneByOne.bytes());
        EXPECT_EQ(together.readString("a", "z", "-"), QStringLiteral("Жук"));
        // Values that are already there change nothing.
        EXPECT_FALSE(together.write({{"A", "x", "2"}, {"C", "n", "again"}, {"b", "Y", "v"}}));
    }
}

TEST_F(WorkDirTest, NewKeyInLastSectionKeepsMissingFinalLineBreak) {
    writeFile(path("a.ini"), "[A]\nx=1");
    IniFile ini(QStringLiteral("a.ini"));
    ini.writeInteger("A", "y", 2);
    EXPECT_EQ(readFile(path("a.ini")), "[A]\nx=1\ny=2");
}

TEST_F(WorkDirTest, NewFileGetsCrLf) {
    IniFile ini(QStringLiteral("n.ini"));
    ini.writeInteger("S", "a", -5);
    ini.writeString("S", "b", "");
    ini.writeString("T", "c", "z");
    EXPECT_EQ(readFile(path("n.ini")), "[S]\r\na=-5\r\nb=\r\n[T]\r\nc=z\r\n");
}

TEST_F(WorkDirTest, LfFileStaysLf) {
    writeFile(path("lf.ini"), "[S]\na=1\n\n[U]\nq=w\n");
    IniFile ini(QStringLiteral("lf.ini"));
    ini.writeInteger("S", "a", 2);
    ini.writeInteger("S", "b", 3);
    ini.writeInteger("T", "c", 4);
    EXPECT_EQ(readFile(path("lf.ini")), "[S]\na=2\nb=3\n\n[U]\nq=w\n[T]\nc=4\n");
}

TEST_F(WorkDirTest, EmptySectionGetsKeyRightAfterHeader) {
    writeFile(path("e.ini"), "[S]\r\n\r\n[T]\r\nk=v\r\n");
    IniFile ini(QStringLiteral("e.ini"));
    ini.writeInteger("s", "a", 1);
    EXPECT_EQ(readFile(path("e.ini")), "[S]\r\na=1\r\n\r\n[T]\r\nk=v\r\n");
}

TEST_F(WorkDirTest, LineBreaksInAValueCannotAddKeys) {
    IniFile ini(QStringLiteral("i.ini"));
    ini.writeString("S", "name", "a\r\n[S]\nb=evil");
    EXPECT_EQ(ini.readString("S", "b", "none"), "none");
    EXPECT_EQ(ini.readString("S", "name", ""), "a  [S] b=evil");
}

TEST_F(WorkDirTest, UnmappableCharactersAreStoredAsQuestionMarks) {
    IniFile ini(QStringLiteral("u.ini"));
    ini.writeString("S", "t", QStringLiteral("日本 ОЛВ"));
    EXPECT_EQ(readFile(path("u.ini")), "[S]\r\nt=?? " + Cp("ОЛВ") + "\r\n");
}

// A file saved by a UTF-8 editor with a byte order mark, holding UTF-8 and Windows-1251 values side by
// side: each reads in its own encoding and a value goes back in the encoding its line had.
TEST_F(WorkDirTest, BomAndUtf8ValuesBesideWindows1251Ones) {
    const QByteArray original = "\xEF\xBB\xBF[PORTS]\r\n"
                                "COM1=/dev/serial/by-id/" +
                                QStringLiteral("адаптер").toUtf8() +
                                "\r\n"
                                "[LOG]\r\n"
                                "LogFileName=" +
                                QStringLiteral("обмен.txt").toUtf8() +
                                "\r\n"
                                "Old=" +
                                Cp("Журнал") +
                                "\r\n"
                                "Odd=" +
                                Cp("Р°") + // Windows-1251 letters whose bytes are UTF-8 "а"
                                "\r\n"
                                "Plain=COM.txt\r\n";
    writeFile(path("b.ini"), original);
    IniFile ini(QStringLiteral("b.ini"));
    EXPECT_EQ(ini.readString("ports", "COM1", ""), QStringLiteral("/dev/serial/by-id/адаптер"));
    EXPECT_EQ(ini.readString("LOG", "LogFileName", ""), QStringLiteral("обмен.txt"));
    EXPECT_EQ(ini.readString("LOG", "Old", ""), QStringLiteral("Журнал"));
    EXPECT_EQ(ini.readString("LOG", "Odd", ""), QStringLiteral("а"));

    // Writing back what was read changes nothing, the mark included.
    ini.writeString("PORTS", "COM1", QStringLiteral("/dev/serial/by-id/адаптер"));
    ini.writeString("LOG", "LogFileName", QStringLiteral("обмен.txt"));
    ini.writeString("LOG", "Old", QStringLiteral("Журнал"));
    EXPECT_EQ(readFile(path("b.ini")), original);

    ini.writeString("LOG", "LogFileName", QStringLiteral("измерения.txt")); // stays UTF-8
    ini.writeString("LOG", "Old", QStringLiteral("Отчёт"));                 // stays Windows-1251
    ini.writeString("LOG", "Plain", QStringLiteral("обмен.txt")); // was ASCII: UTF-8, as the mark says
    ini.writeString("REG", "RegFileName", QStringLiteral("Рег")); // new: UTF-8, as the mark says
    EXPECT_EQ(readFile(path("b.ini")),
              original.left(original.indexOf("LogFileName=")) +
                  "LogFileName=" + QStringLiteral("измерения.txt").toUtf8() + "\r\nOld=" + Cp("Отчёт") +
                  "\r\nOdd=" + Cp("Р°") + "\r\nPlain=" + QStringLiteral("обмен.txt").toUtf8() +
                  "\r\n[REG]\r\nRegFileName=" + QStringLiteral("Рег").toUtf8() + "\r\n");
    EXPECT_EQ(ini.readString("PORTS", "COM1", ""), QStringLiteral("/dev/serial/by-id/адаптер"));
}

TEST_F(WorkDirTest, Windows1251TextThatWouldReadAsUtf8IsStoredAsUtf8) {
    IniFile ini(QStringLiteral("w.ini"));
    ini.writeString("S", "plain", QStringLiteral("Журнал"));
    ini.writeString("S", "odd", QStringLiteral("Р°"));
    EXPECT_EQ(readFile(path("w.ini")),
              "[S]\r\nplain=" + Cp("Журнал") + "\r\nodd=" + QStringLiteral("Р°").toUtf8() + "\r\n");
    EXPECT_EQ(ini.readString("S", "odd", ""), QStringLiteral("Р°"));
}

TEST_F(WorkDirTest, SymlinkStaysASymlinkAndItsTargetIsWritten) {
    writeFile(path("real.ini"), "[S]\r\na=1\r\n");
    ASSERT_TRUE(QFile::link(path("real.ini"), path("link.ini")));
    IniFile ini(QStringLiteral("link.ini"));
    ini.writeInteger("S", "a", 2);
    EXPECT_TRUE(QFileInfo(path("link.ini")).isSymLink());
    EXPECT_EQ(readFile(path("real.ini")), "[S]\r\na=2\r\n");
    // A second name (a hard link) sees every save, made through either name.
    ASSERT_EQ(::link(QFile::encodeName(path("real.ini")), QFile::encodeName(path("hard.ini"))), 0);
    ini.writeInteger("S", "a", 3);
    IniFile(QStringLiteral("hard.ini")).writeInteger("S", "b", 4);
    EXPECT_EQ(readFile(path("real.ini")) + readFile(path("hard.ini")),
              QByteArray("[S]\r\na=3\r\nb=4\r\n").repeated(2));
}

TEST_F(WorkDirTest, SaveKeepsFilePermissions) {
    writeFile(path("p.ini"), "[S]\r\na=1\r\n");
    const auto perms = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(path("p.ini"), perms));
    IniFile ini(QStringLiteral("p.ini"));
    ini.writeInteger("S", "a", 2);
    EXPECT_EQ(QFile::permissions(path("p.ini")) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), perms);
}

TEST_F(WorkDirTest, RefusedWriteNamesTheFullPath) {
    writeFile(path("plain"), "not a folder");
    IniFile ini(QStringLiteral("plain/dev.dat"));
    try {
        ini.writeInteger("S", "a", 1);
        FAIL() << "the write went through";
    } catch (const IniWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path("plain/dev.dat").toStdString());
        EXPECT_EQ(e.path(), path("plain/dev.dat"));
    }
}

TEST_F(WorkDirTest, ReadOnlyFileRefusesTheWriteAndStaysIntact) {
    const QByteArray original = "[S]\r\na=1\r\n";
    writeFile(path("ro.ini"), original);
    std::optional<ImmutableFlag> immutable;
    if (::geteuid() == 0) {
        immutable.emplace(path("ro.ini"));
        ASSERT_TRUE(immutable->ok()) << ImmutableFlag::Refused;
    } else {
        ASSERT_TRUE(QFile::setPermissions(path("ro.ini"), QFileDevice::ReadOwner));
    }
    IniFile ini(QStringLiteral("ro.ini"));
    EXPECT_THROW(ini.writeInteger("S", "a", 2), IniWriteError);
    EXPECT_THROW(ini.writeInteger("S", "b", 2), IniWriteError);
    EXPECT_EQ(readFile(path("ro.ini")), original);
}

TEST_F(WorkDirTest, ReadOnlyFolderWithWritableFileIsWrittenInPlace) {
    ASSERT_TRUE(QDir(path("")).mkdir("locked"));
    writeFile(path("locked/f.ini"), "[S]\r\na=1\r\n");
    std::optional<ImmutableFlag> immutable;
    if (::geteuid() == 0) {
        immutable.emplace(path("locked"));
        ASSERT_TRUE(immutable->ok()) << ImmutableFlag::Refused;
    } else {
        ASSERT_TRUE(QFile::setPermissions(path("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    IniFile ini(QStringLiteral("locked/f.ini"));
    ini.writeInteger("S", "a", 2);
    EXPECT_EQ(readFile(path("locked/f.ini")), "[S]\r\na=2\r\n");
    // A new file cannot be made there.
    IniFile fresh(QStringLiteral("locked/new.ini"));
    EXPECT_THROW(fresh.writeInteger("S", "a", 1), IniWriteError);
    if (!immutable)
        QFile::setPermissions(path("locked"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// ---- saves that fail part-way, and files that are no regular files ----

// A file of 600 bytes that a save would grow past the 1000-byte limit.
QByteArray LongSettings() {
    QByteArray bytes = "[PORTS]\r\nCOM1=/dev/ttyUSB0\r\n[MINE]\r\n";
    while (bytes.size() < 600)
        bytes += "note=" + QByteArray(40, 'x') + "\r\n";
    return bytes;
}

TEST_F(WorkDirTest, SaveThatRunsOutOfSpaceLeavesTheOldFileByteForByte) {
    const QByteArray original = LongSettings();
    writeFile(path("dev.dat"), original);
    IniFile ini(QStringLiteral("dev.dat"));
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(ini.writeString("LOG", "LogFileName", QString(600, u'y')), IniWriteError);
    }
    EXPECT_EQ(readFile(path("dev.dat")), original);
    EXPECT_EQ(QDir(path("")).entryList(QDir::Files | QDir::Hidden), QStringList{"dev.dat"}); // no leftovers
    // A save that fits still goes through afterwards.
    ini.writeString("LOG", "LogFileName", QStringLiteral("COM.txt"));
    EXPECT_EQ(readFile(path("dev.dat")), original + "[LOG]\r\nLogFileName=COM.txt\r\n");
}

TEST_F(WorkDirTest, InPlaceSaveThatRunsOutOfSpaceLeavesTheOldFileByteForByte) {
    ASSERT_TRUE(QDir(path("")).mkdir("locked"));
    const QByteArray original = LongSettings();
    writeFile(path("locked/f.ini"), original);
    std::optional<ImmutableFlag> immutable;
    if (::geteuid() == 0) {
        immutable.emplace(path("locked"));
        ASSERT_TRUE(immutable->ok()) << ImmutableFlag::Refused;
    } else {
        ASSERT_TRUE(QFile::setPermissions(path("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    IniFile ini(QStringLiteral("locked/f.ini"));
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(ini.writeString("S", "a", QString(600, u'y')), IniWriteError);
    }
    EXPECT_EQ(readFile(path("locked/f.ini")), original);
    // A shorter file is rewritten in place and cut to its new length: no old bytes are left behind.
    ini.writeString("MINE", "note", QStringLiteral("1"));
    const qsizetype note = original.indexOf("note=");
    EXPECT_EQ(readFile(path("locked/f.ini")),
              original.left(note) + "note=1" + original.mid(original.indexOf('\r', note)));
    if (!immutable)
        QFile::setPermissions(path("locked"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(WorkDirTest, SaveIsSyncedAndReplacesTheFileWhole) {
    writeFile(path("f.ini"), "[S]\r\na=1\r\n");
    const ino_t before = Inode(path("f.ini"));
    IniFile ini(QStringLiteral("f.ini"));
    // Each sync as it happens: the name of the file synced, its bytes, and what f.ini holds meanwhile.
    std::vector<QByteArray> synced;
    files::WatchPlainFileSyncs([&](int fd) {
        const QString name = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
        synced = {QFile::encodeName(QFileInfo(name).fileName()), readFile(name), readFile(path("f.ini"))};
    });
    const auto unwatch = qScopeGuard([] { files::WatchPlainFileSyncs({}); });
    ini.writeInteger("S", "a", 2);
    EXPECT_EQ(readFile(path("f.ini")), "[S]\r\na=2\r\n");
    // The temporary file was synced whole before it took the old one's name.
    ASSERT_EQ(synced.size(), 3u) << "no sync";
    EXPECT_TRUE(synced[0].startsWith(".f.ini.")) << synced[0].constData();
    EXPECT_EQ(synced[1], "[S]\r\na=2\r\n");
    EXPECT_EQ(synced[2], "[S]\r\na=1\r\n");
    // A new file took the old one's place (a rewrite of the old file could be torn by a crash).
    EXPECT_NE(Inode(path("f.ini")), before);
}

// What the file is, made in the test's folder under the name "odd".
enum class OddKind { Fifo, DevZero, Folder, Socket, TooLarge };

class OddFileTest : public WorkDirTest, public ::testing::WithParamInterface<OddKind> {};

TEST_P(OddFileTest, IsNeitherReadNorReplaced) {
    const QByteArray name = QFile::encodeName(path("odd"));
    switch (GetParam()) {
    case OddKind::Fifo:
        ASSERT_EQ(::mkfifo(name.constData(), 0644), 0);
        break;
    case OddKind::DevZero:
        ASSERT_TRUE(QFile::link("/dev/zero", path("odd")));
        break;
    case OddKind::Folder:
        ASSERT_TRUE(QDir(path("")).mkdir("odd"));
        break;
    case OddKind::Socket: {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        struct sockaddr_un address {};
        address.sun_family = AF_UNIX;
        ASSERT_LT(size_t(name.size()), sizeof address.sun_path);
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
        break;
    }
    case OddKind::TooLarge: {
        writeFile(path("odd"), "[S]\r\na=5\r\n");
        ASSERT_TRUE(QFile::resize(path("odd"), 16 * 1024 * 1024 + 1)); // sparse
        break;
    }
    }
    const QFileInfo before(path("odd"));
    const ino_t inode = Inode(path("odd"));
    IniFile ini(QStringLiteral("odd"));
    EXPECT_FALSE(ini.readable());
    EXPECT_EQ(ini.readInteger("S", "a", 7), 7); // returns at once, with the default
    EXPECT_THROW(ini.writeInteger("S", "a", 1), IniWriteError);
    const QFileInfo after(path("odd"));
    EXPECT_EQ(after.isSymLink(), before.isSymLink());
    EXPECT_EQ(after.isDir(), before.isDir());
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(Inode(path("odd")), inode);
}

INSTANTIATE_TEST_SUITE_P(Kinds, OddFileTest,
                         ::testing::Values(OddKind::Fifo, OddKind::DevZero, OddKind::Folder, OddKind::Socket,
                                           OddKind::TooLarge));

} // namespace
} // namespace olv::test
