// The search page: a search over the virtual instrument's line, picking a found instrument, the typed
// address rule, stopping.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "device/live_value.h"
#include "settings/ini_file.h"
#include "ui/widgets/caption_panel.h"

#include <QProgressBar>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>

using olv::test::FormFixture;
using olv::test::SimFormFixture;
using olv::test::WriteCrlfFile;

namespace {

// dev.dat for a link at this rate, even parity and address, with a short reply time-out so that a
// search over silent addresses stays quick.
std::function<void(const QDir&)> Station(int baudRate, int address) {
    return [=](const QDir& dir) {
        WriteCrlfFile(dir.filePath("dev.dat"),
                      {"[COM_SETTINGS]", "Number=1", QStringLiteral("Settings=%1,E,8,2").arg(baudRate),
                       "[DEVICE]", "EnableNetAdrr=1", QStringLiteral("NetAdrr=%1").arg(address), "[SETTINGS]",
                       "NOfReadings=2", "TimeOut=100", "[LOG]", "UseLogFile=0", "LogFileName=COM.txt",
                       "[REG]", "RegFileName=REG.txt"});
    };
}

// Ticks exactly the given rate and parity boxes of the search page.
void Tick(TForm1& form, std::initializer_list<QCheckBox*> ticked) {
    for (QCheckBox* box : {form.CheckBox1, form.CheckBox2, form.CheckBox3, form.CheckBox4, form.CheckBox5,
                           form.CheckBox6, form.CheckBox8, form.CheckBox9, form.CheckBox10})
        box->setChecked(std::find(ticked.begin(), ticked.end(), box) != ticked.end());
}

QStringList ListLines(const QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

// One live read through the window's port with its link settings.
bool LiveReadSucceeds(TForm1& form) {
    uint8_t exceptionCode = 0;
    const auto flags =
        olv::device::ReadLiveValue(form.master, form.linkSettings.byteOrder, form.live().live, exceptionCode);
    return olv::link::Succeeded(flags, exceptionCode);
}

} // namespace

class SearchPageTest : public QObject {
    Q_OBJECT

  private slots:
    void searchListsTheInstrumentsAndAPickedOneIsReached() {
        SimFormFixture::Options options;
        options.simArgs = {"--quiet",
                           "--instrument",
                           "addr=3,baud=9600,parity=E,serial=333",
                           "--instrument",
                           "addr=5,baud=19200,parity=O,serial=555",
                           "--instrument",
                           "addr=2,baud=38400,parity=N,serial=222"};
        options.prepare = Station(9600, 3);
        SimFormFixture f(options);
        QVERIFY(f.started());
        f.settle();
        QCOMPARE(f.boxes.boxes.size(), size_t(0));
        f->TabbedNotebook1->setCurrentIndex(3);

        // Addresses typed as plain numbers (the entries read "  2"); the line carries no parity, so
        // an instrument answers at each parity ticked.
        Tick(*f, {f->CheckBox4, f->CheckBox5, f->CheckBox6, f->CheckBox9, f->CheckBox10});
        f->ComboBox12->setEditText("2");
        f->ComboBox13->setEditText("5");
        f->Button4->click();

        QCOMPARE(ListLines(f->ListBox1), (QStringList{
                                             // each with the model and serial number it was asked
                                             "Скорость 9600 нечёт. пар. Сет. номер 3, модель 150, зав. № 333",
                                             "Скорость 9600 чет. пар. Сет. номер 3, модель 150, зав. № 333",
                                             "Скорость 19200 нечёт. пар. Сет. номер 5, модель 150, зав. № 555",
                                             "Скорость 19200 чет. пар. Сет. номер 5, модель 150, зав. № 555",
                                             "Скорость 38400 нечёт. пар. Сет. номер 2, модель 150, зав. № 222",
                                             "Скорость 38400 чет. пар. Сет. номер 2, модель 150, зав. № 222",
                                         }));
        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("Процедура поиска завершена."));
        QCOMPARE(f.boxes.boxes[0].caption, QStringLiteral("Ход поиска"));
        QCOMPARE(f->Panel2->caption(), QStringLiteral("Поиск окончен. Найдено приборов: 6"));
        // The bar counted every probe: 3 rates, 4 addresses, 2 parities.
        QCOMPARE(f->ProgressBar4->maximum(), 24);
        QCOMPARE(f->ProgressBar4->value(), 24);
        QVERIFY2(f->ProgressBar4->format().startsWith(QStringLiteral("Проверено 24 из 24, найдено 6, осталось около ")),
                 qPrintable(f->ProgressBar4->format()));
        QVERIFY(!f->Button5->isEnabled());
        QCOMPARE(f->search().searchSettings.firstAddress, 2);
        QCOMPARE(f->search().searchSettings.lastAddress, 5);

        // The link is as before the search and reaches its instrument again.
        QCOMPARE(f->linkSettings.address, 3);
        QCOMPARE(f->linkSettings.parity, 2);
        QCOMPARE(f->linkSettings.baudRate, 9600);
        QVERIFY(f->ComboBox1->isEnabled() && f->Button4->isEnabled());
        QVERIFY(LiveReadSucceeds(*f));

        // Picking the odd-parity instrument at 19200 with the keyboard (the line chosen, then Enter)
        // takes its address, rate and parity.
        f->ListBox1->setCurrentRow(2);
        QTest::keyClick(f->ListBox1, Qt::Key_Return);
        QCOMPARE(f->linkSettings.address, 5);
        QCOMPARE(f->linkSettings.baudRate, 19200);
        QCOMPARE(f->linkSettings.parity, 1);
        QCOMPARE(f->ComboBox3->currentIndex(), 5);
        QCOMPARE(f->ComboBox2->currentIndex(), 4);
        QCOMPARE(f->ComboBox14->currentIndex(), 1);
        QCOMPARE(f->ComboBox9->currentIndex(), 5);
        QCOMPARE(f->ComboBox10->currentIndex(), 4);
        QCOMPARE(f->ComboBox15->currentIndex(), 1);
        QVERIFY(LiveReadSucceeds(*f));
        QCOMPARE(f.boxes.boxes.size(), size_t(1));

        // A search starts again with an empty list.
        Tick(*f, {f->CheckBox1, f->CheckBox8});
        f->Button4->click();
        QCOMPARE(f->ListBox1->count(), 0);
        QCOMPARE(f->linkSettings.address, 5);
    }

    void stopEndsTheSearchAtItsNextLook() {
        SimFormFixture::Options options;
        options.simArgs = {"--quiet"};
        options.prepare = Station(19200, 1);
        SimFormFixture f(options);
        QVERIFY(f.started());
        f.settle();
        f->TabbedNotebook1->setCurrentIndex(3);
        Tick(*f, {f->CheckBox5, f->CheckBox10});
        f->ComboBox12->setCurrentIndex(1);
        f->ComboBox13->setCurrentIndex(200);
        QVERIFY(!f->Button5->isEnabled()); // no search to stop yet
        QString progressDuringBox;
        f.boxes.whileShown = [&](const olv::messages::Box&) { progressDuringBox = f->Panel2->caption(); };

        // The stop is clicked while the search processes messages after its first address; the
        // link controls are disabled then, the rest of the window is not.
        QList<QWidget*> enabledDuring;
        // So are a pick in the found list and the other pages' commands.
        QList<QWidget*> linkControls{
            f->CheckBox1,  f->CheckBox2,  f->CheckBox3,  f->CheckBox4,  f->CheckBox5,  f->CheckBox6,
            f->CheckBox7,  f->CheckBox8,  f->CheckBox9,  f->CheckBox10, f->ComboBox1,  f->ComboBox2,
            f->ComboBox3,  f->ComboBox12, f->ComboBox13, f->ComboBox14, f->ComboBox15, f->ComboBox16,
            f->ComboBox17, f->Button4,    f->ListBox1,   f->Button1,    f->Button3,    f->Button9};
        QList<QWidget*> others{f->Button5, f->Edit2, f->TabbedNotebook1};
        QTimer::singleShot(0, f->Button5, [&] {
            for (QWidget* control : linkControls + others)
                if (control->isEnabled()) enabledDuring << control;
            f->Button5->click();
        });
        f->Button4->click();

        QCOMPARE(enabledDuring, others);
        QCOMPARE(ListLines(f->ListBox1),
                 QStringList{"Скорость 19200 чет. пар. Сет. номер 1, модель 150, зав. № 123456"});
        // Address 2 is not probed: the stop is seen at the skipped "no parity" step before its probe.
        // When the box says so the progress line is gone and there is nothing left to stop.
        QCOMPARE(progressDuringBox, QStringLiteral("Поиск окончен. Найдено приборов: 1"));
        QVERIFY(!f->Button5->isEnabled());
        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("Процедура поиска завершена пользователем."));
        QCOMPARE(f->search().searchRunning, 0);
        QCOMPARE(f->linkSettings.address, 1);
        for (QWidget* control : linkControls)
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
        QVERIFY(LiveReadSucceeds(*f));
    }

    // Closing during a search over a silent line stops it as "Остановить" does, then closes; the
    // settings saved are the link from before the search.
    void closingDuringASearchStopsItAndCloses() {
        SimFormFixture::Options options;
        options.simArgs = {"--quiet"};
        options.prepare = Station(19200, 1);
        SimFormFixture f(options);
        QVERIFY(f.started());
        f.settle();
        f->TabbedNotebook1->setCurrentIndex(3);
        Tick(*f, {f->CheckBox5, f->CheckBox10});
        f->ComboBox12->setCurrentIndex(2); // nobody answers at 2..255
        f->ComboBox13->setCurrentIndex(255);

        QElapsedTimer sinceClose;
        QTimer::singleShot(300, f.form.get(), [&] {
            sinceClose.start();
            f->CloseBySignal();
        });
        f->Button4->click();
        QTRY_COMPARE_WITH_TIMEOUT(f->formCloseRuns, 1, 5000);
        // The program ends within two seconds of the close.
        QVERIFY2(sinceClose.elapsed() < 2000, qPrintable(QString::number(sinceClose.elapsed())));

        QCOMPARE(f->search().searchRunning, 0);
        QCOMPARE(f->linkSettings.address, 1);
        QCOMPARE(f->linkSettings.parity, 2);
        olv::settings::IniFile station(f.dir().filePath("dev.dat"));
        QCOMPARE(station.readString("DEVICE", "NetAdrr", {}), QString("1"));
        QVERIFY(station.readString("COM_SETTINGS", "Settings", {}).startsWith("19200,E"));
    }

    void textThatIsNoAddressStartsNoSearch_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("named");
        QTest::newRow("letters") << "abc"
                                 << "5"
                                 << "Начальный";
        QTest::newRow("too large") << "256"
                                   << "5"
                                   << "Начальный";
        QTest::newRow("negative") << "-1"
                                  << "5"
                                  << "Начальный";
        QTest::newRow("blank end") << "1"
                                   << " "
                                   << "Конечный";
        QTest::newRow("fraction end") << "1"
                                      << "4.5"
                                      << "Конечный";
    }

    void textThatIsNoAddressStartsNoSearch() {
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, named);
        FormFixture f;
        for (QTimer* timer : {f->Timer1, f->Timer2, f->Timer3, f->Timer4, f->Timer5})
            timer->stop();
        const size_t opensBefore = f.port->opens.size();
        f->ComboBox12->setEditText(first);
        f->ComboBox13->setEditText(last);
        f->Button4->click();

        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        QCOMPARE(f.boxes.boxes[0].caption, QStringLiteral("Ход поиска"));
        QVERIFY(f.boxes.boxes[0].text.startsWith(named));
        QCOMPARE(f->search().searchRunning, 0);
        QCOMPARE(f.port->opens.size(), opensBefore);
        QVERIFY(f.port->written.empty());
        QCOMPARE(f->search().searchSettings.firstAddress, 1); // as loaded; nothing was collected
        QVERIFY(f->Button4->isEnabled());
    }
};

OLV_UI_TEST_MAIN(SearchPageTest)
#include "search_page_test.moc"
