// The read-only jobs as a process against the virtual instrument: what each prints, its exit code, and
// the faults of the port, the line and the files.
#include "tests/cli/cli_process.h"
#include "tests/support/sim_fixture.h"

#include "link/port.h"
#include "link/termios_port.h"
#include "monitor/pcap.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using olv::test::CliProcess;
using olv::test::CliRun;
using olv::test::RunCli;
using olv::test::SimInstrument;

namespace {

QJsonObject Json(const std::string& line) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    return document.object();
}

// Every failure is one line on stderr naming the program, and nothing on stdout.
void ExpectOneErrorLine(const CliRun& run, const std::string& naming) {
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("modbus-olv-cli: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(naming), std::string::npos) << run.err;
}

std::string Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("<none>");
}

} // namespace

TEST(CliRead, ValueLinesCarryTimeValueUnitsAndStatus) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--value", "0.5", "--status", "64"}));
    const CliRun run = RunCli({"value", "--port", sim.path(), "--count", "3", "--interval", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto lines = run.outLines();
    ASSERT_EQ(lines.size(), 3u) << run.out;
    for (const std::string& line : lines) {
        // 2026-12-09 12:00:00.123 \t value \t units \t status \t its text
        EXPECT_EQ(line.size() > 24 && line[4] == '-' && line[10] == ' ' && line[19] == '.', true) << line;
        EXPECT_NE(line.find("\t0.5000\tМПа\t0040\tДавление ниже НПИ."), std::string::npos) << line;
    }
    EXPECT_TRUE(run.err.empty()) << run.err;
}

TEST(CliRead, ValueIsDecodedInTheInstrumentsByteOrderUnlessOneIsGiven) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--byte-order", "3", "--value", "1.25", "--set", "units=2"}));
    CliRun run = RunCli({"value", "--port", sim.path(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(run.outLines().size(), 1u);
    QJsonObject reading = Json(run.outLines()[0]);
    EXPECT_EQ(reading.value("value").toDouble(), 1.25);
    EXPECT_EQ(reading.value("units").toString(), QStringLiteral("кПа"));
    EXPECT_EQ(reading.value("status").toInt(), 0);
    EXPECT_EQ(reading.value("status_text").toString(), QStringLiteral("Нормальное измерение"));
    EXPECT_TRUE(QDateTime::fromString(reading.value("time").toString(), Qt::ISODateWithMs).isValid());

    // Given, the order holds even when it is not the instrument's: 1.25 read as "0 1 2 3" is another number.
    run = RunCli({"value", "--port", sim.path(), "--json", "--byte-order", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    reading = Json(run.outLines().at(0));
    EXPECT_NE(reading.value("value").toDouble(), 1.25);
}

TEST(CliRead, ValueThatIsNoNumberIsNullNotZero) {
    SimInstrument sim;
    for (const char* raw : {"7FC00000", "7F800000", "FF800000", "7F7FFFFF"}) {
        ASSERT_TRUE(sim.start({"--quiet", "--value-raw", raw}));
        const CliRun run = RunCli({"value", "--port", sim.path(), "--json"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(Json(run.outLines().at(0)).value("value").isNull()) << raw << ": " << run.out;
        const CliRun text = RunCli({"value", "--port", sim.path()});
        EXPECT_NE(text.out.find("\tнет числа\t"), std::string::npos) << raw << ": " << text.out;
    }
}

TEST(CliRead, InfoGivesEveryFieldInWordsAndAsJson) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--set", "serial=-7", "--set", "range_max=2.5", "--set", "text=Цех 4",
                           "--set", "trim_offset=0.125", "--address", "9", "--parity", "O", "--byte-order", "2"}));
    CliRun run = RunCli({"info", "--port", sim.path(), "--address", "9", "--parity", "O", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(run.outLines().size(), 1u) << run.out;
    const QJsonObject info = Json(run.outLines()[0]);
    EXPECT_EQ(info.value("model").toInt(), 150);
    EXPECT_EQ(info.value("model_code").toInt(), 2);
    EXPECT_EQ(info.value("serial_number").toInt(), -7);
    EXPECT_EQ(info.value("range_min").toDouble(), 0.0);
    EXPECT_EQ(info.value("range_max").toDouble(), 2.5);
    EXPECT_EQ(info.value("units").toString(), QStringLiteral("МПа"));
    EXPECT_EQ(info.value("manufactured").toString(), QStringLiteral("2007-03-15"));
    EXPECT_EQ(info.value("trim_offset").toDouble(), 0.125);
    EXPECT_EQ(info.value("trim_multiplier").toDouble(), 1.0);
    EXPECT_TRUE(info.value("text").toString().startsWith(QStringLiteral("Цех 4")));
    EXPECT_EQ(info.value("module_software").toInt(), 107);
    EXPECT_EQ(info.value("address").toInt(), 9);
    EXPECT_EQ(info.value("baud_rate").toInt(), 19200);
    EXPECT_EQ(info.value("parity").toString(), QStringLiteral("O"));
    EXPECT_EQ(info.value("byte_order").toInt(), 2);

    run = RunCli({"info", "--port", sim.path(), "--address", "9"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* line : {"Заводской номер: -7", "Максимум диапазона: 2.5000", "Паритет: Нечетный",
                             "Диапазон: 0.0000 … 2.5000 МПа", "Порядок байт в измеренном значении: 1 0 3 2"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
}

TEST(CliRead, ConfigReadSavesTheWindowsFileAndCompareJudgesIt) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    QTemporaryDir dir;
    const QString file = dir.filePath("meter.cfg");
    CliRun run = RunCli({"config", "read", "--port", sim.path(), "-o", file.toStdString()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(Bytes(file).find("[REGISTERS]"), std::string::npos);

    run = RunCli({"config", "compare", file.toStdString(), "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;

    // A changed range and serial number: the range differs; the serial number only when asked for.
    ASSERT_EQ(sim.command("set range_max=4"), "ok range_max");
    ASSERT_EQ(sim.command("set serial=99"), "ok serial");
    run = RunCli({"config", "compare", file.toStdString(), "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("Максимум диапазона: прибор 4.0000, файл 1.6000"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Заводской номер"), std::string::npos) << run.out;
    run = RunCli({"config", "compare", file.toStdString(), "--port", sim.path(), "--with-identity", "--json"});
    EXPECT_EQ(run.exitCode, 1);
    const QJsonObject result = Json(run.outLines().at(0));
    EXPECT_FALSE(result.value("matches").toBool());
    QStringList fields;
    for (const QJsonValue& difference : result.value("differences").toArray())
        fields << difference.toObject().value("field").toString();
    EXPECT_EQ(fields, (QStringList{"range_max", "serial_number"}));
}

TEST(CliRead, ConfigReadWithoutAFileShowsFieldsAndRegisters) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--set", "sw_version=321"}));
    const CliRun run = RunCli({"config", "read", "--port", sim.path(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject read = Json(run.outLines().at(0));
    EXPECT_EQ(read.value("fields").toObject().value("module_software").toInt(), 321);
    EXPECT_EQ(read.value("registers").toObject().value("1028").toInt(), 321);
    EXPECT_EQ(read.value("registers").toObject().value("1034").toInt(), 2); // even parity
}

TEST(CliRead, SearchListsEveryInstrumentThatAnswers) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--instrument", "addr=3", "--instrument", "addr=6"}));
    CliRun run = RunCli({"search", "--port", sim.path(), "--addresses", "1-8", "--bauds", "19200", "--parities",
                         "E", "--timeout", "60", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<int> addresses;
    for (const std::string& line : run.outLines()) {
        const QJsonObject found = Json(line);
        addresses.push_back(found.value("address").toInt());
        EXPECT_EQ(found.value("baud_rate").toInt(), 19200);
        EXPECT_EQ(found.value("parity").toString(), QStringLiteral("E"));
    }
    EXPECT_EQ(addresses, (std::vector<int>{3, 6}));
    // Progress is for a terminal only: a pipe gets nothing but the results.
    EXPECT_TRUE(run.err.empty()) << run.err;

    run = RunCli({"search", "--port", sim.path(), "--addresses", "7-8", "--bauds", "19200", "--parities", "E",
                  "--timeout", "60"});
    EXPECT_EQ(run.exitCode, 3);
    ExpectOneErrorLine(run, "ни один прибор не ответил");
}

TEST(CliRead, StationsDevDatGivesThePortAndLinkAndStaysAsItWas) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--address", "12", "--parity", "N"}));
    QTemporaryDir dir;
    const QString devDat = dir.filePath("dev.dat");
    {
        QFile file(devDat);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[COM_SETTINGS]\r\nNumber=3\r\nSettings=19200,N,8,2\r\n[DEVICE]\r\nNetAdrr=12\r\n[PORTS]\r\nCOM3=" +
                   QByteArray::fromStdString(sim.path()) + "\r\n");
    }
    const std::string before = Bytes(devDat);
    const CliRun run = RunCli({"info", "--json", "--data-dir", dir.path().toStdString()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Json(run.outLines().at(0)).value("address").toInt(), 12);
    EXPECT_EQ(Bytes(devDat), before);
    // COMn names the same port; a COM that dev.dat does not map is the system's ttyS.
    EXPECT_EQ(RunCli({"value", "--port", "com3", "--data-dir", dir.path().toStdString()}).exitCode, 0);
    const CliRun other = RunCli({"value", "--port", "COM8", "--data-dir", dir.path().toStdString()});
    EXPECT_EQ(other.exitCode, 3);
    ExpectOneErrorLine(other, "/dev/ttyS7");
}

TEST(CliRead, HelpAndVersionNeedNoLine) {
    CliRun run = RunCli({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Mod Bus OLV 1.1.3.1\n");
    run = RunCli({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Коды выхода"), std::string::npos);
    run = RunCli({"value", "--baud", "19201"});
    EXPECT_EQ(run.exitCode, 2);
    ExpectOneErrorLine(run, "--baud");
}

TEST(CliFaults, PortsThatAreNoLineAreRefusedNamingThePath) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString plain = dir.filePath("plain");
    QFile(plain).open(QIODevice::WriteOnly);
    for (const QString& port : {dir.path(), fifo, plain, dir.filePath("missing"), QStringLiteral("tcp://127.0.0.1:1")}) {
        const CliRun run = RunCli({"info", "--port", port.toStdString(), "--timeout", "200"});
        EXPECT_EQ(run.exitCode, 3) << port.toStdString();
        ExpectOneErrorLine(run, port.toStdString());
    }
    const CliRun run = RunCli({"info", "--port", "tcp://nohost", "--timeout", "200"});
    EXPECT_EQ(run.exitCode, 2);
    ExpectOneErrorLine(run, "tcp://nohost");
}

TEST(CliFaults, APortTheWindowHoldsIsRefusedAsBusy) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    olv::link::TermiosPort window; // the window's own port, with its lock
    std::string error;
    ASSERT_TRUE(window.open(sim.path(), olv::link::LineSettings{}, error)) << error;
    const CliRun run = RunCli({"value", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 3);
    ExpectOneErrorLine(run, "порт занят другой программой");
    window.close();
    EXPECT_EQ(RunCli({"value", "--port", sim.path()}).exitCode, 0);
}

TEST(CliFaults, SilenceGarbleAndRefusalHaveTheirOwnCodes) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    CliRun run = RunCli({"info", "--port", sim.path(), "--address", "7", "--timeout", "100"});
    EXPECT_EQ(run.exitCode, 3);
    ExpectOneErrorLine(run, "адрес 7: Ответа не было.");

    ASSERT_EQ(sim.command("fault crc on"), "ok fault crc on");
    run = RunCli({"value", "--port", sim.path(), "--timeout", "100"});
    EXPECT_EQ(run.exitCode, 3);
    ExpectOneErrorLine(run, "контрольная сумма");
    ASSERT_EQ(sim.command("fault clear"), "ok faults cleared");

    ASSERT_EQ(sim.command("fault exception 2"), "ok fault exception 2");
    run = RunCli({"info", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 4);
    ExpectOneErrorLine(run, "Адрес данных выходит за допустимые границы. (код 2)");
    run = RunCli({"value", "--port", sim.path(), "--json"});
    EXPECT_EQ(run.exitCode, 4);

    // A reading that fails among good ones is said, the others still printed, and the code tells.
    ASSERT_EQ(sim.command("fault clear"), "ok faults cleared");
    CliProcess cli;
    ASSERT_TRUE(cli.start({"value", "--port", sim.path(), "--count", "0", "--interval", "50", "--timeout", "100"}));
    ASSERT_FALSE(cli.readLine().empty());
    ASSERT_EQ(sim.command("fault noreply on"), "ok fault noreply on");
    ASSERT_TRUE(cli.waitForError("Ответа не было"));
    ASSERT_EQ(sim.command("fault noreply off"), "ok fault noreply off");
    ASSERT_FALSE(cli.readLine().empty());
    cli.signal(SIGINT);
    run = cli.finish();
    EXPECT_EQ(run.exitCode, 3) << run.err;
}

TEST(CliFaults, AGatewayThatNeverAnswersIsNoReply) {
    // A listening socket whose connections complete in the queue and are never served.
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string port = std::to_string(ntohs(address.sin_port));
    for (const std::string& path : {"tcp://127.0.0.1:" + port, "mbtcp://127.0.0.1:" + port}) {
        const CliRun run = RunCli({"value", "--port", path, "--timeout", "200"});
        EXPECT_EQ(run.exitCode, 3) << path;
        ExpectOneErrorLine(run, "Ответа не было.");
    }
    close(listener);
}

TEST(CliFaults, BadConfigurationFilesAreRefusedBeforeTheLine) {
    QTemporaryDir dir;
    std::mt19937 random(33);
    std::vector<std::pair<QString, QByteArray>> files{
        {"empty.cfg", {}},
        {"text.cfg", "hello\n"},
        {"short.cfg", "[OLV_CONFIG]\nformat=1\n[REGISTERS]\nr0=150\n"},
        {"huge.cfg", QByteArray(2 * 1024 * 1024, 'x')},
        {"nul.cfg", QByteArray("[OLV_CONFIG]\0format=1\n", 22)},
    };
    for (int i = 0; i < 20; ++i) {
        QByteArray bytes;
        for (int k = 0, n = static_cast<int>(random() % 3000); k < n; ++k)
            bytes += static_cast<char>(random());
        if (i % 2) bytes.prepend("[OLV_CONFIG]\nformat=1\n[REGISTERS]\n");
        files.emplace_back(QStringLiteral("random%1.cfg").arg(i), bytes);
    }
    for (const auto& [name, bytes] : files) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    const QString fifo = dir.filePath("fifo.cfg");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QStringList names{fifo, dir.path(), dir.filePath("missing.cfg")};
    for (const auto& entry : files)
        names << dir.filePath(entry.first);
    // The port does not exist: a file refused first never gets as far as the line.
    for (const QString& name : names) {
        const CliRun run = RunCli({"config", "compare", name.toStdString(), "--port", "/nonexistent/tty"});
        EXPECT_EQ(run.exitCode, 5) << name.toStdString() << ": " << run.err;
        ExpectOneErrorLine(run, name.toStdString());
    }
}

TEST(CliFaults, ConfigReadNeverWritesOverWhatIsNoConfigurationFile) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    QTemporaryDir dir;
    const QString profile = dir.filePath("recent.prf");
    {
        QFile file(profile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Format]\r\nfl=0\r\n");
    }
    const QString fifo = dir.filePath("fifo.cfg");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& target : {profile, fifo, dir.path()}) {
        const CliRun run = RunCli({"config", "read", "--port", sim.path(), "-o", target.toStdString()});
        EXPECT_EQ(run.exitCode, 5) << target.toStdString();
        ExpectOneErrorLine(run, target.toStdString());
    }
    EXPECT_EQ(Bytes(profile), "[Format]\r\nfl=0\r\n");
    // A folder that refuses the file: nothing half written is left.
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0500), 0);
    if (geteuid() != 0) {
        const CliRun run = RunCli({"config", "read", "--port", sim.path(), "-o", (locked + "/m.cfg").toStdString()});
        EXPECT_EQ(run.exitCode, 5);
        EXPECT_TRUE(QDir(locked).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
    }
}

TEST(CliMonitor, ListensWithoutAByteAndKeepsTheCapture) {
    QTemporaryDir dir;
    const std::string tap = dir.filePath("tap").toStdString();
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--tap", tap}));
    const QString pcap = dir.filePath("line.pcap");
    CliProcess cli;
    ASSERT_TRUE(cli.start({"monitor", "--port", tap, "--json", "--pcap", pcap.toStdString()}));

    // A master on the line polls until the monitor has shown a whole exchange.
    olv::link::TermiosPort master;
    std::string error;
    ASSERT_TRUE(master.open(sim.path(), olv::link::LineSettings{}, error)) << error;
    const uint8_t request[] = {0x01, 0x03, 0x00, 0x0F, 0x00, 0x03, 0x35, 0xC8};
    QJsonObject requestRow, replyRow;
    // The monitor may open its terminal in the middle of a frame: what counts is a request and the reply
    // right after it.
    for (int attempt = 0; attempt < 50 && replyRow.isEmpty(); ++attempt) {
        master.write(request, sizeof request);
        for (std::string line; replyRow.isEmpty() && !(line = cli.readLine(300)).empty();) {
            const QJsonObject row = Json(line);
            const QString direction = row.value("direction").toString();
            if (direction == u"reply" && !requestRow.isEmpty())
                replyRow = row;
            else
                requestRow = direction == u"request" ? row : QJsonObject();
        }
    }
    ASSERT_FALSE(replyRow.isEmpty());
    EXPECT_EQ(requestRow.value("address").toInt(), 1);
    EXPECT_EQ(requestRow.value("function").toInt(), 3);
    EXPECT_EQ(requestRow.value("start").toInt(), 15);
    EXPECT_EQ(requestRow.value("count").toInt(), 3);
    EXPECT_EQ(requestRow.value("bytes").toString(), QStringLiteral("01 03 00 0F 00 03 35 C8"));
    EXPECT_TRUE(replyRow.value("crc_valid").toBool());
    EXPECT_TRUE(replyRow.value("latency_ms").isDouble());
    cli.signal(SIGINT);
    const CliRun run = cli.finish();
    EXPECT_EQ(run.exitCode, 0) << run.err;

    // Not a byte from the monitor's terminal.
    const std::string bus = sim.command("bus"); // ok line=/dev/pts/3:120 tap1=/dev/pts/4:0 collisions=0
    const size_t tapAt = bus.find("tap1=");
    ASSERT_NE(tapAt, std::string::npos) << bus;
    const std::string tapCount = bus.substr(tapAt, bus.find(' ', tapAt) - tapAt);
    EXPECT_EQ(tapCount.substr(tapCount.rfind(':')), ":0") << bus;
    int64_t records = 0;
    const olv::monitor::PcapCheck check =
        olv::monitor::ReadPcap(pcap, [&](olv::monitor::Micros, const uint8_t*, size_t size) { records += size > 0; });
    EXPECT_EQ(check.problem, olv::monitor::PcapProblem::None);
    EXPECT_GE(records, 2);
}

TEST(CliMonitor, ACaptureFileThatCannotBeWrittenIsRefusedBeforeListening) {
    QTemporaryDir dir;
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    const QString fifo = dir.filePath("fifo.pcap");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& target : {dir.path(), fifo, dir.filePath("missing/x.pcap")}) {
        const CliRun run = RunCli({"monitor", "--port", sim.path(), "--seconds", "1", "--pcap", target.toStdString()});
        EXPECT_EQ(run.exitCode, 5) << target.toStdString() << run.err;
        ExpectOneErrorLine(run, QDir::toNativeSeparators(QFileInfo(target).absolutePath()).toStdString());
    }
}
