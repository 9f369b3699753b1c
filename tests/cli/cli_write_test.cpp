// The write jobs against the virtual instrument: config write, link and the bench's batch loop, with
// their confirmations, journal lines, report rows, refusals and stops.
#include "tests/cli/cli_process.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/sim_fixture.h"

#include "records/csv.h"
#include "records/journal.h"
#include "text/cp1251.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

using olv::test::CliProcess;
using olv::test::CliRun;
using olv::test::RunCli;
using olv::test::SimInstrument;

namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<QStringList> CsvRows(const QString& path) {
    QByteArray bytes = Read(path);
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    return olv::records::ParseCsv(QString::fromUtf8(bytes), u';');
}

// A configuration file read from the instrument as it is now.
QString SavedConfiguration(SimInstrument& sim, const QTemporaryDir& dir, const char* name = "meter.cfg") {
    const QString path = dir.filePath(name);
    const CliRun run = RunCli({"config", "read", "--port", sim.path(), "-o", path.toStdString()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return path;
}

// Waits (a generous bound) until the simulator's register holds the word.
bool WaitForRegister(SimInstrument& sim, int reg, uint16_t word) {
    for (int i = 0; i < 2000; ++i) {
        if (sim.reg(reg) == word) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace

TEST(CliWrite, ConfigWriteSendsTheFileChecksItAndJournalsIt) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    QTemporaryDir dir;
    const QString file = SavedConfiguration(sim, dir);
    ASSERT_EQ(sim.command("set range_max=2.5"), "ok range_max");
    const QString data = dir.filePath("station");

    CliRun run = RunCli({"config", "write", file.toStdString(), "--port", sim.path(), "--yes", "--data-dir",
                         data.toStdString()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Конфигурация записана и проверена.\n");
    EXPECT_EQ(sim.dump()["range_max"], "1.60000002");
    const std::vector<QStringList> journal = CsvRows(data + "/journal.csv");
    ASSERT_EQ(journal.size(), 2u); // the header and the write
    EXPECT_EQ(journal[1][6], QStringLiteral("Запись конфигурации из файла meter.cfg"));
    EXPECT_EQ(journal[1][7], QStringLiteral("записано"));
    EXPECT_EQ(journal[1].mid(8), (QStringList{"Максимум диапазона", "2.5000", "1.6000"}));

    // As JSON, the blocks held.
    run = RunCli({"config", "write", file.toStdString(), "--port", sim.path(), "--yes", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject result = QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
    EXPECT_TRUE(result.value("written").toBool());
    EXPECT_EQ(result.value("stop").toString(), QStringLiteral("none"));
    EXPECT_EQ(result.value("held").toString(), QStringLiteral("0–5, 9–11, 18–21, 36–43, 44–47, 48–55, 58–62"));
}

TEST(CliWrite, ConfigWriteAsksAndADeclineSendsNothing) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    QTemporaryDir dir;
    const QString file = SavedConfiguration(sim, dir);
    ASSERT_EQ(sim.command("set range_max=2.5"), "ok range_max");
    for (const char* answer : {"н\n", "", "yes please\n"}) {
        const CliRun run = RunCli({"config", "write", file.toStdString(), "--port", sim.path(), "--data-dir",
                                   dir.path().toStdString()},
                                  answer);
        EXPECT_EQ(run.exitCode, 1) << answer;
        EXPECT_NE(run.err.find("Максимум диапазона: 2.5000 → 1.6000"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("заводским номером 123456?"), std::string::npos) << run.err;
        EXPECT_EQ(sim.dump()["range_max"], "2.5");
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("journal.csv")));
    const CliRun run = RunCli({"config", "write", file.toStdString(), "--port", sim.path()}, "Да\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim.dump()["range_max"], "1.60000002");
}

TEST(CliWrite, ConfigWriteRefusesAnotherModelAndAJournalThatCannotTakeALine) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    QTemporaryDir dir;
    const QString file = SavedConfiguration(sim, dir);
    ASSERT_EQ(sim.command("set range_max=2.5"), "ok range_max");
    // The journal's name is a folder: refused before anything is sent.
    ASSERT_TRUE(QDir(dir.path()).mkpath("station/journal.csv"));
    CliRun run = RunCli({"config", "write", file.toStdString(), "--port", sim.path(), "--yes", "--data-dir",
                         dir.filePath("station").toStdString()});
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_NE(run.err.find("journal.csv"), std::string::npos) << run.err;
    EXPECT_EQ(sim.dump()["range_max"], "2.5");

    ASSERT_EQ(sim.command("set model_code=3"), "ok model_code");
    run = RunCli({"config", "write", file.toStdString(), "--port", sim.path(), "--yes"});
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_NE(run.err.find("кодом модели 2"), std::string::npos) << run.err;
    EXPECT_EQ(sim.dump()["range_max"], "2.5");
}

TEST(CliWrite, ASignalBetweenBlocksStopsTheWriteAndSaysWhatIsHeld) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    QTemporaryDir dir;
    const QString file = SavedConfiguration(sim, dir);
    // The file's date differs from the meter's: the first block, once held, shows in register 5.
    ASSERT_EQ(sim.command("set date=01.01.2001"), "ok date");
    const uint16_t fileDate = 15 << 8 | 3 << 4 | 7;
    ASSERT_EQ(sim.command("fault delay 150"), "ok fault delay 150");
    for (const int signal : {SIGINT, SIGTERM}) {
        ASSERT_EQ(sim.command("set date=01.01.2001"), "ok date");
        CliProcess cli;
        ASSERT_TRUE(cli.start({"config", "write", file.toStdString(), "--port", sim.path(), "--yes", "--with-identity",
                               "--data-dir", dir.path().toStdString()}));
        ASSERT_TRUE(WaitForRegister(sim, 5, fileDate));
        cli.signal(signal);
        const CliRun run = cli.finish();
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find("Запись прервана."), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("0–5"), std::string::npos) << run.err;
        const std::vector<QStringList> journal = CsvRows(dir.filePath("journal.csv"));
        ASSERT_GE(journal.size(), 2u);
        EXPECT_TRUE(journal.back()[7].startsWith(QStringLiteral("прервано"))) << journal.back().join(u';').toStdString();
    }
    EXPECT_EQ(CsvRows(dir.filePath("journal.csv")).size(), 3u);
}

TEST(CliWrite, LinkFollowsTheMeterToItsNewSettingsAndChecksItAnswers) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--value", "1.5"}));
    QTemporaryDir dir;
    CliRun run = RunCli({"link", "--port", sim.path(), "--new-address", "7", "--new-byte-order", "3", "--yes",
                         "--data-dir", dir.path().toStdString()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim.command("instruments"), "ok 7:19200:even");
    run = RunCli({"value", "--port", sim.path(), "--address", "7", "--json"});
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object().value("value").toDouble(), 1.5);
    const std::vector<QStringList> journal = CsvRows(dir.filePath("journal.csv"));
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[1][3], QStringLiteral("1"));
    EXPECT_TRUE(journal[1].join(u';').contains(QStringLiteral("Сетевой номер;1;7"))) << journal[1].join(u';').toStdString();

    // Asked without --yes, the rows say where it will answer; a decline leaves it there.
    run = RunCli({"link", "--port", sim.path(), "--address", "7", "--new-address", "9"}, "\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("по адресу 9"), std::string::npos) << run.err;
    EXPECT_EQ(sim.command("instruments"), "ok 7:19200:even");
}

TEST(CliWrite, LinkToAMeterThatRefusesOrIsSilentIsNotDone) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    ASSERT_EQ(sim.command("fault exception 4 once"), "ok fault exception 4 once");
    // The read before the write gets the exception: nothing is written.
    CliRun run = RunCli({"link", "--port", sim.path(), "--new-address", "7", "--yes"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(sim.command("instruments"), "ok 1:19200:even");
    // A meter that is silent is not written either, and the code says so.
    ASSERT_EQ(sim.command("fault noreply on"), "ok fault noreply on");
    run = RunCli({"link", "--port", sim.path(), "--new-address", "7", "--yes", "--timeout", "100"});
    EXPECT_EQ(run.exitCode, 3);
}

TEST(CliBatch, TwoMetersOneAfterTheOtherEachGetsTheFileAndTheNextAddress) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--instrument", "addr=1,serial=1001,range_max=2.5", "--instrument",
                           "addr=200,serial=1002,range_max=4"}));
    QTemporaryDir dir;
    ASSERT_EQ(sim.command("@1 set range_max=1.6"), "ok range_max");
    const QString file = SavedConfiguration(sim, dir, "plant.cfg");
    ASSERT_EQ(sim.command("@1 set range_max=2.5"), "ok range_max");
    const QString report = dir.filePath("report.csv");
    CliProcess cli;
    ASSERT_TRUE(cli.start({"batch", file.toStdString(), "--port", sim.path(), "--assign-addresses", "10-20",
                           "--report", report.toStdString(), "--data-dir", dir.path().toStdString(), "--json"}));
    QJsonObject first = QJsonDocument::fromJson(QByteArray::fromStdString(cli.readLine())).object();
    EXPECT_EQ(first.value("serial_number").toInt(), 1001);
    EXPECT_EQ(first.value("new_address").toInt(), 10);
    EXPECT_EQ(first.value("result").toString(), QStringLiteral("done"));
    // The first meter is taken off the line, the second one put on.
    ASSERT_TRUE(cli.waitForError("Отключите прибор"));
    ASSERT_EQ(sim.command("@10 set address=240"), "ok address");
    ASSERT_EQ(sim.command("@200 set address=1"), "ok address");
    QJsonObject second = QJsonDocument::fromJson(QByteArray::fromStdString(cli.readLine())).object();
    EXPECT_EQ(second.value("serial_number").toInt(), 1002);
    EXPECT_EQ(second.value("new_address").toInt(), 11);
    cli.signal(SIGINT);
    const CliRun run = cli.finish();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim.dump(11)["range_max"], "1.60000002");
    EXPECT_EQ(sim.dump(240)["range_max"], "1.60000002");

    const std::vector<QStringList> rows = CsvRows(report);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (QStringList{"Дата", "Время", "Заводской номер", "Старый адрес", "Новый адрес", "Результат",
                                    "Различия"}));
    EXPECT_EQ(rows[1].mid(2), (QStringList{"1001", "1", "10", "выполнено", ""}));
    EXPECT_EQ(rows[2].mid(2), (QStringList{"1002", "1", "11", "выполнено", ""}));
    // Each meter's two writes in the journal.
    EXPECT_EQ(CsvRows(dir.filePath("journal.csv")).size(), 5u);

    // Started again on the same report, the next meter does not get an address given before.
    ASSERT_EQ(sim.command("@11 set address=1"), "ok address");
    CliProcess again;
    ASSERT_TRUE(again.start({"batch", file.toStdString(), "--port", sim.path(), "--assign-addresses", "10-20",
                             "--report", report.toStdString()}));
    EXPECT_NE(again.readLine().find("1 → 12"), std::string::npos);
    again.signal(SIGTERM);
    EXPECT_EQ(again.finish().exitCode, 0);
}

TEST(CliBatch, AMeterThatFailsIsReportedAsFailedWhereItAnswers) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    QTemporaryDir dir;
    const QString file = SavedConfiguration(sim, dir);
    ASSERT_EQ(sim.command("set model_code=5"), "ok model_code");
    const QString report = dir.filePath("report.csv");
    CliProcess cli;
    ASSERT_TRUE(cli.start({"batch", file.toStdString(), "--port", sim.path(), "--assign-addresses", "10-20",
                           "--report", report.toStdString()}));
    const std::string line = cli.readLine();
    EXPECT_NE(line.find("\t1 → 1\tошибка\t"), std::string::npos) << line;
    cli.signal(SIGINT);
    EXPECT_EQ(cli.finish().exitCode, 1);
    const std::vector<QStringList> rows = CsvRows(report);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][4], QStringLiteral("1"));
    EXPECT_EQ(rows[1][5], QStringLiteral("ошибка"));
    EXPECT_TRUE(rows[1][6].contains(QStringLiteral("кодом модели"))) << rows[1][6].toStdString();
    EXPECT_EQ(sim.command("instruments"), "ok 1:19200:even");
}

TEST(CliBatch, AStopDuringAMeterFinishesItsRowWhole) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    QTemporaryDir dir;
    const QString file = SavedConfiguration(sim, dir);
    ASSERT_EQ(sim.command("fault delay 100"), "ok fault delay 100");
    const QString report = dir.filePath("report.csv");
    CliProcess cli;
    ASSERT_TRUE(cli.start({"batch", file.toStdString(), "--port", sim.path(), "--assign-addresses", "30-31",
                           "--report", report.toStdString()}));
    ASSERT_TRUE(cli.waitForError("запись конфигурации"));
    cli.signal(SIGINT);
    const CliRun run = cli.finish();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<QStringList> rows = CsvRows(report);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].mid(3, 3), (QStringList{"1", "30", "выполнено"}));
    EXPECT_EQ(sim.command("instruments"), "ok 30:19200:even");
}

TEST(CliBatch, AMeterAtAnotherAddressIsFoundByTheShortSearch) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--address", "33"}));
    QTemporaryDir dir;
    const QString file = dir.filePath("m.cfg");
    ASSERT_EQ(RunCli({"config", "read", "--port", sim.path(), "--address", "33", "-o", file.toStdString()}).exitCode, 0);
    CliProcess cli;
    ASSERT_TRUE(cli.start({"batch", file.toStdString(), "--port", sim.path(), "--assign-addresses", "10-20",
                           "--timeout", "100"}));
    const std::string line = cli.readLine(60000);
    EXPECT_NE(line.find("\t33 → 10\tвыполнено"), std::string::npos) << line;
    cli.signal(SIGINT);
    EXPECT_EQ(cli.finish().exitCode, 0);
    EXPECT_EQ(sim.command("instruments"), "ok 10:19200:even");
}

TEST(CliBatch, AReportThatCannotBeWrittenEndsItBeforeAnyMeter) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    QTemporaryDir dir;
    const QString file = SavedConfiguration(sim, dir);
    const CliRun run = RunCli({"batch", file.toStdString(), "--port", sim.path(), "--report", dir.path().toStdString(),
                               "--assign-addresses", "10-20"});
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_NE(run.err.find(dir.path().toStdString()), std::string::npos) << run.err;
    EXPECT_EQ(sim.command("instruments"), "ok 1:19200:even");
}

namespace {

// The certificate's tables: Windows-1251, ';' between fields, the header first.
std::vector<QStringList> CertificateRows(const QString& path) {
    return olv::records::ParseCsv(olv::text::FromCp1251(Read(path)), u';');
}

// The table's rows whose first field names it, with their result (the last field).
QStringList Verdicts(const std::vector<QStringList>& rows, const QString& table) {
    QStringList verdicts;
    for (const QStringList& row : rows)
        if (!row.isEmpty() && row.front() == table) verdicts << row.back();
    return verdicts;
}

// A meter whose sensor reads 0.5 % of span high at zero and 1 % high in gain, its pressure set through
// the control FIFO by the bench's command.
struct SensorWithErrors {
    SimInstrument sim;
    QTemporaryDir dir;
    std::string fifo = dir.filePath("control").toStdString();
    bool start() { return sim.start({"--quiet", "--control", fifo, "--sensor-error", "zero=0.5,gain=1"}); }
    std::vector<std::string> calibrate(std::initializer_list<std::string> more) {
        std::vector<std::string> args{"calibrate", "--port", sim.path(), "--interval", "20", "--apply-command",
                                      "echo 'apply %p' > '" + fifo + "'"};
        args.insert(args.end(), more);
        return args;
    }
};

} // namespace

TEST(CliWrite, CalibrateTrimsAMeterThatFailsAndPassesAfterTheTrim) {
    SensorWithErrors meter;
    ASSERT_TRUE(meter.start());
    const QString csv = meter.dir.filePath("cal.csv");
    const QString html = meter.dir.filePath("cal.html");
    const QString data = meter.dir.filePath("station");
    const CliRun run = RunCli(meter.calibrate({"--trim", "two-point", "--yes", "--csv", csv.toStdString(),
                                               "--certificate", html.toStdString(), "--data-dir",
                                               data.toStdString()}));
    ASSERT_EQ(run.exitCode, 0) << run.err;

    // Both tables of the five default points: every as-found point fails (the zero error alone is
    // twice the tolerance), every as-left one passes.
    const std::vector<QStringList> rows = CertificateRows(csv);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front().front(), QStringLiteral("Таблица"));
    EXPECT_EQ(Verdicts(rows, QStringLiteral("до подстройки")), QStringList(5, QStringLiteral("не годен")));
    EXPECT_EQ(Verdicts(rows, QStringLiteral("после подстройки")), QStringList(5, QStringLiteral("годен")));
    EXPECT_TRUE(Read(html).contains("не годен"));
    // The outcome names the trim as read back from the instrument.
    EXPECT_NE(run.out.find("множитель 1.0000 → 0.9901"), std::string::npos) << run.out;

    // The trim undoes the sensor's errors: multiplier 1 / 1.01, offset -0.5 % of the span / 1.01.
    EXPECT_NEAR(std::stod(meter.sim.dump()["trim_multiplier"]), 1 / 1.01, 1e-4);
    EXPECT_NEAR(std::stod(meter.sim.dump()["trim_offset"]), -0.005 * 1.6 / 1.01, 1e-4);
    const std::vector<QStringList> journal = CsvRows(data + "/journal.csv");
    ASSERT_EQ(journal.size(), 3u); // the header, the trim's write and the calibration
    EXPECT_EQ(journal[1][7], QStringLiteral("записано"));
    EXPECT_EQ(journal[2][6], QStringLiteral("Калибровка"));
}

TEST(CliWrite, CalibrateWithoutTrimFailsAndLeavesTheTrimAlone) {
    SensorWithErrors meter;
    ASSERT_TRUE(meter.start());
    const QString csv = meter.dir.filePath("cal.csv");
    const CliRun run = RunCli(meter.calibrate({"--trim", "none", "--points", "0,1.6", "--csv", csv.toStdString()}));
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::vector<QStringList> rows = CertificateRows(csv);
    EXPECT_EQ(Verdicts(rows, QStringLiteral("до подстройки")), QStringList(2, QStringLiteral("не годен")));
    EXPECT_TRUE(Verdicts(rows, QStringLiteral("после подстройки")).isEmpty());
    EXPECT_EQ(meter.sim.dump()["trim_multiplier"], "1");
    EXPECT_EQ(meter.sim.dump()["trim_offset"], "0");

    // A trim that is not confirmed is not written, and the run says so.
    const CliRun refused = RunCli(meter.calibrate({"--trim", "zero", "--points", "0,1.6"}), "н\n");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("не подтверждена"), std::string::npos) << refused.err;
    EXPECT_EQ(meter.sim.dump()["trim_offset"], "0");

    // Without a bench's command the program asks for each point and waits for Enter; the end of the
    // input stops the run before anything is measured.
    ASSERT_EQ(meter.sim.command("apply 0"), "ok apply 0");
    const CliRun asked = RunCli({"calibrate", "--port", meter.sim.path(), "--interval", "20", "--points", "0,1.6",
                                 "--trim", "none"},
                                "\n");
    EXPECT_EQ(asked.exitCode, 1);
    EXPECT_NE(asked.err.find("Подайте давление 0 МПа"), std::string::npos) << asked.err;
    EXPECT_NE(asked.err.find("Подайте давление 1.6 МПа"), std::string::npos) << asked.err;
    EXPECT_NE(asked.err.find("давление не подтверждено"), std::string::npos) << asked.err;
    EXPECT_NE(asked.out.find("до подстройки\t0 МПа"), std::string::npos) << asked.out;
}

namespace {

// What a poppler tool prints about a file (pdftotext, pdfinfo).
QString Poppler(const char* tool, const QStringList& args) {
    QProcess process;
    process.start(QString::fromLatin1(tool), args);
    if (!process.waitForFinished(30000)) process.kill(); // its own child, by its pid
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Sets an environment variable (or unsets it, for nullptr) while it lives.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name), had_(qEnvironmentVariableIsSet(name)) {
        old_ = qgetenv(name);
        value ? qputenv(name, value) : qunsetenv(name);
    }
    ~ScopedEnv() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }

  private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

} // namespace

TEST(CliWrite, CalibratePrintsThePdfCertificateWithoutADisplayOrNotAtAll) {
    SensorWithErrors meter;
    ASSERT_TRUE(meter.start());
    // No display, and a platform named that would need one: the PDF is printed offscreen all the same.
    const ScopedEnv display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", nullptr), platform("QT_QPA_PLATFORM", "xcb");
    const QString pdf = meter.dir.filePath("cal.PDF");
    const CliRun run = RunCli(meter.calibrate({"--trim", "none", "--points", "0,1.6", "--json", "--certificate",
                                               pdf.toStdString(), "--reference", "Калибратор КД-1",
                                               "--reference-uncertainty", "0.0008", "--person", "Петров П. П.",
                                               "--ambient", "21.5"}));
    ASSERT_EQ(run.exitCode, 1) << run.err; // the as-found table fails
    const QJsonObject outcome = QJsonDocument::fromJson(QByteArray::fromStdString(run.outLines().back())).object();
    const QString number = outcome.value("certificate").toString();
    ASSERT_TRUE(number.startsWith(QStringLiteral("СК-"))) << run.out;
    ASSERT_TRUE(Read(pdf).startsWith("%PDF-"));
    EXPECT_TRUE(Poppler("pdfinfo", {pdf}).contains(QRegularExpression(QStringLiteral("Pages:\\s+[1-9]"))));
    // The certificate as the window prints it: its number, the table's verdicts, the pages counted.
    const QString text = Poppler("pdftotext", {pdf, "-"});
    EXPECT_TRUE(text.contains(number)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("не годен"))) << text.toStdString();
    // What the command line said of the reference, the person and the room.
    for (const char* said : {"Калибратор КД-1", "0.0008", "Петров П. П.", "21.5 °C"})
        EXPECT_TRUE(text.simplified().contains(QString::fromUtf8(said))) << said << "\n" << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Страница 1 из [1-9]")))) << text.toStdString();

    // A disk that takes the tables but not the PDF: a file error, and no part of the PDF left behind.
    QTemporaryDir out;
    const QString full = out.filePath("full.pdf");
    const CliRun refused = [&] {
        const olv::test::FileSizeLimit limit(8192);
        EXPECT_TRUE(limit.ok());
        return RunCli(meter.calibrate({"--trim", "none", "--points", "0,1.6", "--csv", out.filePath("t.csv").toStdString(),
                                       "--certificate", full.toStdString()}));
    }();
    EXPECT_EQ(refused.exitCode, 5) << refused.err;
    EXPECT_NE(refused.err.find(full.toStdString()), std::string::npos) << refused.err;
    EXPECT_EQ(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
              QStringList{QStringLiteral("t.csv")});
}
