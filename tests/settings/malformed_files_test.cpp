// Damaged and hand-edited settings files: binary junk, very long lines, missing and duplicate
// sections, values out of range, hexadecimal and "$" values, mixed line ends, NUL bytes, a BOM.
// Loading takes the defaults where the reading rules say so, writes back only the keys it reads, and
// keeps every other line byte for byte and in order. A second load changes nothing more.
#include "settings/ini_file.h"
#include "settings/profile.h"
#include "settings/station_settings.h"
#include "settings_test_support.h"
#include "tests/support/recording_boxes.h"

#include <QSet>

#include <optional>
#include <vector>

namespace olv::test {
namespace {

QByteArray DataFile(const char* name) {
    QFile file(QStringLiteral(OLV_SOURCE_DIR "/tests/settings/data/") + name);
    if (!file.open(QIODevice::ReadOnly)) return QByteArray("<missing data file>");
    return file.readAll();
}

// The lines of a file with their line breaks ('\n' ends a line; a lone CR does not).
std::vector<QByteArray> Lines(const QByteArray& bytes) {
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype nl = bytes.indexOf('\n', start);
        const qsizetype end = nl < 0 ? bytes.size() : nl + 1;
        lines.push_back(bytes.mid(start, end - start));
        start = end;
    }
    return lines;
}

// The key of a "key=value" line, lower case; empty for headers, comments and other lines.
QByteArray KeyOf(const QByteArray& line) {
    const QByteArray trimmed = line.trimmed();
    if (trimmed.startsWith('[') || trimmed.startsWith(';') || trimmed.startsWith('#')) return {};
    const qsizetype equals = line.indexOf('=');
    return equals < 0 ? QByteArray() : line.left(equals).trimmed().toLower();
}

// Every line of `before` whose key the load does not write must be found in `after`, unchanged and in
// the same order. A last line without a break may have gained one.
void ExpectUntouchedLinesKept(const QByteArray& before, const QByteArray& after,
                              const QSet<QByteArray>& written) {
    const std::vector<QByteArray> old = Lines(before);
    const std::vector<QByteArray> now = Lines(after);
    size_t at = 0;
    for (size_t i = 0; i < old.size(); ++i) {
        if (written.contains(KeyOf(old[i]))) continue;
        const bool last = i + 1 == old.size() && !old[i].endsWith('\n');
        while (at < now.size() &&
               !(now[at] == old[i] || (last && now[at].chopped(now[at].endsWith("\r\n") ? 2 : 1) == old[i] &&
                                       now[at].endsWith('\n'))))
            ++at;
        ASSERT_LT(at, now.size()) << "line " << i + 1
                                  << " was lost or changed: " << ::testing::PrintToString(old[i]);
        ++at;
    }
}

// ---- dev.dat ----

struct StationCase {
    const char* file;
    std::optional<int> portNumber; // not checked where nothing sensible can be promised
    int baudRate;
    int parity;
    int address;
    int32_t timeoutMs;
    int traceEnabled;
    QString traceFileName;
    size_t boxes;
};

void PrintTo(const StationCase& c, std::ostream* os) {
    *os << c.file;
}

const QSet<QByteArray> StationKeysWritten = {"number",     "settings",    "netadrr",    "timeout",
                                             "uselogfile", "logfilename", "regfilename"};

class MalformedStationFile : public WorkDirTest, public ::testing::WithParamInterface<StationCase> {};

TEST_P(MalformedStationFile, LoadsDefaultsWhereTheRulesSayAndKeepsOtherLines) {
    const StationCase& c = GetParam();
    const QByteArray original = DataFile(c.file);
    writeFile(path("dev.dat"), original);

    link::LinkSettings link;
    device::PendingDeviceLink pending;
    QString regFileName;
    RecordingBoxes boxes;
    settings::LoadStationSettings(link, pending, regFileName, boxes);

    if (c.portNumber) {
        EXPECT_EQ(link.portNumber, *c.portNumber);
    }
    EXPECT_EQ(link.baudRate, c.baudRate);
    EXPECT_EQ(link.parity, c.parity);
    EXPECT_EQ(link.address, c.address);
    EXPECT_EQ(link.timeoutMs, c.timeoutMs);
    EXPECT_EQ(link.traceEnabled, c.traceEnabled);
    EXPECT_EQ(link.traceFileName, c.traceFileName);
    EXPECT_EQ(boxes.boxes.size(), c.boxes);
    EXPECT_EQ(pending.pendingAddress, link.address);
    EXPECT_EQ(pending.pendingBaudRate, link.baudRate);
    EXPECT_EQ(pending.pendingParity, link.parity);

    const QByteArray after = readFile(path("dev.dat"));
    ExpectUntouchedLinesKept(original, after, StationKeysWritten);

    // The write-back left each key holding what was read.
    settings::IniFile ini(path("dev.dat"));
    EXPECT_EQ(ini.readInteger("COM_SETTINGS", "Number", -12345), link.portNumber);
    EXPECT_EQ(ini.readInteger("DEVICE", "NetAdrr", -12345), link.address);
    EXPECT_EQ(ini.readInteger("SETTINGS", "TimeOut", -12345), link.timeoutMs);
    EXPECT_EQ(ini.readInteger("LOG", "UseLogFile", -12345), link.traceEnabled);
    EXPECT_EQ(ini.readString("LOG", "LogFileName", "<missing>"), link.traceFileName);

    // Loading what the first load left changes nothing more and reads the same.
    link::LinkSettings again;
    settings::LoadStationSettings(again, pending, regFileName, boxes);
    EXPECT_EQ(readFile(path("dev.dat")), after);
    EXPECT_EQ(again.portNumber, link.portNumber);
    EXPECT_EQ(again.address, link.address);
    EXPECT_EQ(again.timeoutMs, link.timeoutMs);
}

const QString Com = QStringLiteral("COM.txt");

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedStationFile,
    ::testing::Values(
        StationCase{"dev_binary_junk.dat", 1, 19200, 2, 1, 1000, 1, Com, 0},
        StationCase{"dev_empty_file.dat", 1, 19200, 2, 1, 1000, 1, Com, 0},
        StationCase{"dev_missing_sections.dat", 1, 19200, 2, 1, 1000, 0, Com, 0},
        StationCase{"dev_duplicate_sections.dat", 2, 19200, 2, 5, 1000, 1, Com, 0},
        StationCase{"dev_out_of_range.dat", 9, 19200, 2, 300, -1, 1, Com, 2},
        StationCase{"dev_hex_values.dat", 3, 19200, 2, 31, 16, 0, Com, 0},
        StationCase{"dev_malformed_numbers.dat", 1, 19200, 2, 1, 1000, 1, Com, 0},
        StationCase{"dev_crlf_lf_mix.dat", 4, 9600, 1, 17, 250, 1, Com, 0},
        StationCase{"dev_nul_bytes.dat", 1, 19200, 2, 3, 1000, 0, Com, 0},
        // A UTF-8 BOM, as editors write it, is skipped: the first section is read like the others, and
        // no byte of the file is lost.
        StationCase{"dev_bom.dat", 3, 19200, 2, 8, 1000, 1, Com, 0},
        StationCase{"dev_empty_values.dat", 1, 19200, 0, 1, 1000, 1, QString(), 0},
        StationCase{"dev_settings_letters.dat", 1, 9600, 2, 1, 1000, 1, Com, 0},
        StationCase{"dev_lowercase_parity.dat", 1, 38400, 0, 1, 1000, 1, Com, 0},
        StationCase{"dev_blanks_and_quotes.dat", 4, 19200, 2, 1, 1000, 1, QStringLiteral("trace 1.txt"), 0},
        // Classic Mac line ends: the whole file is one header line, so every key takes its default.
        StationCase{"dev_lone_cr.dat", 1, 19200, 2, 1, 1000, 1, Com, 0},
        StationCase{"dev_lowercase_names.dat", 6, 19200, 2, 12, 1000, 1, Com, 0},
        StationCase{"dev_comments.dat", 1, 19200, 2, 1, 1000, 1, Com, 0}));

class HugeStationFile : public WorkDirTest {};

// A megabyte-long line of an unknown key stays whole; a megabyte-long trace file name is read as its
// first 1023 characters (and written back so).
TEST_F(HugeStationFile, MegabyteLinesAreKeptOrCutAtTheReadLimit) {
    const QByteArray junk = "Junk=" + QByteArray(1 << 20, 'j') + "\r\n";
    const QByteArray original =
        "[LOG]\r\n" + junk + "LogFileName=" + QByteArray(1 << 20, 'n') + "\r\n[DEVICE]\r\n" + "NetAdrr=4\r\n";
    writeFile(path("dev.dat"), original);
    link::LinkSettings link;
    device::PendingDeviceLink pending;
    QString regFileName;
    RecordingBoxes boxes;
    settings::LoadStationSettings(link, pending, regFileName, boxes);
    EXPECT_EQ(link.traceFileName, QString(1023, 'n'));
    EXPECT_EQ(link.address, 4);
    const QByteArray after = readFile(path("dev.dat"));
    EXPECT_TRUE(after.contains("\r\n" + junk + "LogFileName=" + QByteArray(1023, 'n') + "\r\n"));
    ExpectUntouchedLinesKept(original, after, StationKeysWritten);
}

// ---- profiles ----

struct ProfileCase {
    const char* file;
    std::optional<int> pageAsked; // the page LoadProfile asks the window for, if any
    QString logFileName;
    int logEnabled;
    QString definition0;
    QString definition3;
    std::array<int, 6> baudEnabled;
    int firstAddress;
    int lastAddress;
    std::array<int, 3> parityEnabled;
    int byteOrder;
    uint16_t text0;
    uint16_t text1;
    int32_t model;
    int32_t software;
};

void PrintTo(const ProfileCase& c, std::ostream* os) {
    *os << c.file;
}

const QSet<QByteArray> ProfileKeysWritten = {
    "num", "izm_name",   "write_file", "1200",      "2400", "4800", "9600", "19200", "38400", "beg",
    "end", "parity_non", "parity_odd", "parity_ev", "fl",   "ch0",  "ch1",  "ch2",   "ch3",   "ch4",
    "ch5", "ch6",        "ch7",        "ch8",       "ch9",  "mdl",  "verh", "vers"};

class MalformedProfile : public WorkDirTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(MalformedProfile, LoadsDefaultsWhereTheRulesSayAndKeepsOtherLines) {
    const ProfileCase& c = GetParam();
    const QByteArray original = DataFile(c.file);
    writeFile(path("job.prf"), original);

    settings::ProfileValues values;
    std::optional<int> asked;
    const auto showPage = [&](int page) {
        asked = page;
        return page;
    };
    settings::LoadProfile(path("job.prf"), values, showPage, 4);

    EXPECT_EQ(asked, c.pageAsked);
    EXPECT_EQ(values.logFileName, c.logFileName);
    EXPECT_EQ(values.logEnabled, c.logEnabled);
    ASSERT_EQ(values.definitionLines.size(), 4);
    EXPECT_EQ(values.definitionLines[0], c.definition0);
    EXPECT_EQ(values.definitionLines[3], c.definition3);
    EXPECT_EQ(values.search.baudEnabled, c.baudEnabled);
    EXPECT_EQ(values.search.firstAddress, c.firstAddress);
    EXPECT_EQ(values.search.lastAddress, c.lastAddress);
    EXPECT_EQ(values.search.parityEnabled, c.parityEnabled);
    EXPECT_EQ(values.byteOrder, c.byteOrder);
    EXPECT_EQ(values.textWords[0], c.text0);
    EXPECT_EQ(values.textWords[1], c.text1);
    EXPECT_EQ(values.model, c.model);
    EXPECT_EQ(values.software, c.software);

    const QByteArray after = readFile(path("job.prf"));
    ExpectUntouchedLinesKept(original, after, ProfileKeysWritten);
    settings::IniFile ini(path("job.prf"));
    EXPECT_EQ(ini.readInteger("TXT", "ch0", -1), c.text0);
    EXPECT_EQ(ini.readInteger("TAB", "num", -1), c.pageAsked.value_or(4));
    // Description lines are only read: a file without them stays without them.
    if (!original.contains("[Definition]")) {
        EXPECT_FALSE(after.contains("[Definition]"));
    }

    settings::ProfileValues again;
    settings::LoadProfile(path("job.prf"), again, showPage, 4);
    EXPECT_EQ(readFile(path("job.prf")), after);
}

const QString Izm = QStringLiteral("izm.txt");
const QString Board = QStringLiteral("Плата сопряжения с ОЛВ.");
constexpr std::array<int, 6> DefaultBauds{0, 0, 0, 0, 1, 1};
constexpr std::array<int, 3> DefaultParities{0, 0, 1};

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedProfile,
    ::testing::Values(ProfileCase{"prf_binary_junk.prf", 1, Izm, 1, Board, "", DefaultBauds, 1, 5,
                                  DefaultParities, 0, 8224, 8224, 256, 107},
                      ProfileCase{"prf_empty_file.prf", 1, Izm, 1, Board, "", DefaultBauds, 1, 5,
                                  DefaultParities, 0, 8224, 8224, 256, 107},
                      ProfileCase{"prf_out_of_range.prf", std::nullopt, Izm, 1, Board, "", DefaultBauds, 1,
                                  300, DefaultParities, 9, 4464, 65535, 256, 107},
                      ProfileCase{"prf_hex_values.prf", 3, Izm, 1, Board, "", DefaultBauds, 1, 5,
                                  DefaultParities, 0, 16706, 8224, -1, 107},
                      ProfileCase{"prf_duplicate_sections.prf", 1, Izm, 0, Board, "", DefaultBauds, 2, 9,
                                  DefaultParities, 0, 8224, 8224, 256, 107},
                      ProfileCase{"prf_missing_definition.prf", 0, QStringLiteral("log.txt"), 1, Board, "",
                                  DefaultBauds, 1, 5, DefaultParities, 0, 8224, 8224, 256, 107},
                      ProfileCase{"prf_crlf_lf_nul.prf", 2, Izm, 1, QStringLiteral("a") + QChar(0) + "b", "",
                                  DefaultBauds, 1, 5, DefaultParities, 1, 8224, 8224, 256, 107},
                      // As for dev.dat: the section right after a BOM is read too.
                      ProfileCase{"prf_bom.prf", 0, Izm, 1, Board, "", DefaultBauds, 1, 5, DefaultParities, 3,
                                  8224, 8224, 256, 107},
                      ProfileCase{"prf_cp1251_text.prf", 1, Izm, 1, QStringLiteral("Стенд 1"),
                                  QStringLiteral("ПД-100"), DefaultBauds, 1, 5, DefaultParities, 0, 8224,
                                  8224, 256, 107},
                      ProfileCase{"prf_malformed_numbers.prf", 1, Izm, 1, Board, "", DefaultBauds, 1, 5,
                                  DefaultParities, 0, 8224, 8224, 256, 107},
                      ProfileCase{"prf_lone_cr.prf", 1, Izm, 1, Board, "", DefaultBauds, 1, 5,
                                  DefaultParities, 0, 8224, 8224, 256, 107}));

class HugeProfile : public WorkDirTest {};
class ProfileSaves : public WorkDirTest {};

// Description lines are never written back by a load, so a megabyte-long one stays whole.
TEST_F(HugeProfile, AMegabyteDescriptionLineIsReadToTheLimitAndKeptWhole) {
    const QByteArray original = "[Definition]\r\ntxt0=" + QByteArray(1 << 20, 'd') + "\r\n[TAB]\r\nnum=0\r\n";
    writeFile(path("job.prf"), original);
    settings::ProfileValues values;
    settings::LoadProfile(
        path("job.prf"), values, [](int page) { return page; }, 4);
    EXPECT_EQ(values.definitionLines[0], QString(1023, 'd'));
    EXPECT_TRUE(readFile(path("job.prf")).startsWith(original));
}

// Saving a description line that starts with blanks (they are never read back) twice in a row gives the
// same file; the blanks must not pile up in front of the value at every save.
TEST_F(ProfileSaves, RepeatedSavesOfAnIndentedDescriptionLineLeaveTheFileAlone) {
    settings::ProfileValues values;
    values.definitionLines = {QStringLiteral("   отступ"), QStringLiteral("\tтаб"), "", ""};
    settings::SaveProfile(path("job.prf"), values);
    const QByteArray first = readFile(path("job.prf"));
    settings::SaveProfile(path("job.prf"), values);
    settings::SaveProfile(path("job.prf"), values);
    EXPECT_EQ(readFile(path("job.prf")), first);
    settings::ProfileValues read;
    settings::LoadProfile(
        path("job.prf"), read, [](int page) { return page; }, 4);
    EXPECT_EQ(read.definitionLines[0], QStringLiteral("отступ"));
    EXPECT_EQ(read.definitionLines[1], QStringLiteral("таб"));
}

} // namespace
} // namespace olv::test
