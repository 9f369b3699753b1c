// Start-up, the link row, page changes, closing, Pause and escaped exceptions.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"
#include "ui/widgets/caption_panel.h"

#include "ui/app/close_signals.h"
#include "ui/app/olv_application.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <map>
#include <stdexcept>
#include <sys/inotify.h>

using olv::test::FakePortPath;
using olv::test::FormFixture;
using olv::test::StopTimers;
using olv::test::WriteCrlfFile;

namespace {

const QColor Aqua(0, 255, 255);
const QColor White(255, 255, 255);

QString IniValue(const QString& path, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith(key.toLatin1() + '=')) return QString::fromLatin1(trimmed.mid(key.size() + 1));
    }
    return QString();
}

// An object whose event handling throws, as a faulty handler would.
class Throwing : public QObject {
  public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) throw std::runtime_error("handler failed");
        if (event->type() == QEvent::User + 1) {
            handled = true;
            return true;
        }
        return QObject::event(event);
    }
    bool handled = false;
};

} // namespace

class FormLifecycleTest : public QObject {
    Q_OBJECT

  private slots:
    void startUpOpensThePortOnceAndStartsTheOneShotTimers() {
        FormFixture f;
        QCOMPARE(f.port->opens.size(), size_t(1));
        QCOMPARE(f.port->opens[0].path, FakePortPath(1));
        QCOMPARE(f.port->opens[0].line.baudRate, 19200);
        QCOMPARE(f.port->opens[0].line.parity, 2);
        QCOMPARE(f.port->opens[0].line.dataBits, 8);
        QCOMPARE(f.port->raiseLinesCalls, 1);
        const auto& calls = f.port->calls;
        QVERIFY(std::find(calls.begin(), calls.end(), "open") <
                std::find(calls.begin(), calls.end(), "raiseLines"));
        QVERIFY(QFile::exists(f.dir().filePath("dev.dat")));

        QCOMPARE(f->uiBusy, 1);
        QCOMPARE(f->pollEnabled, 0);
        QCOMPARE(f->Timer2->interval(), 50);
        QVERIFY(f->Timer2->isActive());
        QCOMPARE(f->Timer3->interval(), 200);
        QVERIFY(f->Timer3->isActive());
        QVERIFY(f.boxes.boxes.empty());

        // While settling, a change of the address box is not taken for an edit.
        f->ComboBox3->setCurrentIndex(9);
        f->ComboBox3Change();
        QCOMPARE(f->linkSettings.address, 1);

        QTRY_COMPARE(f->uiBusy, 0);
        QVERIFY(!f->Timer2->isActive());
        QCOMPARE(f->pollEnabled, 0);

        // The start-up read: the silent port fails both reads, each reported once, and polling starts.
        QTRY_COMPARE(f->pollEnabled, 1);
        QVERIFY(!f->Timer3->isActive());
        QCOMPARE(f.boxes.boxes.size(), size_t(2));
        for (const auto& box : f.boxes.boxes) {
            QCOMPARE(box.text, QStringLiteral("При приеме не принято ожидаемое число символов."));
            QCOMPARE(box.caption, QStringLiteral("Ошибка в обмене."));
        }
        QCOMPARE(f.port->opens.size(), size_t(1));
    }

    // Each file is made in one replacement, not one for every key of its creation set (what they hold,
    // as when every key was a write of its own, the loaders' tests compare byte for byte). The renames
    // are counted by inotify; the temporary names of the IN_MOVED_FROM events between them keep it
    // from merging repeated renames into one event.
    void firstStartInAnEmptyFolderWritesEachFileOnce() {
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        bool watched = false;
        FormFixture::Options options;
        options.prepare = [&](const QDir& dir) {
            watched =
                ::inotify_add_watch(watch, QFile::encodeName(dir.path()), IN_MOVED_FROM | IN_MOVED_TO) >= 0;
        };
        FormFixture f(options);
        QVERIFY2(watched, "inotify is needed to count the renames");
        std::map<std::string, int> renames;
        alignas(inotify_event) char buffer[8192];
        const ssize_t n = ::read(watch, buffer, sizeof buffer);
        for (const auto* e = reinterpret_cast<inotify_event*>(buffer); n > 0 && (char*)e < buffer + n;
             e = reinterpret_cast<const inotify_event*>((const char*)(e + 1) + e->len))
            renames[e->name] += (e->mask & IN_MOVED_TO) != 0;
        ::close(watch);
        QCOMPARE(renames["dev.dat"], 1);
        QCOMPARE(renames["recent.prf"], 1);
    }

    // No adapter at the first start: the box about the port, and no exchange error for the start-up
    // read, which is not sent.
    void startUpWithoutTheAdapterShowsOnlyThePortBox() {
        FormFixture::Options options;
        options.preparePort = [](olv::test::FakePort& port) { port.failOpen = true; };
        FormFixture f(options);
        QTRY_COMPARE(f->pollEnabled, 1);
        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("Невозможно открыть последовательный порт"));
        QVERIFY(f.port->written.empty());
        QVERIFY(f->Panel5->isHidden());
    }

    void startUpBoxLeftOpenRunsNoTimerAndTheStartUpReadOnceAfterTheOpen() {
        // dev.dat's port number gives a box before the port is opened; it stays open for three
        // seconds, handling events as a modal box does.
        FormFixture::Options options;
        options.prepare = [](const QDir& dir) {
            WriteCrlfFile(dir.filePath("dev.dat"),
                          {"[COM_SETTINGS]", "Number=9", "[SETTINGS]", "TimeOut=50"});
        };
        size_t boxesAfterTheWait = 0;
        options.prepareBoxes = [&](olv::test::RecordingBoxes& boxes) {
            boxes.whileShown = [&](const olv::messages::Box&) {
                if (boxes.boxes.size() != 1) return;
                QTest::qWait(3000);
                boxesAfterTheWait = boxes.boxes.size();
            };
        };
        FormFixture f(options);
        QCOMPARE(boxesAfterTheWait, size_t(1)); // nothing else ran inside the box
        QVERIFY(f.port->written.empty());
        QCOMPARE(f->pollEnabled, 0);
        QTRY_COMPARE(f->pollEnabled, 1);
        StopTimers(*f);
        QTest::qWait(300); // a second start-up read would show itself here
        // The port box, then one failed read of the configuration and one of the versions, both sent
        // on the port opened before them.
        QCOMPARE(f.boxes.boxes.size(), size_t(3));
        QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("Слишком большой номер COM порта."));
        QCOMPARE(f.port->written.size(), size_t(2));
        QCOMPARE(f.port->opens.size(), size_t(1));
    }

    void startUpShowsTheStationSettings() {
        FormFixture::Options options;
        options.prepare = [](const QDir& dir) {
            WriteCrlfFile(dir.filePath("dev.dat"),
                          {"[COM_SETTINGS]", "Number=3", "Settings=9600,O,8,2", "[DEVICE]", "NetAdrr=17"});
        };
        FormFixture f(options);
        QCOMPARE(f->ComboBox1->currentText(), QStringLiteral("COM 3"));
        QCOMPARE(f->ComboBox2->currentText(), QStringLiteral("9600"));
        QCOMPARE(f->ComboBox14->currentText(), QStringLiteral("Нечетный"));
        QCOMPARE(f->ComboBox3->currentIndex(), 17);
        QCOMPARE(f->ComboBox9->currentIndex(), 17);
        QCOMPARE(f->ComboBox10->currentText(), QStringLiteral("9600"));
        QCOMPARE(f->ComboBox15->currentIndex(), 1);
        QCOMPARE(f->Label1->text(), QStringLiteral("COM3, 9600"));
        QCOMPARE(f.port->opens.size(), size_t(1));
        QCOMPARE(f.port->opens[0].path, FakePortPath(3));
        QCOMPARE(f.port->opens[0].line.baudRate, 9600);
        QCOMPARE(f.port->opens[0].line.parity, 1);
    }

    void refusedSettingsWriteAtStartUpIsShownOnceAndStartUpGoesOn() {
        FormFixture::Options options;
        options.prepare = [](const QDir& dir) { dir.mkdir("dev.dat"); };
        FormFixture f(options);
        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        QCOMPARE(f.boxes.boxes[0].caption, QStringLiteral("Ошибка"));
        QCOMPARE(f.boxes.boxes[0].icon, olv::messages::BoxIcon::Warning);
        QVERIFY(f.boxes.boxes[0].text.contains(QStringLiteral("dev.dat")));
        QCOMPARE(f.port->opens.size(), size_t(1));
        QVERIFY(f->Timer3->isActive());
        StopTimers(*f);
    }

    void showAndCollectRoundTrip_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("trace");
        QTest::addColumn<int>("log");
        QTest::addColumn<int>("byteOrder");
        QTest::addColumn<int>("pendingBaud");
        QTest::newRow("defaults") << 1 << 19200 << 0 << 2 << 0 << 0 << 0 << 19200;
        QTest::newRow("last entries") << 8 << 38400 << 255 << 0 << 1 << 1 << 3 << 1200;
        QTest::newRow("middle") << 3 << 9600 << 17 << 1 << 1 << 0 << 2 << 4800;
    }
    void showAndCollectRoundTrip() {
        QFETCH(int, port);
        QFETCH(int, baud);
        QFETCH(int, address);
        QFETCH(int, parity);
        QFETCH(int, trace);
        QFETCH(int, log);
        QFETCH(int, byteOrder);
        QFETCH(int, pendingBaud);
        FormFixture f;
        StopTimers(*f);
        f->linkSettings = {port, baud, parity, 1, 1000, address, trace, QString(), byteOrder};
        f->live().logEnabled = log;
        f->pendingLink.pendingBaudRate = pendingBaud;
        f->ShowLinkSettings(0);
        QCOMPARE(f->uiBusy, 0);
        QCOMPARE(f->ComboBox1->currentText(), QStringLiteral("COM %1").arg(port));
        QCOMPARE(f->ComboBox2->currentText(), QString::number(baud));
        QCOMPARE(f->ComboBox3->currentIndex(), address);
        QCOMPARE(f->ComboBox14->currentIndex(), parity);
        QCOMPARE(f->CheckBox7->isChecked(), trace == 1);
        QCOMPARE(f->CheckBox11->isChecked(), log == 1);
        QCOMPARE(f->ComboBox9->currentIndex(), address);
        QCOMPARE(f->ComboBox10->currentText(), QString::number(pendingBaud));
        QCOMPARE(f->ComboBox15->currentIndex(), parity);
        QCOMPARE(f->ComboBox16->currentIndex(), byteOrder);
        QCOMPARE(f->ComboBox17->currentIndex(), byteOrder);
        QCOMPARE(f->Label1->text(), QStringLiteral("COM%1, %2").arg(port).arg(baud));

        f->linkSettings = {5, 1200, 1, 1, 1000, 99, 1 - trace, QString(), byteOrder};
        f->live().logEnabled = 1 - log;
        f->pendingLink = {};
        f->CollectLinkSettings(0);
        QCOMPARE(f->uiBusy, 0);
        QCOMPARE(f->linkSettings.portNumber, port);
        QCOMPARE(f->linkSettings.baudRate, baud);
        QCOMPARE(f->linkSettings.address, address);
        QCOMPARE(f->linkSettings.parity, parity);
        QCOMPARE(f->linkSettings.traceEnabled, trace);
        QCOMPARE(f->live().logEnabled, log);
        QCOMPARE(f->pendingLink.pendingAddress, address);
        QCOMPARE(f->pendingLink.pendingBaudRate, pendingBaud);
        QCOMPARE(f->pendingLink.pendingParity, parity);
        QCOMPARE(f->pendingLink.pendingByteOrder, byteOrder);
    }

    void valuesOutsideTheListsShowTheFallbackEntries() {
        FormFixture f;
        StopTimers(*f);
        f->linkSettings.portNumber = 9;
        f->linkSettings.baudRate = 14400;
        f->ShowLinkSettings(0);
        QCOMPARE(f->ComboBox1->currentText(), QStringLiteral("COM 1"));
        QCOMPARE(f->ComboBox2->currentText(), QStringLiteral("19200"));
        QCOMPARE(f->Label1->text(), QStringLiteral("COM9, 14400"));
        QCOMPARE(f->linkSettings.baudRate, 14400); // the port keeps the stored rate until a collect
        f->CollectLinkSettings(0);
        QCOMPARE(f->linkSettings.baudRate, 19200);
        QCOMPARE(f->linkSettings.portNumber, 1);
    }

    void collectingWithNothingSelectedKeepsTheValues() {
        FormFixture f;
        StopTimers(*f);
        f->linkSettings.address = 300; // selects nothing in the address lists
        f->ShowLinkSettings(0);
        QCOMPARE(f->ComboBox3->currentIndex(), -1);
        f->ComboBox2->setCurrentIndex(-1);
        f->CollectLinkSettings(0);
        QCOMPARE(f->linkSettings.address, 300);
        QCOMPARE(f->linkSettings.baudRate, 19200); // no rate selected stands for 19200
    }

    void guardMakesShowAndCollectDoNothing() {
        FormFixture f;
        StopTimers(*f);
        f->uiBusy = 1;
        f->linkSettings.address = 44;
        f->ShowLinkSettings(f->uiBusy);
        QCOMPARE(f->ComboBox3->currentIndex(), 1);
        f->ComboBox3->setCurrentIndex(77);
        f->CollectLinkSettings(f->uiBusy);
        QCOMPARE(f->linkSettings.address, 44);
        QCOMPARE(f->uiBusy, 1);

        // Ticking the trace box from code raises its handler, which the guard turns into nothing.
        f->CheckBox7->setChecked(!f->CheckBox7->isChecked());
        QCOMPARE(f->linkSettings.traceEnabled, f->CheckBox7->isChecked() ? 0 : 1);
        f->uiBusy = 0;
        f->CheckBox7->setChecked(!f->CheckBox7->isChecked());
        QCOMPARE(f->linkSettings.traceEnabled, f->CheckBox7->isChecked() ? 1 : 0);
    }

    void addressChangeKeepsThePortAndOtherChangesReopenIt() {
        FormFixture f;
        StopTimers(*f);
        const size_t opened = f.port->opens.size();

        f->ComboBox3->setCurrentIndex(12);
        f->ComboBox3Change();
        QCOMPARE(f.port->opens.size(), opened);
        QCOMPARE(f->linkSettings.address, 12);
        QCOMPARE(f->pendingLink.pendingAddress, 12);
        QCOMPARE(f->ComboBox9->currentIndex(), 12);

        f.port->calls.clear();
        f->ComboBox1->setCurrentIndex(4);
        f->ComboBox1Change();
        QCOMPARE(f.port->opens.size(), opened + 1);
        QCOMPARE(f.port->opens.back().path, FakePortPath(5));
        QCOMPARE(f.port->calls.front(), std::string("close"));
        QCOMPARE(f->Label1->text(), QStringLiteral("COM5, 19200"));

        f->ComboBox2->setCurrentIndex(3);
        f->ComboBox2Change();
        QCOMPARE(f.port->opens.size(), opened + 2);
        QCOMPARE(f.port->opens.back().line.baudRate, 9600);
        QCOMPARE(f->pendingLink.pendingBaudRate, 9600);
        QCOMPARE(f->ComboBox10->currentText(), QStringLiteral("9600"));

        f->ComboBox10->setCurrentIndex(0);
        f->ComboBox14->setCurrentIndex(0);
        f->ComboBox14Change();
        QCOMPARE(f.port->opens.size(), opened + 3);
        QCOMPARE(f.port->opens.back().line.parity, 0);
        QCOMPARE(f->pendingLink.pendingParity, 0);
        QCOMPARE(f->pendingLink.pendingBaudRate, 9600);
        QCOMPARE(f.port->raiseLinesCalls, 1); // only at start-up

        // Picking the same port again reopens it too.
        emit f->ComboBox1->activated(f->ComboBox1->currentIndex());
        QCOMPARE(f.port->opens.size(), opened + 4);
    }

    void leavingAPageActsOnThePageLeft() {
        FormFixture f;
        StopTimers(*f);
        f->show();

        f->TabbedNotebook1->setCurrentIndex(0);
        f->Timer1->setInterval(5);
        f->TabbedNotebook1->setCurrentIndex(1); // leaves page 0
        QCOMPARE(f->Timer1->interval(), 1000);

        const QList<QWidget*> sensor{f->Edit1,     f->Edit2,     f->Edit3,     f->Edit4,     f->Edit5,
                                     f->Edit6,     f->Edit7,     f->ComboBox4, f->ComboBox5, f->ComboBox6,
                                     f->ComboBox7, f->ComboBox8, f->ComboBox11};
        for (QWidget* control : sensor)
            TForm1::SetEdited(control);
        f->TabbedNotebook1->setCurrentIndex(2); // leaves page 1
        for (QWidget* control : sensor)
            QCOMPARE(TForm1::ColorOf(control), White);

        // Choices on page 2 that were not written are dropped when it is left.
        f->linkSettings.address = 5;
        f->linkSettings.parity = 2;
        f->linkSettings.byteOrder = 1;
        f->pendingLink.pendingBaudRate = 38400;
        const QList<QComboBox*> link{f->ComboBox9, f->ComboBox10, f->ComboBox15, f->ComboBox16};
        f->ComboBox9->setCurrentIndex(99);
        f->ComboBox10->setCurrentIndex(0);
        f->ComboBox15->setCurrentIndex(0);
        f->ComboBox16->setCurrentIndex(3);
        for (QWidget* control : link)
            TForm1::SetEdited(control);
        f->uiBusy = 1; // the page change shows the link whatever the guard says
        f->TabbedNotebook1->setCurrentIndex(3);
        QCOMPARE(f->ComboBox9->currentIndex(), 5);
        QCOMPARE(f->ComboBox10->currentText(), QStringLiteral("38400"));
        QCOMPARE(f->ComboBox15->currentIndex(), 2);
        QCOMPARE(f->ComboBox16->currentIndex(), 1);
        for (QWidget* control : link)
            QCOMPARE(TForm1::ColorOf(control), White);

        // Leaving page 3 changes nothing.
        TForm1::SetEdited(f->ComboBox9);
        f->ComboBox9->setCurrentIndex(50);
        f->TabbedNotebook1->setCurrentIndex(4);
        QCOMPARE(TForm1::ColorOf(f->ComboBox9), Aqua);
        QCOMPARE(f->ComboBox9->currentIndex(), 50);
    }

    void closingSavesOnClosingAndAgainOnDestruction() {
        FormFixture f;
        StopTimers(*f);
        f->show();
        f->ComboBox3->setCurrentIndex(23);
        f->close();
        QCOMPARE(f->formCloseRuns, 1);
        QVERIFY(!f.port->isOpen());
        const QString devDat = f.dir().filePath("dev.dat");
        QCOMPARE(IniValue(devDat, "NetAdrr"), QStringLiteral("23"));

        f->close(); // a second close runs nothing
        QCOMPARE(f->formCloseRuns, 1);
        QCOMPARE(f->formDestroyRuns, 0);

        QFile::remove(devDat);
        f.form.reset();
        QCOMPARE(IniValue(devDat, "NetAdrr"), QStringLiteral("23"));
        QVERIFY(f.boxes.boxes.empty());
    }

    void windowThatNeverStartedSavesNothing() {
        FormFixture f(FormFixture::WithoutFormCreate());
        f->close();
        f.form.reset();
        QVERIFY(!QFile::exists(f.dir().filePath("dev.dat")));
    }

    void refusedSettingsWriteAtExitIsShownOnce() {
        FormFixture f;
        StopTimers(*f);
        QFile::remove(f.dir().filePath("dev.dat"));
        f.dir().mkdir("dev.dat");
        f->close();
        f.form.reset();
        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        QCOMPARE(f.boxes.boxes[0].caption, QStringLiteral("Ошибка"));
        QCOMPARE(f.boxes.boxes[0].icon, olv::messages::BoxIcon::Warning);
    }

    void pauseWaitsAndKeepsHandlingEvents() {
        FormFixture f;
        StopTimers(*f);
        bool queuedRan = false;
        QTimer::singleShot(0, [&] { queuedRan = true; });
        QElapsedTimer clock;
        clock.start();
        f->Pause(100);
        QVERIFY(clock.elapsed() >= 100);
        QVERIFY(queuedRan);
        QVERIFY(!f->Timer5->isActive());
    }

    void pauseInsidePauseEndsBoth() {
        FormFixture f;
        StopTimers(*f);
        QElapsedTimer inner;
        qint64 innerTook = -1;
        QTimer::singleShot(30, [&] {
            inner.start();
            f->Pause(100);
            innerTook = inner.elapsed();
        });
        QElapsedTimer outer;
        outer.start();
        f->Pause(100);
        QVERIFY(outer.elapsed() >= 100);
        QVERIFY(innerTook >= 100);
        QVERIFY(!f->Timer5->isActive());
    }

    void exceptionEscapingAHandlerIsDropped() {
        FormFixture f;
        StopTimers(*f);
        f->show();
        int runs = 0;
        connect(f->Button9, &QPushButton::clicked, f.form.get(), [&] {
            ++runs;
            throw std::runtime_error("not a number");
        });
        QTest::mouseClick(f->Button9, Qt::LeftButton);
        QTest::mouseClick(f->Button9, Qt::LeftButton);
        QCOMPARE(runs, 2);
        QVERIFY(f.boxes.boxes.empty());

        Throwing target;
        QEvent failing(QEvent::User);
        QCoreApplication::sendEvent(&target, &failing);
        QEvent next(static_cast<QEvent::Type>(QEvent::User + 1));
        QCoreApplication::sendEvent(&target, &next);
        QVERIFY(target.handled);
        QVERIFY(f.boxes.boxes.empty());
    }

    void signalClosesAnOpenBoxThenTheWindow() {
        FormFixture::Options options;
        options.qtBoxes = true;
        FormFixture f(options);
        StopTimers(*f); // no start-up read: its boxes would wait for a user
        f->show();
        CloseSignals closer([&](int) { f->CloseBySignal(); });
        QVERIFY(closer.installed());

        QTimer::singleShot(50, [] { ::raise(SIGTERM); });
        olv::messages::Box question{QStringLiteral("Записать?"), QStringLiteral("Подтвердите действие"),
                                olv::messages::BoxIcon::Warning, olv::messages::BoxButtons::YesNo, QString()};
        QCOMPARE(f->boxes->show(question), olv::messages::BoxAnswer::No);
        QTRY_COMPARE(f->formCloseRuns, 1);
        QVERIFY(!f->isVisible());
        QVERIFY(!f.port->isOpen());
        // While closing no further box waits for an answer.
        QCOMPARE(f->boxes->show(question), olv::messages::BoxAnswer::No);
    }

    void questionBoxButtonsAreRussian() {
        FormFixture::Options options;
        options.qtBoxes = true;
        FormFixture f(options);
        StopTimers(*f);
        f->show();
        QStringList buttons;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            poll.stop();
            for (const QMessageBox::StandardButton which : {QMessageBox::Yes, QMessageBox::No})
                buttons << box->button(which)->text().remove(u'&');
            box->button(QMessageBox::No)->click();
        });
        poll.start(20);
        olv::messages::Box question{QStringLiteral("Записать?"), QStringLiteral("Подтвердите действие"),
                                olv::messages::BoxIcon::Warning, olv::messages::BoxButtons::YesNo, QString()};
        QCOMPARE(f->boxes->show(question), olv::messages::BoxAnswer::No);
        QCOMPARE(buttons, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
    }
};

OLV_UI_TEST_MAIN(FormLifecycleTest)
#include "form_lifecycle_test.moc"
