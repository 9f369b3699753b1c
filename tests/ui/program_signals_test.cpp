// The program itself: a signal closes it the ordinary way (settings written, exit code 0), also while
// a message box or a transaction waits; a second signal never ends it before the close has been under
// way for five seconds.
#include "tests/ui/form_fixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

namespace {

// Whether the process has its own handler for the signal (SigCgt of /proc/<pid>/status).
bool Catches(qint64 pid, int signalNumber) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("SigCgt:")) continue;
        bool ok = false;
        const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
        return ok && (mask >> (signalNumber - 1)) & 1;
    }
    return false;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class ProgramSignalsTest : public QObject {
    Q_OBJECT

  private:
    // Starts the program in its own folder on a port that cannot be opened, so that it waits in the
    // message box "Невозможно открыть последовательный порт".
    void start(QProcess& program, const QTemporaryDir& work) {
        olv::test::WriteCrlfFile(QDir(work.path()).filePath("dev.dat"),
                                 {"[PORTS]", "COM1=" + work.path() + "/no-such-port"});
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(work.path());
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(OLV_PROGRAM), {});
        QVERIFY(program.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(Catches(program.processId(), SIGTERM), 20000);
    }

    // Starts the program on the virtual instrument with every reply switched off, and returns once the
    // start-up read has sent its first request (the trace shows it), so a transaction waits out
    // timeoutMs.
    void startOnASilentLine(QProcess& program, const QTemporaryDir& work, olv::test::SimInstrument& sim,
                            int timeoutMs) {
        QVERIFY(sim.start({"--quiet"}));
        QCOMPARE(sim.command("fault noreply on"), std::string("ok fault noreply on"));
        const QDir dir(work.path());
        olv::test::WriteCrlfFile(dir.filePath("dev.dat"),
                                 {"[COM_SETTINGS]", "Number=1", "Settings=19200,E,8,2", "[DEVICE]",
                                  "NetAdrr=1", "[SETTINGS]", "TimeOut=" + QString::number(timeoutMs), "[LOG]",
                                  "UseLogFile=1", "LogFileName=COM.txt", "[PORTS]",
                                  "COM1=" + QString::fromStdString(sim.path())});
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(work.path());
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(OLV_PROGRAM), {});
        QVERIFY(program.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(ReadFile(dir.filePath("COM.txt")).contains("Send:"), 20000);
    }

    void stop(QProcess& program) {
        if (program.state() == QProcess::NotRunning) return;
        program.kill(); // this process only, by its pid
        program.waitForFinished(5000);
    }

  private slots:
    void termClosesTheBoxAndTheWindowAndSaves() {
        QTemporaryDir work;
        QProcess program;
        start(program, work);
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        const bool finished = program.waitForFinished(20000);
        if (!finished) stop(program);
        QVERIFY(finished);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QFile devDat(QDir(work.path()).filePath("dev.dat"));
        QVERIFY(devDat.open(QIODevice::ReadOnly));
        const QByteArray saved = devDat.readAll();
        // Written only by the save at exit.
        QVERIFY(saved.contains("[DIFFRENT]"));
        QVERIFY(saved.contains("BegAdr=0"));
    }

    void secondSignalRightAfterTheFirstStillSaves() {
        QTemporaryDir work;
        QProcess program;
        start(program, work);
        // Both arrive before the program can act on the first.
        const auto pid = static_cast<pid_t>(program.processId());
        ::kill(pid, SIGSTOP);
        ::kill(pid, SIGTERM);
        ::kill(pid, SIGHUP);
        ::kill(pid, SIGCONT);
        const bool finished = program.waitForFinished(20000);
        if (!finished) stop(program);
        QVERIFY(finished);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(ReadFile(QDir(work.path()).filePath("dev.dat")).contains("BegAdr=0"));
    }

    void twoSignalsDuringATransactionSaveBothFiles() {
        olv::test::SimInstrument sim;
        QTemporaryDir work;
        QProcess program;
        startOnASilentLine(program, work, sim, 3000);
        const auto pid = static_cast<pid_t>(program.processId());
        ::kill(pid, SIGTERM);
        QTest::qWait(300);
        ::kill(pid, SIGTERM);
        const bool finished = program.waitForFinished(30000);
        if (!finished) stop(program);
        QVERIFY(finished);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(ReadFile(QDir(work.path()).filePath("dev.dat")).contains("BegAdr=0"));
        QVERIFY(ReadFile(QDir(work.path()).filePath("recent.prf")).contains("[TAB]"));
    }

    void aSecondSignalLongAfterTheFirstStillSavesWhileTheReadWaits() {
        olv::test::SimInstrument sim;
        QTemporaryDir work;
        QProcess program;
        startOnASilentLine(program, work, sim, 3000);
        const auto pid = static_cast<pid_t>(program.processId());
        ::kill(pid, SIGTERM);
        QTest::qWait(300);
        // Held still inside its read, the program has not begun to close when the next signal comes.
        ::kill(pid, SIGSTOP);
        QTest::qWait(5500);
        ::kill(pid, SIGTERM);
        ::kill(pid, SIGCONT);
        const bool finished = program.waitForFinished(30000);
        if (!finished) stop(program);
        QVERIFY(finished);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(ReadFile(QDir(work.path()).filePath("dev.dat")).contains("BegAdr=0"));
    }
};

QTEST_GUILESS_MAIN(ProgramSignalsTest)
#include "program_signals_test.moc"
