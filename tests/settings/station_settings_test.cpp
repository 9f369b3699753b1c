#include "settings/port_assignment.h"
#include "settings/station_settings.h"
#include "settings/window_geometry.h"

#include "settings/ini_file.h"
#include "settings_test_support.h"
#include "tests/support/recording_boxes.h"
#include "text/cp1251.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <random>

#include <sys/wait.h>
#include <unistd.h>

namespace olv::test {
namespace {

using settings::IniFile;
using settings::LoadStationSettings;
using settings::SaveStationSettings;

const QString LinkCaption = QStringLiteral("Проверьте параметры установления связи с прибором");
const QString PortText = QStringLiteral("Слишком большой номер COM порта.");
const QString TimeoutText = QStringLiteral("Задан большой тайм аут. Работать будет можно, но неудобно.");

class StationSettingsTest : public WorkDirTest {
  protected:
    void load() { LoadStationSettings(link, pending, regFileName, boxes); }
    QByteArray devDat() const { return readFile(path("dev.dat")); }
    QString value(const QString& section, const QString& key) const {
        return IniFile(path("dev.dat")).readString(section, key, QStringLiteral("<missing>"));
    }

    link::LinkSettings link;
    device::PendingDeviceLink pending;
    QString regFileName;
    RecordingBoxes boxes;
};

TEST_F(StationSettingsTest, PathIsTheWorkingDirectoryAtEachCall) {
    EXPECT_EQ(settings::StationSettingsPath(), path("dev.dat"));
    ASSERT_TRUE(QDir(path("")).mkdir("sub"));
    ASSERT_TRUE(QDir::setCurrent(path("sub")));
    EXPECT_EQ(settings::StationSettingsPath(), path("sub/dev.dat"));
}

TEST_F(StationSettingsTest, MissingFileIsCreatedWithTheDefaultSet) {
    load();
    EXPECT_EQ(devDat(), "[COM_SETTINGS]\r\nNumber=1\r\nSettings=19200,E,8,2\r\n"
                        "[DEVICE]\r\nEnableNetAdrr=1\r\nNetAdrr=1\r\n"
                        "[SETTINGS]\r\nNOfReadings=2\r\nTimeOut=1000\r\n"
                        "[LOG]\r\nUseLogFile=1\r\nLogFileName=COM.txt\r\n"
                        "[REG]\r\nRegFileName=REG.txt\r\n");
    EXPECT_EQ(link.portNumber, 1);
    EXPECT_EQ(link.baudRate, 19200);
    EXPECT_EQ(link.parity, 2);
    EXPECT_EQ(link.address, 1);
    EXPECT_EQ(link.timeoutMs, 1000);
    EXPECT_EQ(link.traceEnabled, 1);
    EXPECT_EQ(link.traceFileName, "COM.txt");
    EXPECT_EQ(regFileName, "REG.txt");
    EXPECT_EQ(pending.pendingBaudRate, 19200);
    EXPECT_EQ(pending.pendingParity, 2);
    EXPECT_EQ(pending.pendingAddress, 1);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(StationSettingsTest, MissingKeysAreAddedAndMalformedIntegersReplaced) {
    writeFile(path("dev.dat"), "[COM_SETTINGS]\r\nNumber=two\r\n[DEVICE]\r\nNetAdrr=\r\n");
    load();
    EXPECT_EQ(link.portNumber, 1);
    EXPECT_EQ(link.address, 1);
    EXPECT_EQ(devDat(), "[COM_SETTINGS]\r\nNumber=1\r\nSettings=19200,E,8,2\r\n"
                        "[DEVICE]\r\nNetAdrr=1\r\n"
                        "[SETTINGS]\r\nTimeOut=1000\r\n"
                        "[LOG]\r\nUseLogFile=1\r\nLogFileName=COM.txt\r\n"
                        "[REG]\r\nRegFileName=REG.txt\r\n");
}

struct LineSettingsCase {
    const char* stored;
    int baudRate;
    int parity;
    const char* atExit;
};

class LineSettingsTest : public StationSettingsTest,
                         public ::testing::WithParamInterface<LineSettingsCase> {};

TEST_P(LineSettingsTest, RateAndParityFromTheSettingsText) {
    const LineSettingsCase& c = GetParam();
    writeFile(path("dev.dat"), QByteArray("[COM_SETTINGS]\r\nSettings=") + c.stored + "\r\n");
    load();
    EXPECT_EQ(link.baudRate, c.baudRate);
    EXPECT_EQ(link.parity, c.parity);
    EXPECT_EQ(pending.pendingBaudRate, c.baudRate);
    EXPECT_EQ(pending.pendingParity, c.parity);
    EXPECT_EQ(value("COM_SETTINGS", "Settings"), c.stored) << "the load keeps the text as it was";
    SaveStationSettings(link);
    EXPECT_EQ(value("COM_SETTINGS", "Settings"), c.atExit);
}

INSTANTIATE_TEST_SUITE_P(Texts, LineSettingsTest,
                         ::testing::Values(LineSettingsCase{"9600,N,8,1", 9600, 0, "9600,N,8,2"},
                                           LineSettingsCase{"38400,O,8,2", 38400, 1, "38400,O,8,2"},
                                           LineSettingsCase{"1200,E,8,2", 1200, 2, "1200,E,8,2"},
                                           LineSettingsCase{"2400,O", 2400, 1, "2400,O,8,2"},
                                           LineSettingsCase{"4800", 4800, 0, "4800,N,8,2"},
                                           LineSettingsCase{"abc", 19200, 0, "19200,N,8,2"},
                                           LineSettingsCase{"19200,n,8,2", 19200, 0, "19200,N,8,2"},
                                           LineSettingsCase{"9600,NONE", 9600, 2, "9600,E,8,2"},
                                           LineSettingsCase{"", 19200, 0, "19200,N,8,2"}));

struct TextCase {
    int baudRate;
    int parity;
    const char* text;
};

class LineSettingsTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(LineSettingsTextTest, BuildsTheExitText) {
    EXPECT_EQ(settings::LineSettingsText(GetParam().baudRate, GetParam().parity), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Rates, LineSettingsTextTest,
                         ::testing::Values(TextCase{1200, 0, "1200,N,8,2"}, TextCase{2400, 1, "2400,O,8,2"},
                                           TextCase{4800, 2, "4800,E,8,2"}, TextCase{9600, 5, "9600,N,8,2"},
                                           TextCase{19200, -1, "19200,N,8,2"},
                                           TextCase{38400, 2, "38400,E,8,2"},
                                           TextCase{57600, 1, "19200,O,8,2"}, TextCase{0, 2, "19200,E,8,2"}));

struct TimeoutCase {
    const char* stored;
    int32_t timeoutMs;
    bool warned;
};

class TimeoutTest : public StationSettingsTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(TimeoutTest, LargeTimeoutIsReportedAndKept) {
    writeFile(path("dev.dat"), QByteArray("[SETTINGS]\r\nTimeOut=") + GetParam().stored + "\r\n");
    load();
    EXPECT_EQ(link.timeoutMs, GetParam().timeoutMs);
    EXPECT_EQ(value("SETTINGS", "TimeOut"), QString::number(GetParam().timeoutMs));
    ASSERT_EQ(boxes.boxes.size(), GetParam().warned ? 1u : 0u);
    if (GetParam().warned) {
        EXPECT_EQ(boxes.boxes[0].text, TimeoutText);
        EXPECT_EQ(boxes.boxes[0].caption, LinkCaption);
        EXPECT_EQ(boxes.boxes[0].icon, messages::BoxIcon::Information);
        EXPECT_EQ(boxes.boxes[0].buttons, messages::BoxButtons::Ok);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, TimeoutTest,
                         ::testing::Values(TimeoutCase{"4000", 4000, false}, TimeoutCase{"4001", 4001, true},
                                           TimeoutCase{"-1", -1, true}, TimeoutCase{"0x10", 16, false},
                                           TimeoutCase{"0", 0, false}, TimeoutCase{"later", 1000, false}));

TEST_F(StationSettingsTest, PortAboveEightIsReportedAndKept) {
    writeFile(path("dev.dat"), "[COM_SETTINGS]\r\nNumber=9\r\n");
    load();
    EXPECT_EQ(link.portNumber, 9);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, PortText);
    EXPECT_EQ(boxes.boxes[0].caption, LinkCaption);
    EXPECT_EQ(boxes.boxes[0].icon, messages::BoxIcon::Warning);
    EXPECT_EQ(boxes.boxes[0].buttons, messages::BoxButtons::Ok);
}

TEST_F(StationSettingsTest, PortZeroPassesSilently) {
    writeFile(path("dev.dat"), "[COM_SETTINGS]\r\nNumber=0\r\n");
    load();
    EXPECT_EQ(link.portNumber, 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(StationSettingsTest, PortWarningComesBeforeTimeoutWarning) {
    writeFile(path("dev.dat"), "[COM_SETTINGS]\r\nNumber=12\r\n[SETTINGS]\r\nTimeOut=5000\r\n");
    load();
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, PortText);
    EXPECT_EQ(boxes.boxes[1].text, TimeoutText);
}

TEST_F(StationSettingsTest, ExitResetsReservedKeysAndLeavesTheOthers) {
    writeFile(path("dev.dat"), "[DEVICE]\r\nEnableNetAdrr=0\r\n[SETTINGS]\r\nNOfReadings=7\r\n"
                               "[DIFFRENT]\r\nValReg3=9\r\nValReg=8\r\nBegAdr3=5\r\nBegAdr=6\r\n");
    load();
    SaveStationSettings(link);
    EXPECT_EQ(value("SETTINGS", "NOfReadings"), "0");
    EXPECT_EQ(value("DIFFRENT", "BegAdr3"), "0");
    EXPECT_EQ(value("DIFFRENT", "BegAdr"), "0");
    EXPECT_EQ(value("DIFFRENT", "ValReg3"), "9");
    EXPECT_EQ(value("DIFFRENT", "ValReg"), "8");
    EXPECT_EQ(value("DEVICE", "EnableNetAdrr"), "0");
}

TEST_F(StationSettingsTest, FileDeletedWhileRunningIsRecreatedAtExit) {
    load();
    ASSERT_TRUE(QFile::remove(path("dev.dat")));
    link.portNumber = 3;
    link.baudRate = 9600;
    link.parity = 1;
    link.address = 7;
    link.timeoutMs = 500;
    link.traceEnabled = 0;
    link.traceFileName = "other.txt";
    SaveStationSettings(link);
    EXPECT_EQ(devDat(), "[COM_SETTINGS]\r\nNumber=3\r\nSettings=9600,O,8,2\r\n"
                        "[DEVICE]\r\nEnableNetAdrr=1\r\nNetAdrr=7\r\n"
                        "[SETTINGS]\r\nNOfReadings=0\r\nTimeOut=500\r\n"
                        "[LOG]\r\nUseLogFile=0\r\nLogFileName=COM.txt\r\n"
                        "[DIFFRENT]\r\nValReg3=1\r\nValReg=1\r\nBegAdr3=0\r\nBegAdr=0\r\n");
}

TEST_F(StationSettingsTest, ExitWritesIntoTheWorkingDirectoryOfThatMoment) {
    load();
    ASSERT_TRUE(QDir(path("")).mkdir("elsewhere"));
    ASSERT_TRUE(QDir::setCurrent(path("elsewhere")));
    SaveStationSettings(link);
    EXPECT_TRUE(QFileInfo::exists(path("elsewhere/dev.dat")));
    EXPECT_EQ(IniFile(path("elsewhere/dev.dat")).readString("DIFFRENT", "ValReg", ""), "1");
}

TEST_F(StationSettingsTest, HandEditedTraceFileNameSurvivesTheExit) {
    load();
    IniFile(path("dev.dat")).writeString("LOG", "LogFileName", "trace1.txt");
    link = {};
    load();
    EXPECT_EQ(link.traceFileName, "trace1.txt");
    SaveStationSettings(link);
    EXPECT_EQ(value("LOG", "LogFileName"), "trace1.txt");
    EXPECT_EQ(value("REG", "RegFileName"), "REG.txt");
}

TEST_F(StationSettingsTest, LoadAndSaveChangeOnlyTheirKeysByteForByte) {
    const QByteArray cyr = text::ToCp1251(QStringLiteral("журнал обмена.txt"));
    const QByteArray before = "; workstation 3\n"
                              "[COM_SETTINGS]\n"
                              "Number = 2\n"
                              "Settings=38400,O,8,2\n"
                              "\n"
                              "[PORTS]\n"
                              "COM2=/dev/ttyUSB0\n"
                              "[DEVICE]\n"
                              "EnableNetAdrr=1\n"
                              "NetAdrr=17\n"
                              "[SETTINGS]\n"
                              "NOfReadings=2\n"
                              "TimeOut=0x200\n"
                              "[LOG]\n"
                              "UseLogFile=0\n"
                              "LogFileName=" +
                              cyr +
                              "\n"
                              "[REG]\n"
                              "RegFileName=REG.txt\n"
                              "Extra=a=b\n"
                              "[DIFFRENT]\n"
                              "ValReg3=1\n"
                              "ValReg=1\n"
                              "BegAdr3=3\n"
                              "BegAdr=0";
    writeFile(path("dev.dat"), before);
    load();
    EXPECT_EQ(link.traceFileName, QStringLiteral("журнал обмена.txt"));
    EXPECT_EQ(link.timeoutMs, 512);
    QByteArray afterLoad = before;
    afterLoad.replace("TimeOut=0x200", "TimeOut=512");
    EXPECT_EQ(devDat(), afterLoad);

    SaveStationSettings(link);
    QByteArray afterSave = afterLoad;
    afterSave.replace("NOfReadings=2", "NOfReadings=0").replace("BegAdr3=3", "BegAdr3=0");
    EXPECT_EQ(devDat(), afterSave);
}

TEST_F(StationSettingsTest, RefusedWriteStopsTheLoadAtThatKey) {
    // Write-backs that change nothing do not touch the file; the malformed time-out must be rewritten.
    writeFile(path("dev.dat"),
              "[COM_SETTINGS]\r\nNumber=5\r\nSettings=9600,O,8,2\r\n[DEVICE]\r\nNetAdrr=9\r\n"
              "[SETTINGS]\r\nTimeOut=0x10\r\n");
    ImmutableFlag immutable(path("dev.dat"));
    ASSERT_TRUE(immutable.ok()) << ImmutableFlag::Refused;
    try {
        load();
        FAIL() << "the load went through";
    } catch (const settings::IniWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path("dev.dat").toStdString());
    }
    EXPECT_EQ(link.portNumber, 5);
    EXPECT_EQ(link.baudRate, 9600);
    EXPECT_EQ(link.address, 9);
    EXPECT_EQ(link.timeoutMs, 16);
    EXPECT_EQ(link.traceEnabled, 0) << "the load stopped at the time-out";
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(StationSettingsTest, CompleteReadOnlyFileLoadsWithoutWriting) {
    load();
    const QByteArray before = devDat();
    ImmutableFlag immutable(path("dev.dat"));
    ASSERT_TRUE(immutable.ok()) << ImmutableFlag::Refused;
    link = {};
    EXPECT_NO_THROW(load());
    EXPECT_EQ(link.address, 1);
    EXPECT_EQ(devDat(), before);
}

TEST_F(StationSettingsTest, RefusedWriteStopsTheSave) {
    ASSERT_TRUE(QDir(path("")).mkdir("locked"));
    ASSERT_TRUE(QDir::setCurrent(path("locked")));
    ImmutableFlag immutable(path("locked"));
    ASSERT_TRUE(immutable.ok()) << ImmutableFlag::Refused;
    EXPECT_THROW(SaveStationSettings(link), settings::IniWriteError);
    EXPECT_FALSE(QFileInfo::exists(path("locked/dev.dat")));
}

// Two windows closing together, many times over, each also assigning a port of its own: every save
// leaves one window's whole link, and the port the other assigned stays (each merges over the other).
TEST_F(StationSettingsTest, TwoProgramsSavingAtOnceLeaveOneWholeLinkAndEachOthersPort) {
    const auto window = [this](int who) {
        link.portNumber = 2 + who;
        link.baudRate = who ? 9600 : 38400;
        link.parity = who;
        link.address = 5 + who;
        for (int round = 0; round < 150; ++round) {
            SaveStationSettings(link);
            settings::PortPaths paths{};
            paths[size_t(who)] = "/dev/w" + std::to_string(round);
            settings::SavePortPaths(paths);
            const settings::IniSnapshot file = IniFile(path("dev.dat")).snapshot();
            const QString whole = file.readString("COM_SETTINGS", "Number", "") + ' ' +
                                  file.readString("COM_SETTINGS", "Settings", "") + ' ' +
                                  file.readString("DEVICE", "NetAdrr", "");
            if (whole != "2 38400,N,8,2 5" && whole != "3 9600,O,8,2 6") return 1;
            if (settings::PortPathIn(file, who + 1) != paths[size_t(who)]) return 2;
        }
        return 0;
    };
    pid_t windows[2];
    for (int who = 0; who < 2; ++who)
        if ((windows[who] = ::fork()) == 0) ::_exit(window(who));
    for (const pid_t pid : windows) {
        int status = -1;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_EQ(status, 0) << "exit code " << WEXITSTATUS(status) << ": 1 is a mixed link, 2 a port lost";
    }
}

// ---- port paths ----

TEST_F(StationSettingsTest, PortPathsDefaultToTheSerialDevices) {
    EXPECT_EQ(settings::ResolvePortPath(1), "/dev/ttyS0");
    EXPECT_EQ(settings::ResolvePortPath(8), "/dev/ttyS7");
    EXPECT_EQ(settings::ResolvePortPath(0), "/dev/ttyS0");
    EXPECT_EQ(settings::ResolvePortPath(9), "/dev/ttyS0");
    EXPECT_FALSE(QFileInfo::exists(path("dev.dat"))) << "resolving reads only";
}

TEST_F(StationSettingsTest, PortPathsComeFromThePortsSectionAndSurviveLoadAndSave) {
    const QByteArray ports = "[PORTS]\r\nCOM2=/dev/ttyUSB0\r\ncom3=\r\nCOM1 = /tmp/pty a \r\n";
    writeFile(path("dev.dat"), ports);
    EXPECT_EQ(settings::ResolvePortPath(2), "/dev/ttyUSB0");
    EXPECT_EQ(settings::ResolvePortPath(3), "/dev/ttyS2");
    EXPECT_EQ(settings::ResolvePortPath(1), "/tmp/pty a");
    EXPECT_EQ(settings::ResolvePortPath(9), "/tmp/pty a");
    load();
    SaveStationSettings(link);
    EXPECT_TRUE(devDat().startsWith(ports + "[")) << "no key added to [PORTS]";
    IniFile(path("dev.dat")).writeString("PORTS", "COM2", "/dev/ttyACM1");
    EXPECT_EQ(settings::ResolvePortPath(2), "/dev/ttyACM1") << "read anew at each call";
    // Bytes that are no UTF-8 reach the file system as they stand; an earlier version's Windows-1251
    // spelling of an existing file's name finds that file.
    const QByteArray raw = QFile::encodeName(path("a")) + "\xE0\xE4";
    writeFile(path("dev.dat"),
              "[PORTS]\r\nCOM4=" + raw + "\r\nCOM5=" + text::ToCp1251(path("порт")) + "\r\n");
    writeFile(path("порт"), "");
    EXPECT_EQ(settings::ResolvePortPath(4), raw.toStdString());
    EXPECT_EQ(settings::ResolvePortPath(5), QFile::encodeName(path("порт")).toStdString());
}

TEST_F(StationSettingsTest, SavingPortPathsWritesOnlyTheChangedPortsAndKeepsEveryOtherByte) {
    const QByteArray before =
        "; station\r\n[COM_SETTINGS]\r\nNumber=2\r\n\r\n[PORTS]\r\nCOM2 = /dev/ttyUSB0\r\n"
        "COM3=tcp://127.0.0.1:4001\r\n[LOG]\r\nUseLogFile=0\r\n";
    writeFile(path("dev.dat"), before);
    settings::PortPaths paths = settings::CurrentPortPaths();
    EXPECT_EQ(paths[1], "/dev/ttyUSB0");
    EXPECT_EQ(paths[2], "tcp://127.0.0.1:4001");
    EXPECT_EQ(paths[7], "/dev/ttyS7");
    EXPECT_TRUE(settings::SavePortPaths(paths).empty());
    EXPECT_EQ(devDat(), before) << "nothing changed, nothing written";

    paths[1] = "/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0";
    paths[4] = "/dev/ttyACM0";
    paths[5] = "";             // left empty: stays as it is
    paths[7] = "/dev/ttyUSB7"; // the last one like the others
    EXPECT_EQ(settings::SavePortPaths(paths), (std::vector<int>{2, 5, 8}));
    EXPECT_EQ(devDat(), "; station\r\n[COM_SETTINGS]\r\nNumber=2\r\n\r\n[PORTS]\r\n"
                        "COM2 = /dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0\r\n"
                        "COM3=tcp://127.0.0.1:4001\r\nCOM5=/dev/ttyACM0\r\nCOM8=/dev/ttyUSB7\r\n"
                        "[LOG]\r\nUseLogFile=0\r\n");
    EXPECT_EQ(settings::ResolvePortPath(5), "/dev/ttyACM0");
    EXPECT_EQ(settings::ResolvePortPath(6), "/dev/ttyS5");

    // Whether a port starts without transmitting goes next to its path, only where it changes; a
    // port number outside 1..8 stands for COM1, and anything but 1 is no.
    settings::ListenChanges listen;
    listen[0] = true;
    listen[2] = false; // as the file has it already
    EXPECT_EQ(settings::SavePortPaths({}, listen), (std::vector<int>{1}));
    EXPECT_TRUE(devDat().contains("COM8=/dev/ttyUSB7\r\nListenCOM1=1\r\n[LOG]")) << devDat().toStdString();
    EXPECT_TRUE(settings::ListensAtStart(1));
    EXPECT_TRUE(settings::ListensAtStart(9));
    EXPECT_FALSE(settings::ListensAtStart(3));
    IniFile(path("dev.dat")).writeString("PORTS", "ListenCOM2", "yes");
    const settings::ListenChoices choices{true, false, false, false, false, false, false, false};
    EXPECT_EQ(settings::CurrentListenChoices(), choices);
    listen = {};
    listen[0] = false;
    EXPECT_EQ(settings::SavePortPaths({}, listen), (std::vector<int>{1}));
    EXPECT_FALSE(settings::ListensAtStart(1));
}

TEST_F(StationSettingsTest, TheStableNameIsTheByIdLinkThatLeadsToTheDevice) {
    QDir dir(path(""));
    ASSERT_TRUE(dir.mkpath("dev/serial/by-id"));
    writeFile(path("dev/ttyUSB0"), "");
    writeFile(path("dev/ttyUSB1"), "");
    const std::string byId = path("dev/serial/by-id").toStdString();
    ASSERT_TRUE(QFile::link("../../ttyUSB1", path("dev/serial/by-id/usb-Prolific_PL2303-if00-port0")));
    ASSERT_TRUE(QFile::link(path("dev/ttyUSB0"), path("dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0")));
    EXPECT_EQ(settings::StableNameOf(path("dev/ttyUSB0").toStdString(), byId),
              byId + "/usb-FTDI_FT232R_A1B2C3-if00-port0");
    EXPECT_EQ(settings::StableNameOf(path("dev/ttyUSB1").toStdString(), byId),
              byId + "/usb-Prolific_PL2303-if00-port0")
        << "a relative link, as udev makes them";
    writeFile(path("dev/ttyS0"), "");
    EXPECT_EQ(settings::StableNameOf(path("dev/ttyS0").toStdString(), byId), "");
    ASSERT_TRUE(QFile::link("../../ttyUSB9", path("dev/serial/by-id/usb-Gone_Adapter-if00-port0")));
    EXPECT_EQ(settings::StableNameOf(path("dev/ttyUSB9").toStdString(), byId), "")
        << "no such device, though a dangling link names it";
    EXPECT_EQ(settings::StableNameOf(path("dev/ttyUSB0").toStdString(), path("none").toStdString()), "");

    settings::SerialDevice device{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A1B2C3", ""};
    EXPECT_EQ(settings::AssignedName(device), "/dev/ttyUSB0");
    device.stableName = "/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0";
    EXPECT_EQ(settings::AssignedName(device), device.stableName);
}

// dev.dat edited by hand in a UTF-8 editor that writes a byte order mark: the first section is found
// (no second one is added), and file names reach the file system as typed.
TEST_F(StationSettingsTest, HandEditedUtf8FileWithAByteOrderMark) {
    const QByteArray edited = "\xEF\xBB\xBF[COM_SETTINGS]\nNumber=2\nSettings=9600,N,8,2\n[PORTS]\nCOM2=" +
                              path(QStringLiteral("порт")).toUtf8() +
                              "\n[LOG]\nLogFileName=" + QStringLiteral("обмен.txt").toUtf8() + "\n";
    writeFile(path("dev.dat"), edited);
    load();
    EXPECT_EQ(link.portNumber, 2);
    EXPECT_EQ(link.baudRate, 9600);
    EXPECT_EQ(link.traceFileName, QStringLiteral("обмен.txt"));
    EXPECT_EQ(settings::ResolvePortPath(2), path(QStringLiteral("порт")).toUtf8().toStdString());
    SaveStationSettings(link);
    const QByteArray saved = devDat();
    EXPECT_TRUE(saved.startsWith(edited.left(edited.indexOf("[LOG]"))));
    EXPECT_EQ(saved.count("[COM_SETTINGS]"), 1);
    EXPECT_TRUE(saved.contains("LogFileName=" + QStringLiteral("обмен.txt").toUtf8() + "\n"));
}

} // namespace
} // namespace olv::test
// ---- The window's place, kept in dev.dat ----

namespace {

using olv::settings::FitToScreens;
using olv::settings::WindowGeometry;

const std::vector<QRect> TwoScreens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
const QSize Smallest(720, 570);

} // namespace

TEST(WindowGeometry, ReadsBackAsWrittenAndNothingFromAMalformedSection) {
    QTemporaryDir dir;
    olv::settings::IniFile ini(dir.filePath("dev.dat"));
    EXPECT_FALSE(olv::settings::ReadWindowGeometry(ini));
    const WindowGeometry kept{QRect(-8, 31, 1200, 800), true};
    ini.writeStrings(olv::settings::WindowGeometryEntries(kept));
    EXPECT_EQ(olv::settings::ReadWindowGeometry(ini), std::optional<WindowGeometry>(kept));

    for (const char* width : {"0", "-5", "12a", "", "0x100", "99999999999"}) {
        ini.writeString("WINDOW", "Width", QString::fromLatin1(width));
        EXPECT_FALSE(olv::settings::ReadWindowGeometry(ini)) << width;
    }
}

TEST(WindowGeometry, ComesBackWhereItCanBeReachedWhateverWasKept) {
    // On the second screen, whole: kept as it was.
    const WindowGeometry second{QRect(2000, 100, 900, 700), false};
    EXPECT_EQ(FitToScreens(second, TwoScreens, Smallest), second);
    // The second screen unplugged: in the middle of the first.
    const WindowGeometry gone = FitToScreens(second, {TwoScreens[0]}, Smallest);
    EXPECT_EQ(gone.frame.size(), QSize(900, 700));
    EXPECT_EQ(gone.frame.center(), TwoScreens[0].center());
    // Half over the right edge: moved in; larger than the screen: the screen's size.
    EXPECT_EQ(FitToScreens({QRect(1700, 500, 800, 700), false}, {TwoScreens[0]}, Smallest).frame,
              QRect(1120, 380, 800, 700));
    EXPECT_EQ(FitToScreens({QRect(-100, -50, 5000, 3000), false}, {TwoScreens[0]}, Smallest).frame,
              TwoScreens[0]);
    // Smaller than the window can be: its smallest size.
    EXPECT_EQ(FitToScreens({QRect(10, 10, 20, 20), false}, TwoScreens, Smallest).frame.size(), Smallest);

    // Any rectangle at all, on any screens: whole on one of them, of a size between the bounds.
    std::mt19937 random(9);
    const auto any = [&](int range) { return int(random() % uint32_t(2 * range)) - range; };
    for (int n = 0; n < 5000; ++n) {
        std::vector<QRect> screens;
        for (int s = int(random() % 3) + 1; s > 0; --s)
            screens.push_back(QRect(any(4000), any(4000), int(random() % 3000) + 1, int(random() % 2000) + 1));
        const WindowGeometry kept{QRect(any(1 << 24), any(1 << 24), int(random() % (1 << 24)) + 1,
                                        int(random() % (1 << 24)) + 1),
                                  false};
        const QRect frame = FitToScreens(kept, screens, Smallest).frame;
        ASSERT_TRUE(std::any_of(screens.begin(), screens.end(),
                                [&](const QRect& screen) { return screen.contains(frame); }))
            << n;
        ASSERT_GT(frame.width(), 0);
    }
}
