// The program itself: a signal closes it the ordinary way (settings written, exit code 0), also while
// a message box waits; a second signal during closing ends it at once.
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

    void secondSignalWhileClosingEndsAtOnce() {
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
        QVERIFY2(program.exitCode() == 128 + SIGTERM || program.exitCode() == 128 + SIGHUP,
                 qPrintable(QString::number(program.exitCode())));
    }
};

QTEST_GUILESS_MAIN(ProgramSignalsTest)
#include "program_signals_test.moc"
