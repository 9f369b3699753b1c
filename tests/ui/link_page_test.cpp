// The communication settings page against the virtual instrument: the instrument changes its address,
// rate, parity and byte order, and the program follows it.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "records/journal.h"
#include "settings/ini_file.h"
#include "ui/widgets/caption_panel.h"

#include <QComboBox>
#include <QProgressBar>
#include <QTabWidget>
#include <QTest>

#include <map>

using olv::messages::BoxAnswer;
using olv::test::SimFormFixture;

namespace {

// A pick in the list as the user makes it: the entry, then the list's change event.
void Pick(QComboBox* box, int entry) {
    box->setCurrentIndex(entry);
    emit box->activated(entry);
}

const QColor Aqua(0, 255, 255);

} // namespace

class LinkPageTest : public QObject {
    Q_OBJECT

  private slots:
    void instrumentAndProgramSwitchTogether() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        form->TabbedNotebook1->setCurrentIndex(2);
        Pick(form->ComboBox9, 17);
        Pick(form->ComboBox10, 5);
        Pick(form->ComboBox16, 3);
        QCOMPARE(TForm1::ColorOf(form->ComboBox9), Aqua);
        QCOMPARE(TForm1::ColorOf(form->ComboBox16), Aqua);
        form->link().Button1Click();

        QCOMPARE(form.boxes.boxes.size(), size_t(2));
        QCOMPARE(form.boxes.boxes[0].text, QString("Вы хотите сменить параметры связи?"));
        QCOMPARE(form.boxes.boxes[1].text, QString("Параметры связи записаны"));
        QCOMPARE(form.boxes.boxes[1].caption, QString("Результат операции"));
        QVERIFY(form->Panel4->isHidden());
        for (QComboBox* box : {form->ComboBox9, form->ComboBox10, form->ComboBox15, form->ComboBox16})
            QCOMPARE(TForm1::ColorOf(box), QColor(Qt::white));

        // The instrument answers only at its new address now.
        QCOMPARE(form.sim.reg(8), uint16_t(0x1105));
        QCOMPARE(form.sim.reg(11), uint16_t(3));
        QCOMPARE(form.sim.reg(1034), uint16_t(2));
        QCOMPARE(form->linkSettings.address, 17);
        QCOMPARE(form->linkSettings.baudRate, 38400);
        QCOMPARE(form->linkSettings.byteOrder, 3);
        QCOMPARE(form->ComboBox3->currentIndex(), 17);
        QCOMPARE(form->ComboBox2->currentText(), QString("38400"));

        // The program goes on talking to it; a configuration write sends the new byte order, not the
        // one read at start, and a read that follows succeeds.
        form->TabbedNotebook1->setCurrentIndex(1);
        form.boxes.boxes.clear();
        form->sensor().Button3Click();
        QCOMPARE(form.boxes.boxes.back().text, QString("Данные конфигурации записаны."));
        QCOMPARE(form.sim.reg(11), uint16_t(3));
        form.boxes.boxes.clear();
        form->sensor().Button2Click();
        QCOMPARE(form.boxes.boxes.size(), size_t(1));
        QCOMPARE(form.boxes.boxes[0].text, QString("Данные конфигурации прочитаны."));
        QCOMPARE(form->image.words[8], uint16_t(0x1105));
    }

    void failedByteOrderWriteChangesNothing() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        form->TabbedNotebook1->setCurrentIndex(2);
        Pick(form->ComboBox9, 17);
        Pick(form->ComboBox15, 0);
        Pick(form->ComboBox16, 1);
        QCOMPARE(form.sim.command("fault exception 4 once"), std::string("ok fault exception 4 once"));
        form->link().Button1Click();

        QCOMPARE(form.boxes.boxes.back().text, QString("Ошибка в работе адресуемого устройства."));
        QVERIFY(form->Panel4->isHidden());
        QCOMPARE(form.sim.reg(8), uint16_t(0x0104));
        QCOMPARE(form.sim.reg(11), uint16_t(0));
        QCOMPARE(form.sim.reg(1034), uint16_t(2));
        QCOMPARE(form->linkSettings.address, 1);
        QCOMPARE(form->linkSettings.baudRate, 19200);
        QCOMPARE(form->linkSettings.parity, 2);
        QCOMPARE(form->linkSettings.byteOrder, 0);
        QCOMPARE(TForm1::ColorOf(form->ComboBox16), Aqua);
    }

    void noPutsThePageBackToTheValuesInEffect() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        form->TabbedNotebook1->setCurrentIndex(2);
        Pick(form->ComboBox9, 17);
        Pick(form->ComboBox10, 0);
        Pick(form->ComboBox15, 1);
        Pick(form->ComboBox16, 2);
        form.boxes.answers.push_back(BoxAnswer::No);
        form->link().Button1Click();

        QCOMPARE(form.boxes.boxes.size(), size_t(1));
        QCOMPARE(form->ComboBox9->currentIndex(), 1);
        QCOMPARE(form->ComboBox10->currentText(), QString("19200"));
        QCOMPARE(form->ComboBox15->currentIndex(), 2);
        QCOMPARE(form->ComboBox16->currentIndex(), 0);
        QCOMPARE(form.sim.reg(8), uint16_t(0x0104));
        QCOMPARE(form.sim.reg(11), uint16_t(0));
        QCOMPARE(form.sim.reg(1034), uint16_t(2));
        // They show the values in effect, so none is marked as edited.
        for (QComboBox* box : {form->ComboBox9, form->ComboBox10, form->ComboBox15, form->ComboBox16})
            QCOMPARE(TForm1::ColorOf(box), QColor(Qt::white));
    }

    // A box with nothing to send, or the broadcast address, is refused before the question: a box
    // says why and nothing is written.
    void refusedChoicesSendNothing_data() {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("text");
        QTest::newRow("address 0")
            << 9
            << QString("Сетевой номер 0 предназначен для широковещательных запросов: "
                       "прибор с этим номером не будет отвечать. Выберите номер от 1 до 255.");
        QTest::newRow("no address") << -9 << QString("Поле \"Сетевой номер\" не заполнено.");
        QTest::newRow("no rate") << -10 << QString("Поле \"Скорость обмена\" не заполнено.");
        QTest::newRow("no parity") << -15 << QString("Поле \"Паритет\" не заполнено.");
        QTest::newRow("no byte order")
            << -16 << QString("Поле \"Порядок байт в измеренном значении\" не заполнено.");
    }
    void refusedChoicesSendNothing() {
        QFETCH(int, box);
        QFETCH(QString, text);
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        form->TabbedNotebook1->setCurrentIndex(2);
        Pick(form->ComboBox16, 2);
        const std::map<int, QComboBox*> boxes{
            {9, form->ComboBox9}, {10, form->ComboBox10}, {15, form->ComboBox15}, {16, form->ComboBox16}};
        if (box > 0)
            Pick(boxes.at(box), 0);
        else
            boxes.at(-box)->setCurrentIndex(-1);
        form->link().Button1Click();

        QVERIFY(!form.boxes.boxes.empty());
        QCOMPARE(form.boxes.boxes[0].text, text);
        for (const auto& shown : form.boxes.boxes)
            QVERIFY(shown.text != QString("Параметры связи записаны"));
        QCOMPARE(form.sim.reg(8), uint16_t(0x0104));
        QCOMPARE(form.sim.reg(11), uint16_t(0));
        QCOMPARE(form.sim.reg(1034), uint16_t(2));
        QCOMPARE(form->linkSettings.address, 1);
    }

    // Closing during the write waits for its end; the settings saved at exit are those the instrument
    // accepted.
    void closingDuringTheWriteSavesWhatTheInstrumentTook() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        form->TabbedNotebook1->setCurrentIndex(2);
        Pick(form->ComboBox9, 17);
        Pick(form->ComboBox10, 5);
        connect(form->ProgressBar2, &QProgressBar::valueChanged, form.form.get(), [&form](int done) {
            if (done == 1) form->close();
        });
        form->link().Button1Click();
        QCOMPARE(form->formCloseRuns, 0);
        QCOMPARE(form.boxes.boxes.back().text, QString("Параметры связи записаны"));
        QTRY_COMPARE(form->formCloseRuns, 1);

        QCOMPARE(form.sim.reg(8), uint16_t(0x1105));
        olv::settings::IniFile station(form.dir().filePath("dev.dat"));
        QCOMPARE(station.readString("DEVICE", "NetAdrr", {}), QString("17"));
        QVERIFY(station.readString("COM_SETTINGS", "Settings", {}).startsWith("38400,E"));
    }

    // The confirmation says what changes and where the meter answers afterwards; a meter that takes
    // every setting but does not answer there is not reported as written, and the journal shows what
    // was sent as unread.
    void meterSilentAtItsNewSettingsIsNotReportedAsWritten() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        form->TabbedNotebook1->setCurrentIndex(2);
        Pick(form->ComboBox9, 17);
        Pick(form->ComboBox10, 5);
        connect(form->ProgressBar2, &QProgressBar::valueChanged, form.form.get(), [&form](int done) {
            if (done == 3) form.sim.command("fault noreply on");
        });
        form->link().Button1Click();
        form.sim.command("fault noreply off");

        QCOMPARE(form.boxes.boxes.size(), size_t(3));
        QCOMPARE(form.boxes.boxes[0].details,
                 QStringLiteral("Сетевой номер: 1 → 17\nСкорость обмена: 19200 → 38400\nПосле записи прибор будет "
                                "отвечать по адресу 17, на скорости 38400 бит/с, с паритетом «Четный»."));
        QCOMPARE(form.boxes.boxes[1].text,
                 QStringLiteral("Параметры связи записаны, но прибор не ответил по новым параметрам связи."));
        QCOMPARE(form.boxes.boxes[1].detail,
                 QStringLiteral("Прибор не ответил по адресу 17, на скорости 38400 бит/с, с паритетом «Четный»."));
        QCOMPARE(form.boxes.boxes[2].caption, QStringLiteral("Ошибка в обмене."));
        // The program follows what the meter acknowledged.
        QCOMPARE(form->linkSettings.address, 17);
        QCOMPARE(form->linkSettings.baudRate, 38400);
        const std::vector<QStringList> journal = olv::records::ReadJournal(form->journal().JournalPath());
        QCOMPARE(journal.size(), size_t(1));
        QCOMPARE(journal[0].value(7), QStringLiteral("записано без проверки: нет ответа"));
        QCOMPARE(journal[0].mid(8), (QStringList{"Сетевой номер", "1", "не прочитано (отправлено 17)",
                                                 "Скорость обмена", "19200", "не прочитано (отправлено 38400)"}));
    }
};

OLV_UI_TEST_MAIN(LinkPageTest)
#include "link_page_test.moc"
