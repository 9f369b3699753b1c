// The window against the virtual instrument: the start-up read reaches it over a real pseudo-terminal.
#include "tests/support/flood_gateway.h"
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"
#include "ui/window/line_waiter.h"
#include "ui/window/link_health_line.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTabWidget>
#include <QTimer>

#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using olv::test::SimFormFixture;

class SimWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void startUpReadReachesTheInstrument() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        QCOMPARE(form.boxes.boxes.size(), size_t(0));
        QCOMPARE(form->pollEnabled, 1);
        QCOMPARE(form->image.moduleModel, uint16_t(256));
        QCOMPARE(form->image.moduleSoftware, uint16_t(107));
    }

    // Nobody answers at address 9: a poll waits out its time-out on the real port. Timers keep running
    // meanwhile, the live poll's own tick does not start a second transaction inside the first, and a
    // close by signal waits for the poll to end, then closes the window with the settings saved.
    void aPollThatWaitsKeepsTheWindowRunningAndHoldsACloseUntilItEnds() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        olv::test::StopTimers(*form);
        form->ComboBox3->setCurrentIndex(9);
        form->ComboBox3Change();
        form->TabbedNotebook1->setCurrentIndex(0);
        const uint64_t requestsBefore = form->healthLine().linkCounters.requests;

        int ticks = 0;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&ticks] { ++ticks; });
        probe.start(10);
        form->Timer1->start(20);
        QTimer::singleShot(100, form.form.get(), [&form] { form->CloseBySignal(); });
        form->live().PollLiveValue();
        form->Timer1->stop();
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
        QCOMPARE(form->healthLine().linkCounters.requests, requestsBefore + 1);
        QCOMPARE(form->formCloseRuns, 0);
        QTRY_COMPARE(form->formCloseRuns, 1);
        QFile station(form.dir().filePath("dev.dat"));
        QVERIFY(station.open(QIODevice::ReadOnly));
        QVERIFY(station.readAll().contains("NetAdrr=9"));
    }

    // A descriptor that is always ready, as a connection a gateway floods, never lets the waiter's
    // event loop run: each wait returns at once. The waiter runs the pending events itself, once its
    // clock says they last ran YieldInterval ago.
    void aWaitOnALineThatIsAlwaysReadyStillRunsTheEvents() {
        int pipe[2] = {-1, -1};
        QVERIFY(::pipe2(pipe, O_CLOEXEC) == 0);
        const char byte = 0;
        QVERIFY(::write(pipe[1], &byte, 1) == 1); // never read: readable for good
        LineWaiter waiter;
        auto now = std::make_shared<olv::link::WaitClock::time_point>(olv::link::WaitClock::now());
        waiter.setClock([now] { return *now; });
        const auto deadline = olv::link::WaitClock::now() + std::chrono::seconds(30);
        int ran = 0;
        for (int turn = 1; turn <= 3; ++turn) {
            QMetaObject::invokeMethod(
                &waiter, [&ran] { ++ran; }, Qt::QueuedConnection);
            QCOMPARE(waiter.wait(pipe[0], POLLIN, deadline), int(POLLIN));
            QCOMPARE(ran, turn);
            *now += LineWaiter::YieldInterval;
        }
        ::close(pipe[0]);
        ::close(pipe[1]);
    }

    // A Modbus TCP gateway floods the connection with well-formed replies of other transactions: the
    // poll waits out its time-out as for a silent line, the window's timers run all the while, and the
    // replies it passed over are counted on the health line with the broken ones, not as answers.
    void aGatewayFloodingOtherTransactionsNeitherHoldsTheWindowNorCountsAsAnswers() {
        olv::test::FloodingGateway flood;
        SimFormFixture::Options options;
        options.portPath = flood.path();
        SimFormFixture form(options);
        QVERIFY(form.started());
        olv::test::StopTimers(*form); // no start-up read: the poll below is the only transaction
        QVERIFY(form->portLink.port().isOpen());
        form->pollEnabled = 1;
        form->TabbedNotebook1->setCurrentIndex(0);

        int ticks = 0;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&ticks] { ++ticks; });
        probe.start(10);
        QElapsedTimer took;
        took.start();
        form->live().PollLiveValue();
        const qint64 ms = took.elapsed();
        probe.stop();
        flood.stop();
        QVERIFY2(ms >= 300 && ms < 3000, qPrintable(QString::number(ms)));
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
        QCOMPARE(form->healthLine().linkCounters.requests, uint64_t(1));
        QCOMPARE(form->healthLine().linkCounters.answers, uint64_t(0));
        QCOMPARE(form->healthLine().linkCounters.noReply, uint64_t(1));
        QVERIFY2(form->healthLine().linkCounters.crcErrors >= 10, qPrintable(form->Label52->text()));
        QVERIFY2(form->Label52->text().contains(
                     QStringLiteral("ответов 0, без ответа 1, CRC %1,").arg(form->healthLine().linkCounters.crcErrors)),
                 qPrintable(form->Label52->text()));
    }
};

OLV_UI_TEST_MAIN(SimWindowTest)
#include "sim_window_test.moc"
