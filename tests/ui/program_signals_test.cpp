// The program itself: a signal closes it the ordinary way (settings written, exit code 0), also while
// a message box or a transaction waits; a second signal never ends it before the close has been under
// way for five seconds. Its command line: --help and --version need no display, anything unknown is
// refused, --data-dir is the folder of its files.
#include "tests/ui/form_fixture.h"

#include "ui/app/command_line.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
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
    // Starts the program in its own folder (or with the arguments given, in that folder) on a port that
    // cannot be opened, so that it waits in the message box "Невозможно открыть последовательный порт".
    void start(QProcess& program, const QTemporaryDir& work, const QString& dataFolder = QString(),
               const QStringList& arguments = {}, const QStringList& moreStation = {}) {
        olv::test::WriteCrlfFile(QDir(dataFolder.isEmpty() ? work.path() : dataFolder).filePath("dev.dat"),
                                 QStringList{"[PORTS]", "COM1=" + work.path() + "/no-such-port"} +
                                     moreStation);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(work.path());
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(OLV_PROGRAM), arguments);
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

    // Runs the program with the row's arguments and no display: its exit code, what it printed, and no
    // file made.
    void runWithoutADisplay(const QString& path) {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, error);
        QTemporaryDir work;
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(work.path());
        program.start(path, arguments);
        const bool finished = program.waitForFinished(20000);
        if (!finished) stop(program);
        QVERIFY(finished);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QString printed = QString::fromUtf8(program.readAllStandardOutput());
        const QString complaint = QString::fromUtf8(program.readAllStandardError());
        if (out.endsWith(u'\n'))
            QCOMPARE(printed, out);
        else
            QVERIFY2(printed.contains(out), qPrintable(printed));
        QVERIFY2(complaint.contains(error), qPrintable(complaint));
        QVERIFY2(exitCode != 0 || complaint.isEmpty(), qPrintable(complaint));
        QVERIFY(QDir(work.path()).isEmpty()); // no window, no settings files
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

    // Under a file size limit (a launcher's ulimit -f) a save past it is refused, not the end of the
    // program: the old dev.dat stays byte for byte (at start-up and at closing), recent.prf is saved,
    // and no temporary file is left (one that a killed save left goes at the next save).
    void fileSizeLimitRefusesTheSaveAndTheProgramLives() {
        QStringList station{"[NOTES]"}; // the settings that start-up and closing add outgrow the limit
        for (int i = 0; i < 60; ++i)
            station << QStringLiteral("note%1=%2").arg(i, 2).arg(QString(40, u'x'));
        QTemporaryDir work;
        QProcess program;
        program.setChildProcessModifier([] {
            std::signal(SIGXFSZ, SIG_DFL); // as a shell leaves it
            struct rlimit limit {};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 3100;
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        // A temporary file from a save killed earlier.
        QVERIFY(QFile(work.filePath(".dev.dat.olv-Ab12Cd")).open(QIODevice::WriteOnly));
        start(program, work, QString(), {}, station);
        const QByteArray before = ReadFile(work.filePath("dev.dat"));
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        if (!program.waitForFinished(20000)) stop(program);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(ReadFile(work.filePath("dev.dat")), before);
        QCOMPARE(QDir(work.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"dev.dat", "recent.prf"}));
    }

    void commandLineWithoutADisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("error");
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "Mod Bus OLV 1.1.3.1\n"
                                   << "";
        QTest::newRow("-v") << QStringList{"-v"} << 0 << "Mod Bus OLV 1.1.3.1\n"
                            << "";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "--data-dir <DIR>"
                                << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << ""
                                        << "--data-dir <DIR>";
        QTest::newRow("Qt's own option") << QStringList{"--help-all"} << 2 << ""
                                         << "--data-dir <DIR>";
        QTest::newRow("argument") << QStringList{"recent.prf"} << 2 << ""
                                  << "--data-dir <DIR>";
        QTest::newRow("empty folder") << QStringList{"--data-dir", ""} << 2 << ""
                                      << "Пустое имя папки";
        QTest::newRow("option without its value") << QStringList{"--data-dir"} << 2 << ""
                                                  << "--help";
        // The screenshots are a program of their own: the one installed does not know their options.
        QTest::newRow("screenshot option") << QStringList{"--grab-pages", "shots"} << 2 << ""
                                           << "grab-pages";
    }
    void commandLineWithoutADisplay() { runWithoutADisplay(QStringLiteral(OLV_PROGRAM)); }

    // The screenshot program has the program's command line and its own two options.
    void screenshotCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("error");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "--grab-live-seconds <S>"
                                << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << ""
                                        << "--grab-pages <DIR>";
        QTest::newRow("empty folder") << QStringList{"--data-dir", ""} << 2 << ""
                                      << "Пустое имя папки";
        QTest::newRow("live seconds not a number")
            << QStringList{"--grab-live-seconds", "a minute"} << 2 << ""
            << "--grab-live-seconds";
        QTest::newRow("live seconds 0, the least the help allows")
            << QStringList{"--grab-live-seconds", "0", "--version"} << 0 << "Mod Bus OLV 1.1.3.1\n"
            << "";
        QTest::newRow("live seconds below 0") << QStringList{"--grab-live-seconds", "-0.5"} << 2 << ""
                                              << "--grab-live-seconds: нужно число секунд от 0 до 3600.";
    }
    void screenshotCommandLine() { runWithoutADisplay(QStringLiteral(OLV_SHOTS_PROGRAM)); }

    void dataFolderHoldsTheSettingsFiles() {
        QTemporaryDir work;
        const QString data = work.filePath(QStringLiteral("данные"));
        QVERIFY(QDir().mkpath(data));
        QProcess program;
        start(program, work, data, {QStringLiteral("--data-dir"), data});
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        const bool finished = program.waitForFinished(20000);
        if (!finished) stop(program);
        QVERIFY(finished);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QFile(QDir(data).filePath("dev.dat")).size() > 0);
        QVERIFY(QFileInfo::exists(QDir(data).filePath("recent.prf")));
        QCOMPARE(QDir(work.path()).entryList(QDir::Files), QStringList{});
    }

    void dataFolderIsMadeAndXdgNamesTheDesktopFolder() {
        QTemporaryDir work;
        const QString before = QDir::currentPath();
        const QString nested = work.filePath(QStringLiteral("a/b"));
        QVERIFY(EnterDataFolder(nested));
        QCOMPARE(QDir::currentPath(), QDir(nested).canonicalPath());
        QVERIFY(QDir::setCurrent(before));
        QFile file(work.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(!EnterDataFolder(file.fileName()));
        QCOMPARE(QDir::currentPath(), before);

        qputenv("XDG_DATA_HOME", work.path().toLocal8Bit());
        QCOMPARE(DataFolderPath(QStringLiteral("xdg")), work.filePath(QStringLiteral("modbus-olv")));
        QCOMPARE(DataFolderPath(QStringLiteral("./xdg")), QStringLiteral("./xdg"));
        qunsetenv("XDG_DATA_HOME");
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
        startOnASilentLine(program, work, sim, 4000);
        const auto pid = static_cast<pid_t>(program.processId());
        ::kill(pid, SIGTERM);
        QTest::qWait(300);
        ::kill(pid, SIGTERM);
        // The close begins when the first read has waited out its 4 s; the start-up read's next request
        // (the versions) then keeps it going for 4 s more. A signal 2.5 s into the close changes nothing.
        QTRY_VERIFY_WITH_TIMEOUT(ReadFile(QDir(work.path()).filePath("COM.txt")).count("Send:") == 2, 20000);
        QTest::qWait(2500);
        QVERIFY2(program.state() == QProcess::Running, "the close ended before the third signal");
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
