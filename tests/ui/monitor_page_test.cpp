// Page 5, the line monitor: listening sends nothing, decodes what it hears, keeps it in a pcap file;
// against the virtual instrument's bus with Debian's mbpoll as the other master.
#include "tests/sim/frames.h"
#include "tests/support/pty_peer.h"
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"
#include "ui/pages/monitor/line_monitor_page.h"
#include "ui/widgets/monitor_table.h"

#include "monitor/capture_session.h"
#include "monitor/pcap.h"
#include "text/cp1251.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <set>
#include <sys/stat.h>

using namespace olv::test;
using Column = MonitorTableModel::Column;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QStringList Cells(const MonitorTableModel& model, int row) {
    QStringList cells;
    for (int c = 0; c < MonitorTableModel::Columns; ++c)
        cells << model.text(row, static_cast<Column>(c));
    return cells;
}

} // namespace

class MonitorPageTest : public QObject {
    Q_OBJECT

  private slots:
    // A start without transmitting, by --listen or by the port's own choice in dev.dat: the port opens,
    // the line monitor listens at once and the health line says so, and not a byte goes out until the
    // user asks, here by showing the live page once listening has stopped. Another port's choice
    // leaves the start as it was, with its start-up read.
    void startsWithoutTransmittingWhenTheCommandLineOrThePortSaysSo() {
        const struct {
            const char* name;
            bool listen;
            QStringList ports;
            bool quiet;
        } cases[] = {
            {"--listen", true, {"ListenCOM1=0"}, true},
            {"the port's choice", false, {"ListenCOM1=1"}, true},
            {"another port's choice", false, {"ListenCOM2=1", "ListenCOM1=yes"}, false},
        };
        for (const auto& c : cases) {
            FormFixture::Options options;
            options.listenAtStart = c.listen;
            options.prepare = [&c](const QDir& dir) {
                WriteCrlfFile(dir.filePath("dev.dat"),
                              QStringList{"[COM_SETTINGS]", "Number=1", "Settings=19200,E,8,2", "[SETTINGS]",
                                          "TimeOut=300", "[PORTS]"} +
                                  c.ports);
            };
            FormFixture f(options);
            // What start-up's timers do, in their order: the settling, the start-up read where it is due,
            // a tick of the live poll.
            f->Timer2Timer();
            if (f->Timer3->isActive()) f->Timer3Timer();
            f->live().Timer1Timer();
            QVERIFY2(f->quietStart == c.quiet, c.name);
            QVERIFY2(f.port->written.empty() == c.quiet, c.name);
            if (!c.quiet) continue;
            QVERIFY2(f.port->isOpen(), c.name);
            QCOMPARE(f->TabbedNotebook1->currentIndex(), int(TForm1::MonitorPage));
            QVERIFY2(f->listening, c.name);
            QVERIFY2(f->Label52->text().contains(QStringLiteral(" · слушает линию · ")),
                     qPrintable(f->Label52->text()));
            // The live page shown while listening does not poll either.
            f->TabbedNotebook1->setCurrentIndex(0);
            f->live().Timer1Timer();
            f->TabbedNotebook1->setCurrentIndex(TForm1::MonitorPage);
            f->Button11->click();
            QVERIFY(!f->listening);
            f->live().Timer1Timer();
            QVERIFY2(f.port->written.empty(), c.name);
            // Asked for: the live page polls.
            f->TabbedNotebook1->setCurrentIndex(0);
            f->live().Timer1Timer();
            QVERIFY2(f.port->written.size() == 1, c.name);
            QVERIFY2(f->Label52->text().contains(QStringLiteral(" · нет ответа · ")),
                     qPrintable(f->Label52->text()));
        }
    }

    void listensWithoutAWordAndKeepsWhatItHeard() {
        FormFixture f;
        StopTimers(*f);
        MonitorTableModel& model = *f->monitorModel;
        // Not listening: the program's own exchanges, here the start-up read on a silent line.
        f->Timer3Timer();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.text(0, Column::Registers), QStringLiteral("0..5"));
        QCOMPARE(model.text(0, Column::Latency), QStringLiteral("нет ответа"));
        QVERIFY(model.text(0, Column::Result).startsWith(QStringLiteral("Ответа не было.")));

        // Another master and the meter, glued as an adapter delivers them, then bytes at a wrong rate.
        f.port->queueReply(Cat(ReadRequest(1, 8, 4), WithCrc({1, 3, 8, 1, 4, 2, 1, 0, 0, 0, 1})));
        f.port->queueReply(Cat(ReadRequest(1, 15, 3), WithCrc({1, 3, 6, 0, 0, 0x04, 0x19, 0x3F, 0x9E})));
        f.port->queueReply(Cat(WriteRequest(1, 8, {0x0503}), WithCrc({1, 16, 0, 8, 0, 1})));
        f.port->queueReply({0x55, 0xAA, 0x55}, olv::link::LineParity);
        f.port->calls.clear();
        f.port->written.clear();
        f->Button11->click();
        QVERIFY(f->listening);
        QCOMPARE(f->Button11->text(), QStringLiteral("Остановить"));
        QVERIFY(f->Button11->isEnabled());
        for (QWidget* off :
             std::initializer_list<QWidget*>{f->Button1, f->Button4, f->ComboBox1, f->Button13})
            QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
        f->monitor().Timer6Timer();
        f->Button11->click();
        QVERIFY(!f->listening);
        QVERIFY(f->Button1->isEnabled() && f->Button13->isEnabled());

        // Not a byte went out, no line was touched.
        QVERIFY(f.port->written.empty());
        const std::set<std::string> quiet{"purge", "readAvailable", "takeLineErrors"};
        for (const std::string& call : f.port->calls)
            QVERIFY2(quiet.count(call), call.c_str());

        QCOMPARE(model.rowCount(), 7);
        QCOMPARE(model.text(3, Column::Meaning),
                 QStringLiteral("статус: Нормальное измерение; значение: 1.2345 МПа"));
        QCOMPARE(model.text(4, Column::Direction), QStringLiteral("запрос"));
        QCOMPARE(model.text(4, Column::Meaning),
                 QStringLiteral("связь: адрес 5, скорость 9600 бит/с — смена линии"));
        QCOMPARE(model.text(5, Column::Latency), QStringLiteral("0.0"));
        QCOMPARE(model.text(6, Column::Meaning),
                 QStringLiteral("ошибка линии (паритет, кадр или переполнение)"));
        QCOMPARE(f->Label41->text(),
                 QStringLiteral("Всего: кадров 7, без ответа 0, ошибок CRC 1, исключений 0"));
        f->ComboBox18->setCurrentIndex(1);
        f->monitor().ComboBox18Change();
        QCOMPARE(model.rowCount(), 6);
        f->ComboBox18->setCurrentIndex(0);
        f->monitor().ComboBox18Change();

        // Saved and opened again: the same frames (the line error is the port's, not the file's).
        QList<QStringList> heard;
        for (int r = 0; r < 6; ++r)
            heard << Cells(model, r);
        QString file = f.dir().filePath("line.pcap");
        f->monitor().chooseCaptureFile = [&file](bool, QString& name) {
            name = file;
            return true;
        };
        f->Button12->click();
        f->Button13->click(); // read on a thread of its own
        QTRY_VERIFY(!f->monitor().OpeningCapture());
        QCOMPARE(model.rowCount(), 7);
        for (int r = 0; r < 6; ++r)
            QCOMPARE(Cells(model, r), heard[r]);

        // A file that is no capture: a box, and the table stays.
        file = f.dir().filePath("dev.dat");
        const size_t boxes = f.boxes.boxes.size();
        f->Button13->click();
        QTRY_VERIFY(!f->monitor().OpeningCapture());
        QCOMPARE(f.boxes.boxes.size(), boxes + 1);
        QCOMPARE(f.boxes.boxes.back().text,
                 QStringLiteral("Файл %1 не открыт. Это не файл записи обмена (pcap).").arg(file));
        QCOMPARE(Cells(model, 3), heard[3]);
    }

    // "Открыть…" returns while the file is read; the progress dialog stops it, and the table stays.
    // Nothing of the file is copied: the new session's spool holds only what comes after.
    void openingRunsInTheBackgroundAndCanBeStopped() {
        FormFixture f;
        StopTimers(*f);
        f->Timer3Timer(); // two rows of the program's own
        MonitorTableModel& model = *f->monitorModel;
        const QString file = f.dir().filePath("big.pcap");
        {
            std::string bytes;
            olv::monitor::AppendPcapHeader(bytes);
            const Bytes frame = ReadRequest(1, 15, 3);
            for (int n = 0; n < 1000000; ++n)
                olv::monitor::AppendPcapRecord(bytes, olv::monitor::Micros{1700000000} * 1000000 + n * 1000,
                                               frame.data(), frame.size());
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(bytes.data(), qint64(bytes.size()));
        }
        f->monitor().chooseCaptureFile = [&file](bool, QString& name) {
            name = file;
            return true;
        };
        const size_t boxes = f.boxes.boxes.size();
        f->Button13->click();
        QVERIFY(f->monitor().OpeningCapture()); // the click has returned, the reading goes on
        QVERIFY(!f->Button13->isEnabled() && !f->Button11->isEnabled());
        auto* progress = f->findChild<QProgressDialog*>("CaptureProgress");
        QVERIFY(progress);
        auto* stop = progress->findChild<QPushButton*>();
        QVERIFY(stop);
        QCOMPARE(stop->text(), QStringLiteral("Отмена"));
        stop->click();
        QTRY_VERIFY(!f->monitor().OpeningCapture());
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(f.boxes.boxes.size(), boxes); // stopped by the user: nothing to say
        QVERIFY(f->Button13->isEnabled() && f->Button11->isEnabled());

        const QStringList before = f.dir().entryList({".capture-*"}, QDir::Files | QDir::Hidden);
        f->Button13->click();
        QTRY_VERIFY_WITH_TIMEOUT(!f->monitor().OpeningCapture(), 120000);
        QCOMPARE(f->monitor().capture->counters().total.frames, int64_t(1000000));
        const QStringList spools = f.dir().entryList({".capture-*"}, QDir::Files | QDir::Hidden);
        QCOMPARE(spools.size(), before.size()); // the old session's spool went, the new one came
        QCOMPARE(QFileInfo(f.dir().filePath(spools.value(0))).size(), qint64(24)); // a header, no copy

        // Closing the window while a file is read stops the reading; the window closes.
        f->Button13->click();
        QVERIFY(f->monitor().OpeningCapture());
        QVERIFY(f->close());
        QVERIFY(!f->monitor().OpeningCapture());
        QCOMPARE(f->formCloseRuns, 1);
    }

    // What is no capture file says why, at once; a file beyond the limit gives its size and the limit.
    void refusedFilesSayWhy() {
        FormFixture f;
        StopTimers(*f);
        QString file;
        f->monitor().chooseCaptureFile = [&file](bool, QString& name) {
            name = file;
            return true;
        };
        file = f.dir().filePath("fifo.pcap");
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        f->Button13->click();
        QVERIFY(!f->monitor().OpeningCapture());
        QCOMPARE(f.boxes.boxes.back().text,
                 QStringLiteral("Файл %1 не открыт. Это не обычный файл (папка, канал или устройство).").arg(file));

        file = f.dir().filePath("huge.pcap");
        {
            QFile huge(file);
            QVERIFY(huge.open(QIODevice::WriteOnly));
            QVERIFY(huge.resize(olv::monitor::MaxCaptureFileSize + 1));
        }
        f->Button13->click();
        QVERIFY(!f->monitor().OpeningCapture());
        QCOMPARE(f.boxes.boxes.back().text,
                 QStringLiteral("Файл %1 не открыт. Файл слишком велик: 2,0 ГБ (2\u00A0147\u00A0483\u00A0649 байт), а "
                                "программа открывает файлы не больше 2,0 ГБ (2\u00A0147\u00A0483\u00A0648 байт).")
                     .arg(file));
    }

    // The spool is a private file of the working folder that goes with the window; a spool a killed
    // program left there is removed at start, and the trace says so. The spool's bound is a setting.
    void spoolIsPrivateAndStaleOnesAreRemovedAtStart() {
        FormFixture::Options options;
        options.prepare = [](const QDir& dir) {
            WriteCrlfFile(dir.filePath("dev.dat"), {"[LOG]", "UseLogFile=1", "LogFileName=trace.txt", "[MONITOR]",
                                                    "CaptureFileMB=5"});
            QFile stale(dir.filePath(".capture-Killed.spool"));
            QVERIFY(stale.open(QIODevice::WriteOnly));
        };
        FormFixture f(options);
        QVERIFY(!QFile::exists(f.dir().filePath(".capture-Killed.spool")));
        QFile trace(f.dir().filePath("trace.txt"));
        QVERIFY(trace.open(QIODevice::ReadOnly));
        const QString note = olv::text::FromCp1251(trace.readAll());
        QVERIFY2(note.contains(QStringLiteral("Note: удален файл записи обмена программы, которая уже не работает: ") +
                               f.dir().filePath(".capture-Killed.spool")),
                 qPrintable(note));
        QCOMPARE(f->monitor().monitorSpoolBytes, olv::monitor::FewestSpoolBytes); // held to the smallest bound

        StopTimers(*f);
        f->Timer3Timer();
        const QStringList spools = f.dir().entryList({".capture-*"}, QDir::Files | QDir::Hidden);
        QCOMPARE(spools.size(), 1);
        const QString spool = f.dir().filePath(spools.front());
        f->close();
        f.form.reset();
        QVERIFY(!QFile::exists(spool));
    }

    void pulledAdapterOrClosedWindowEndsListening() {
        FormFixture::Options options;
        options.prepare = [](const QDir& dir) {
            WriteCrlfFile(dir.filePath("dev.dat"), {"[MONITOR]", "Frames=5"}); // fewer than the table keeps
        };
        FormFixture f(options);
        QCOMPARE(f->monitor().monitorFrames, 1000);
        StopTimers(*f);
        f->Button11->click();
        f.port->lineHungUp = true;
        f->monitor().Timer6Timer();
        QVERIFY(!f->listening);
        QCOMPARE(f.boxes.boxes.back().text,
                 QStringLiteral("Связь с портом потеряна, прослушивание остановлено."));
        QVERIFY(f->Button1->isEnabled());

        f->Button11->click(); // the port is opened again for it
        QVERIFY(f->listening);
        f->close();
        QVERIFY(!f->listening);
        QCOMPARE(f->formCloseRuns, 1);
    }

    // mbpoll polls the simulated meter through the line's terminal; the window listens on a tap.
    void decodesAnotherMastersTrafficOnTheBus() {
        QTemporaryDir links;
        const std::string tap = links.filePath("tap").toStdString();
        SimFormFixture::Options options;
        options.simArgs = {"--quiet", "--tap", tap};
        options.portPath = tap;
        SimFormFixture f(options);
        QVERIFY(f.started());
        f.settle();
        const auto sentByTap = [&f] {
            const std::string bus = f.sim.command("bus");
            return bus.substr(bus.find(" tap1="));
        };
        const std::string before = sentByTap();
        f->linkSettings.timeoutMs = 2000; // a reply taken late on a loaded machine is still paired
        f->Button11->click();
        QVERIFY(f->listening);

        const auto mbpoll = [&f](int start, int count, const std::vector<std::string>& values = {}) {
            std::vector<std::string> args{"mbpoll",
                                          "-m",
                                          "rtu",
                                          "-a",
                                          "1",
                                          "-b",
                                          "19200",
                                          "-P",
                                          "even",
                                          "-t",
                                          "4",
                                          "-r",
                                          std::to_string(start),
                                          "-0",
                                          "-1",
                                          "-o",
                                          "0.5"};
            if (values.empty()) args.insert(args.end(), {"-c", std::to_string(count)});
            args.push_back(f.sim.path());
            args.insert(args.end(), values.begin(), values.end());
            ChildProcess run;
            QVERIFY2(run.start(args), "mbpoll is needed (scripts/packages.sh installs it)");
            QTRY_VERIFY_WITH_TIMEOUT(!run.running(), 20000);
            QTest::qWait(100); // the reply's last bytes reach the tap
        };
        for (int order = 0; order < 4; ++order) {
            QCOMPARE(f.sim.command("set byte_order=" + std::to_string(order)), std::string("ok byte_order"));
            QCOMPARE(f.sim.command("value 1.2345"), std::string("ok value"));
            mbpoll(8, 4); // the monitor learns the byte order from register 11
            mbpoll(15, 3);
        }
        mbpoll(8, 0, {"260", "513"}); // 0x0104 0x0201: a configuration write by the other master
        f->monitor().Timer6Timer();
        f->Button11->click();

        MonitorTableModel& model = *f->monitorModel;
        QCOMPARE(model.rowCount(), 18);
        for (int r = 0; r < 18; ++r) {
            QCOMPARE(model.text(r, Column::Direction),
                     r % 2 ? QStringLiteral("ответ") : QStringLiteral("запрос"));
            QVERIFY2(!model.text(r, Column::Latency).isEmpty() && model.text(r, Column::Result).isEmpty(),
                     qPrintable(Cells(model, r).join(u'|')));
        }
        for (int order = 0; order < 4; ++order)
            QVERIFY2(
                model.text(4 * order + 3, Column::Meaning).endsWith(QStringLiteral("значение: 1.2345 МПа")),
                qPrintable(model.text(4 * order + 3, Column::Meaning)));
        QCOMPARE(
            model.text(16, Column::Meaning),
            QStringLiteral("связь: адрес 1, скорость 19200 бит/с; настройка: демпфирование 4, единицы МПа — "
                           "смена линии"));
        QCOMPARE(sentByTap(), before); // the simulator heard nothing from the monitor
    }
};

OLV_UI_TEST_MAIN(MonitorPageTest)
#include "monitor_page_test.moc"
