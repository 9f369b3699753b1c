// The window against the virtual instrument: the start-up read reaches it over a real pseudo-terminal.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include <QComboBox>
#include <QFile>
#include <QTabWidget>
#include <QTimer>

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
        const uint64_t requestsBefore = form->linkCounters.requests;

        int ticks = 0;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&ticks] { ++ticks; });
        probe.start(10);
        form->Timer1->start(20);
        QTimer::singleShot(100, form.form.get(), [&form] { form->CloseBySignal(); });
        form->PollLiveValue();
        form->Timer1->stop();
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
        QCOMPARE(form->linkCounters.requests, requestsBefore + 1);
        QCOMPARE(form->formCloseRuns, 0);
        QTRY_COMPARE(form->formCloseRuns, 1);
        QFile station(form.dir().filePath("dev.dat"));
        QVERIFY(station.open(QIODevice::ReadOnly));
        QVERIFY(station.readAll().contains("NetAdrr=9"));
    }
};

OLV_UI_TEST_MAIN(SimWindowTest)
#include "sim_window_test.moc"
