// The instrument the window shows: another address, port or serial number takes every page's data,
// the live value, the health line's counts and the trend's current line away from the new one, with a
// note of whom they were read from; the trend keeps the old line, named, in another colour.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"
#include "ui/pages/monitor/line_monitor_page.h"

#include "ui/widgets/caption_panel.h"
#include "ui/widgets/trend_chart.h"
#include "ui/window/shown_instrument.h"

#include <QComboBox>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QPen>
#include <QTabWidget>
#include <QTimer>

using olv::test::SimFormFixture;

namespace {

// Two meters on one line, at addresses 1 and 2, with serial numbers of their own.
SimFormFixture::Options TwoMeters() {
    SimFormFixture::Options options;
    options.simArgs = {"--quiet", "--instrument", "addr=1,serial=111111,text=Meter one", "--instrument",
                       "addr=2,serial=222222,text=Meter two"};
    return options;
}

// Started, the start-up read done (meter 1), on the live page with two readings in the trend.
void StartAndPoll(SimFormFixture& f) {
    QVERIFY(f.started());
    f->Timer1->stop();
    f.settle();
    QCOMPARE(f.boxes.boxes.size(), size_t(0));
    f->TabbedNotebook1->setCurrentIndex(0);
    f->live().Timer1Timer();
    f->live().Timer1Timer();
    QCOMPARE(f->live().liveTrend.points().size(), size_t(2));
    QCOMPARE(f->Edit4->text(), QStringLiteral("111111"));
}

// Nothing of the old meter is shown as the new one's: every field back to "Данных нет", the value
// blank, the counts zero, the trend's current line empty; the old line named in the legend.
void ExpectForgotten(SimFormFixture& f, const QString& oldName) {
    for (QLineEdit* field : {f->Edit5, f->Edit1, f->Edit2, f->Edit3, f->Edit4, f->Edit8, f->Edit9, f->Edit10,
                             f->Edit11})
        QCOMPARE(field->text(), QStringLiteral("Данных нет"));
    QCOMPARE(f->Edit6->text(), QStringLiteral(" Данных нет"));
    QCOMPARE(f->Edit7->text(), QStringLiteral(" Данных нет"));
    for (QComboBox* list : {f->ComboBox4, f->ComboBox5, f->ComboBox6, f->ComboBox7, f->ComboBox8, f->ComboBox11})
        QCOMPARE(list->currentIndex(), -1);
    // Each page says what it showed: of whom, read when (the window's clock: 2 March, 10:00).
    const QString note = oldName + QStringLiteral(" — прочитано 10:00");
    for (QLabel* label : {f->shown().Label53, f->shown().Label55, f->Label51}) {
        QVERIFY2(!label->isHidden(), qPrintable(label->objectName()));
        QCOMPARE(label->text(), note);
    }
    QCOMPARE(f->Panel1->caption(), QStringLiteral(" "));
    QVERIFY2(f->Label52->text().contains(QStringLiteral("запросов 0, ответов 0")), qPrintable(f->Label52->text()));

    QVERIFY(f->live().liveTrend.points().empty());
    QCOMPARE(f->Label40->text(), QStringLiteral("Данных нет"));
    TrendChart& chart = *f->Chart1;
    QCOMPARE(chart.lines().size(), size_t(0));
    QCOMPARE(chart.earlierLines().size(), size_t(1));
    QCOMPARE(chart.earlierLines().front()->name(), oldName);
    QCOMPARE(chart.earlierLines().front()->count(), 2);
    QVERIFY(chart.chart()->legend()->isVisible());
}

} // namespace

class ShownInstrumentTest : public QObject {
    Q_OBJECT

  private slots:
    void anotherAddressForgetsEveryPageAndKeepsTheOldTrendNamed() {
        SimFormFixture f(TwoMeters());
        StartAndPoll(f);
        f->ComboBox3->setCurrentIndex(2);
        f->ComboBox3Change();
        ExpectForgotten(f, QStringLiteral("прибор 1, COM1, зав. № 111111"));

        // Meter 2's readings are a line of their own, in another colour; its figures are its own.
        QVERIFY(f.sim.command("value 7").rfind("ok", 0) == 0);
        f->live().Timer1Timer();
        TrendChart& chart = *f->Chart1;
        QCOMPARE(chart.lines().size(), size_t(1));
        QCOMPARE(chart.lines().front()->count(), 1);
        QVERIFY(chart.lines().front()->pen().color() != chart.earlierLines().front()->pen().color());
        for (QLegendMarker* marker : chart.chart()->legend()->markers(chart.lines().front()))
            QVERIFY(!marker->isVisible()); // only the earlier line is named
        QCOMPARE(f->live().liveTrend.stats().count, size_t(1));
        QVERIFY(f->Label51->isHidden()); // a reading of meter 2 is shown now
        QVERIFY(f->Label52->text().contains(QStringLiteral("запросов 1, ответов 1")));

        // Reading meter 2 fills the sensor page again, its note gone; the text page keeps its note.
        f->TabbedNotebook1->setCurrentIndex(1);
        f->sensor().Button2Click();
        QCOMPARE(f->Edit4->text(), QStringLiteral("222222"));
        QVERIFY(f->shown().Label53->isHidden());
        QVERIFY(!f->shown().Label55->isHidden());
        QCOMPARE(f->Edit8->text(), QStringLiteral("Данных нет"));
    }

    void anotherPortForgetsEveryPageButKeepsEditsNotYetWritten() {
        SimFormFixture f(TwoMeters());
        StartAndPoll(f);
        f->TabbedNotebook1->setCurrentIndex(4);
        f->Edit8->setText(QStringLiteral("Новый текст"));
        f->text().Edit8Change();
        f->TabbedNotebook1->setCurrentIndex(0);
        f->ComboBox1->setCurrentIndex(1); // COM2 (in the fixture it leads to the same line)
        f->ComboBox1Change();

        // The text typed is the user's: it stays, and the note says whose the rest of the page was.
        QCOMPARE(f->Edit8->text(), QStringLiteral("Новый текст"));
        QCOMPARE(f->shown().Label55->text(),
                 QStringLiteral("прибор 1, COM1, зав. № 111111 — прочитано 10:00; поля изменены и не записаны"));
        QCOMPARE(f->Edit4->text(), QStringLiteral("Данных нет"));
        QCOMPARE(f->shown().Label53->text(), QStringLiteral("прибор 1, COM1, зав. № 111111 — прочитано 10:00"));
        QCOMPARE(f->Chart1->earlierLines().size(), size_t(1));
        QVERIFY(f->live().liveTrend.points().empty());

        // Back to COM1: a third instrument as far as the window knows (its serial number is not read
        // again yet), so the COM2 series, empty, leaves no line; COM1's old one is still named.
        f->ComboBox1->setCurrentIndex(0);
        f->ComboBox1Change();
        f->live().Timer1Timer();
        QCOMPARE(f->Chart1->lines().size(), size_t(1));
        QCOMPARE(f->Chart1->earlierLines().size(), size_t(1));
    }

    void aReadOfAnotherSerialNumberForgetsTheOtherPages() {
        SimFormFixture::Options options;
        options.simArgs = {"--quiet", "--set", "serial=111111", "--set", "text=Meter one"};
        SimFormFixture f(options);
        StartAndPoll(f);
        // The meter at address 1 is swapped for another one between two reads.
        QVERIFY(f.sim.command("set serial=333333").rfind("ok", 0) == 0);
        f->TabbedNotebook1->setCurrentIndex(1);
        f->sensor().Button2Click();

        // The sensor page shows the new meter (it was just read from it); the rest is forgotten.
        QCOMPARE(f->Edit4->text(), QStringLiteral("333333"));
        QVERIFY(f->shown().Label53->isHidden());
        QCOMPARE(f->Edit8->text(), QStringLiteral("Данных нет"));
        QCOMPARE(f->shown().Label55->text(), QStringLiteral("прибор 1, COM1, зав. № 111111 — прочитано 10:00"));
        QCOMPARE(f->Chart1->earlierLines().size(), size_t(1));
        QCOMPARE(f->Chart1->earlierLines().front()->name(), QStringLiteral("прибор 1, COM1, зав. № 111111"));
        QVERIFY(f->live().liveTrend.points().empty());
        QCOMPARE(f->ShownIdentity().serial, std::optional<int32_t>(333333));

        // Reading the same meter again changes nothing.
        f->sensor().Button2Click();
        QCOMPARE(f->Chart1->earlierLines().size(), size_t(1));
        QCOMPARE(f->Edit8->text(), QStringLiteral("Данных нет"));
    }

    void ownExchangesAreCountedPerPort() {
        SimFormFixture f(TwoMeters());
        StartAndPoll(f);
        olv::monitor::Capture* com1 = f->monitor().capture.get();
        QVERIFY(com1);
        const int64_t com1Rows = com1->endSequence();
        QVERIFY(f->Label41->text().startsWith(
            QStringLiteral("Обмен программы через COM1 %1. ").arg(QString::fromStdString(f.sim.path()))));

        f->ComboBox1->setCurrentIndex(1);
        f->ComboBox1Change();
        f->live().Timer1Timer();
        QVERIFY(f->monitor().capture.get() != com1);
        QCOMPARE(f->monitor().capture->counters().total.frames, int64_t(2)); // one poll: request and reply
        QVERIFY(f->Label41->text().startsWith(QStringLiteral("Обмен программы через COM2 ")));

        f->ComboBox1->setCurrentIndex(0);
        f->ComboBox1Change();
        f->live().Timer1Timer();
        QCOMPARE(f->monitor().capture.get(), com1); // COM1's table again, with what it had
        QCOMPARE(f->monitor().capture->endSequence(), com1Rows + 2);
    }
};

OLV_UI_TEST_MAIN(ShownInstrumentTest)
#include "shown_instrument_test.moc"
