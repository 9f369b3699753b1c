#include "settings/profile.h"

#include "settings/ini_file.h"
#include "settings_test_support.h"
#include "text/cp1251.h"

#include <QFileInfo>

#include <sys/stat.h>

#include <vector>

namespace olv::test {
namespace {

using settings::IniFile;
using settings::LoadProfile;
using settings::ProfileValues;
using settings::SaveProfile;

class ProfileTest : public WorkDirTest {
  protected:
    // The window's side: records the pages asked for and shows them.
    int showPage(int page) {
        asked.push_back(page);
        return page;
    }
    void load(const QString& name, int currentPage = 0) {
        LoadProfile(
            path(name), values, [this](int page) { return showPage(page); }, currentPage);
    }
    QString value(const QString& name, const QString& section, const QString& key) const {
        return IniFile(path(name)).readString(section, key, QStringLiteral("<missing>"));
    }
    // The section headers of a file, in order.
    QStringList sections(const QString& name) const {
        QStringList result;
        for (const QByteArray& line : readFile(path(name)).split('\n'))
            if (line.startsWith('[')) result << QString::fromLatin1(line.trimmed());
        return result;
    }

    ProfileValues values;
    std::vector<int> asked;
};

TEST_F(ProfileTest, RecentProfileIsInTheWorkingDirectory) {
    EXPECT_EQ(settings::RecentProfilePath(), path("recent.prf"));
}

TEST_F(ProfileTest, MissingProfileIsCreatedWithTheDefaultSet) {
    load("recent.prf", 4);
    QByteArray expected = "[IZM]\r\nizm_name=izm.txt\r\nwrite_file=1\r\n"
                          "[Definition]\r\ntxt0=" +
                          text::ToCp1251(QStringLiteral("Прибор ОЛВ 20 ModBus RTU.")) +
                          "\r\ntxt1=19200\r\ntxt2=\r\ntxt3=\r\n"
                          "[Seach]\r\n1200=0\r\n2400=0\r\n4800=0\r\n9600=1\r\n19200=1\r\n38400=1\r\n"
                          "beg=1\r\nend=5\r\nparity_non=0\r\nparity_odd=0\r\nparity_ev=1\r\n"
                          "[Format]\r\nfl=0\r\n[TXT]\r\n";
    for (int i = 0; i < 10; ++i)
        expected += "ch" + QByteArray::number(i) + "=8224\r\n";
    expected += "[MODEL]\r\nmdl=256\r\nverh=0\r\nvers=107\r\n[TAB]\r\nnum=1\r\n";
    EXPECT_EQ(readFile(path("recent.prf")), expected);

    EXPECT_EQ(asked, std::vector<int>{1});
    EXPECT_EQ(values.page, 1);
    EXPECT_EQ(values.logFileName, "izm.txt");
    EXPECT_EQ(values.logEnabled, 1);
    EXPECT_EQ(values.definitionLines,
              QStringList({QStringLiteral("Прибор ОЛВ 20 ModBus RTU."), "19200", QString(), QString()}));
    EXPECT_EQ(values.search.baudEnabled, (std::array<int, 6>{0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(values.search.parityEnabled, (std::array<int, 3>{0, 0, 1}));
    EXPECT_EQ(values.search.firstAddress, 1);
    EXPECT_EQ(values.search.lastAddress, 5);
    EXPECT_EQ(values.byteOrder, 0);
    for (uint16_t word : values.textWords)
        EXPECT_EQ(word, 0x2020);
    EXPECT_EQ(values.model, 256);
    EXPECT_EQ(values.hardware, 0);
    EXPECT_EQ(values.software, 107);
}

TEST_F(ProfileTest, ProfileWithoutDefinitionGetsDefaultLinesAndNoSection) {
    writeFile(path("p.prf"), "[TAB]\r\nnum=2\r\n");
    load("p.prf");
    EXPECT_EQ(values.definitionLines,
              QStringList({QStringLiteral("Плата сопряжения с ОЛВ."), QString(), QString(), QString()}));
    EXPECT_FALSE(sections("p.prf").contains("[Definition]"));
}

TEST_F(ProfileTest, DefinitionLinesAreReadAsFourEvenWhenSomeAreMissing) {
    writeFile(path("p.prf"), "[Definition]\r\ntxt0=\r\ntxt2=third\r\n");
    load("p.prf");
    EXPECT_EQ(values.definitionLines, QStringList({QString(), QString(), "third", QString()}));
    EXPECT_EQ(value("p.prf", "Definition", "txt1"), "<missing>") << "Definition keys are not added";
}

TEST_F(ProfileTest, MissingKeysReadTheirReadDefaults) {
    writeFile(path("p.prf"), "[Seach]\r\n1200=1\r\n");
    load("p.prf");
    EXPECT_EQ(values.search.baudEnabled, (std::array<int, 6>{1, 0, 0, 0, 1, 1}))
        << "9600 reads 0 when missing";
    EXPECT_EQ(value("p.prf", "Seach", "9600"), "0");
    EXPECT_EQ(values.page, 1);
    EXPECT_EQ(value("p.prf", "TAB", "num"), "1");
}

TEST_F(ProfileTest, ProfileThatCannotBeReadGivesTheDefaultsAndStaysAsItIs) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("p.prf")).constData(), 0644), 0);
    values.logEnabled = 0;
    values.search.firstAddress = 200;
    EXPECT_THROW(load("p.prf"), settings::IniWriteError);
    EXPECT_EQ(asked, std::vector<int>{1});
    EXPECT_EQ(values.logFileName, QStringLiteral("izm.txt"));
    EXPECT_EQ(values.logEnabled, 1);
    EXPECT_EQ(values.search.firstAddress, 1);
    EXPECT_EQ(values.search.parityEnabled[2], 1);
    EXPECT_EQ(values.textWords[9], 0x2020);
    EXPECT_EQ(values.software, 107);
    EXPECT_TRUE(QFileInfo(path("p.prf")).exists() && !QFileInfo(path("p.prf")).isFile());
}

TEST_F(ProfileTest, MalformedIntegersAreReplacedByDefaults) {
    writeFile(path("p.prf"), "[MODEL]\r\nmdl=big\r\nverh=0x1F\r\nvers=-3\r\n[Format]\r\nfl=$2\r\n");
    load("p.prf");
    EXPECT_EQ(values.model, 256);
    EXPECT_EQ(values.hardware, 31);
    EXPECT_EQ(values.software, -3);
    EXPECT_EQ(values.byteOrder, 2);
    EXPECT_EQ(value("p.prf", "MODEL", "mdl"), "256");
    EXPECT_EQ(value("p.prf", "MODEL", "verh"), "31");
    EXPECT_EQ(value("p.prf", "Format", "fl"), "2");
}

struct TextWordCase {
    const char* stored;
    uint16_t word;
};

class TextWordTest : public ProfileTest, public ::testing::WithParamInterface<TextWordCase> {};

TEST_P(TextWordTest, KeepsTheLowSixteenBitsAndWritesThemBack) {
    writeFile(path("p.prf"), QByteArray("[TXT]\r\nch0=") + GetParam().stored + "\r\n");
    load("p.prf");
    EXPECT_EQ(values.textWords[0], GetParam().word);
    EXPECT_EQ(value("p.prf", "TXT", "ch0"), QString::number(GetParam().word));
}

INSTANTIATE_TEST_SUITE_P(Values, TextWordTest,
                         ::testing::Values(TextWordCase{"70000", 4464}, TextWordCase{"-1", 65535},
                                           TextWordCase{"16706", 0x4142}, TextWordCase{"0x4142", 0x4142},
                                           TextWordCase{"65536", 0}, TextWordCase{"text", 8224}));

struct PageCase {
    const char* stored;
    int currentPage;
    bool asked;
    int page;
};

class PageTest : public ProfileTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(PageTest, ShowsPagesZeroToFiveAndWritesBackThePageShown) {
    writeFile(path("p.prf"), QByteArray("[TAB]\r\nnum=") + GetParam().stored + "\r\n");
    load("p.prf", GetParam().currentPage);
    EXPECT_EQ(asked.size(), GetParam().asked ? 1u : 0u);
    EXPECT_EQ(values.page, GetParam().page);
    EXPECT_EQ(value("p.prf", "TAB", "num"), QString::number(GetParam().page));
}

INSTANTIATE_TEST_SUITE_P(Values, PageTest,
                         ::testing::Values(PageCase{"3", 0, true, 3}, PageCase{"0", 2, true, 0},
                                           PageCase{"4", 1, true, 4}, PageCase{"5", 2, true, 5},
                                           PageCase{"6", 2, false, 2}, PageCase{"-1", 3, false, 3},
                                           PageCase{"x", 0, true, 1}));

TEST_F(ProfileTest, PageWrittenBackIsTheOneTheWindowShows) {
    writeFile(path("p.prf"), "[TAB]\r\nnum=3\r\n");
    LoadProfile(
        path("p.prf"), values, [](int) { return 2; }, 0);
    EXPECT_EQ(values.page, 2);
    EXPECT_EQ(value("p.prf", "TAB", "num"), "2");
}

TEST_F(ProfileTest, FirstSaveOrdersSectionsAndLeavesOutTheLogName) {
    values.page = 3;
    values.definitionLines = {"one"};
    SaveProfile(path("job.prf"), values);
    EXPECT_EQ(sections("job.prf"),
              QStringList({"[TAB]", "[Definition]", "[Seach]", "[Format]", "[IZM]", "[TXT]", "[MODEL]"}));
    EXPECT_EQ(value("job.prf", "IZM", "izm_name"), "<missing>");
    EXPECT_EQ(value("job.prf", "Definition", "txt0"), "one");
    for (const char* key : {"txt1", "txt2", "txt3"})
        EXPECT_EQ(value("job.prf", "Definition", key), "");
}

TEST_F(ProfileTest, OnlyFourDescriptionLinesAreSaved) {
    values.definitionLines = {"a", "b", "c", "d\r\n", "e", "f"};
    SaveProfile(path("job.prf"), values);
    EXPECT_EQ(value("job.prf", "Definition", "txt3"), "d");
    EXPECT_EQ(value("job.prf", "Definition", "txt4"), "<missing>");
    load("job.prf");
    EXPECT_EQ(values.definitionLines, QStringList({"a", "b", "c", "d"}));
}

TEST_F(ProfileTest, SavedValuesLoadBackUnchanged) {
    ProfileValues saved;
    saved.page = 2;
    saved.logEnabled = 0;
    saved.definitionLines = {QStringLiteral("Стенд 4"), "", "x=y", ""};
    saved.search.baudEnabled = {1, 0, 1, 0, 1, 0};
    saved.search.parityEnabled = {1, 1, 0};
    saved.search.firstAddress = 10;
    saved.search.lastAddress = 247;
    saved.byteOrder = 3;
    saved.textWords = {0x4142, 0xFFFF, 0, 1, 2, 3, 4, 5, 6, 0x8000};
    saved.model = 70000;
    saved.hardware = -2;
    saved.software = 108;
    SaveProfile(path("job.prf"), saved);
    EXPECT_EQ(value("job.prf", "TXT", "ch1"), "65535");

    load("job.prf", 0);
    EXPECT_EQ(values.page, 2);
    EXPECT_EQ(values.logFileName, "izm.txt") << "added by the first load";
    EXPECT_EQ(values.logEnabled, 0);
    EXPECT_EQ(values.definitionLines, saved.definitionLines);
    EXPECT_EQ(values.search.baudEnabled, saved.search.baudEnabled);
    EXPECT_EQ(values.search.parityEnabled, saved.search.parityEnabled);
    EXPECT_EQ(values.search.firstAddress, 10);
    EXPECT_EQ(values.search.lastAddress, 247);
    EXPECT_EQ(values.byteOrder, 3);
    EXPECT_EQ(values.textWords, saved.textWords);
    EXPECT_EQ(values.model, 70000);
    EXPECT_EQ(values.hardware, -2);
    EXPECT_EQ(values.software, 108);
}

TEST_F(ProfileTest, SavingAnExistingProfileLeavesItsOtherKeysUntouched) {
    load("job.prf", 0);
    IniFile(path("job.prf")).writeString("IZM", "izm_name", "shift2.txt");
    IniFile(path("job.prf")).writeString("Notes", "who", QStringLiteral("Иванов"));
    QByteArray before = readFile(path("job.prf"));
    before.insert(0, "; kept comment\r\n");
    writeFile(path("job.prf"), before);

    values.search.lastAddress = 9;
    SaveProfile(path("job.prf"), values);
    QByteArray expected = before;
    expected.replace("end=5", "end=9");
    EXPECT_EQ(readFile(path("job.prf")), expected);
}

TEST_F(ProfileTest, ReadOnlyProfileIsMadeWritableAndSaved) {
    load("ro.prf");
    ASSERT_TRUE(QFile::setPermissions(path("ro.prf"), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    values.byteOrder = 1;
    SaveProfile(path("ro.prf"), values);
    EXPECT_EQ(value("ro.prf", "Format", "fl"), "1");
    EXPECT_TRUE(QFile::permissions(path("ro.prf")) & QFileDevice::WriteOwner);
}

TEST_F(ProfileTest, RefusedWriteStopsTheLoadWithEarlierValuesFilled) {
    writeFile(path("p.prf"), "[TAB]\r\nnum=4\r\n");
    ImmutableFlag immutable(path("p.prf"));
    ASSERT_TRUE(immutable.ok()) << ImmutableFlag::Refused;
    values.logEnabled = 7;
    EXPECT_THROW(load("p.prf", 0), settings::IniWriteError); // adding IZM/izm_name is refused
    EXPECT_EQ(values.page, 4);
    EXPECT_EQ(values.logEnabled, 7) << "the load stopped before write_file";
}

TEST_F(ProfileTest, ImmutableProfileRefusesTheSave) {
    load("p.prf");
    const QByteArray before = readFile(path("p.prf"));
    ImmutableFlag immutable(path("p.prf"));
    // Permissions would not do: a read-only profile is made writable and saved.
    ASSERT_TRUE(immutable.immutable()) << "the immutable flag (chattr +i) is refused here";
    values.byteOrder = 2;
    EXPECT_THROW(SaveProfile(path("p.prf"), values), settings::IniWriteError);
    EXPECT_EQ(readFile(path("p.prf")), before);
}

// ---- the name chosen in the save dialog ----

struct SaveNameCase {
    const char* chosen;
    bool firstFilter;
    bool exists;
    const char* saved;
};

class SaveNameTest : public WorkDirTest, public ::testing::WithParamInterface<SaveNameCase> {};

TEST_P(SaveNameTest, AppendsTheExtensionOnlyWhenNeeded) {
    const SaveNameCase& c = GetParam();
    if (c.exists) writeFile(path(c.chosen), "[TAB]\r\nnum=0\r\n");
    EXPECT_EQ(settings::ProfileSaveName(path(c.chosen), c.firstFilter), path(c.saved));
}

INSTANTIATE_TEST_SUITE_P(Names, SaveNameTest,
                         ::testing::Values(SaveNameCase{"job", true, false, "job.prf"},
                                           SaveNameCase{"job", false, false, "job"},
                                           SaveNameCase{"job.prf", true, false, "job.prf"},
                                           SaveNameCase{"JOB.PRF", true, false, "JOB.PRF"},
                                           SaveNameCase{"job.prf", true, true, "job.prf"},
                                           SaveNameCase{"job", true, true, "job"},
                                           SaveNameCase{"job.txt", true, false, "job.txt.prf"},
                                           SaveNameCase{"job.txt", false, false, "job.txt"}));

} // namespace
} // namespace olv::test
