// The sensor configuration page against the virtual instrument: what a read shows, what a write
// leaves in the instrument's registers, and the writes that must not happen.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "ui/caption_panel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTabWidget>

#include <map>
#include <string>

using olv::link::BoxAnswer;
using olv::link::BoxIcon;
using olv::test::SimFormFixture;

namespace {

SimFormFixture::Options WithSim(std::vector<std::string> args) {
    SimFormFixture::Options options;
    options.simArgs = std::move(args);
    return options;
}

QList<QWidget*> ConfigFields(const TForm1& f) {
    return {f.Edit1,     f.Edit2,     f.Edit3,     f.Edit4,     f.Edit5,     f.Edit6,     f.Edit7,
            f.ComboBox4, f.ComboBox5, f.ComboBox6, f.ComboBox7, f.ComboBox8, f.ComboBox11};
}

// The registers a configuration write sends back without showing them, as the instrument holds them.
std::map<int, uint16_t> KeptRegisters(SimFormFixture& form) {
    std::map<int, uint16_t> kept;
    for (int r : {4, 10, 11})
        kept[r] = form.sim.reg(r);
    for (int r = 36; r <= 47; ++r)
        kept[r] = form.sim.reg(r);
    return kept;
}

// Valid texts in every field, as a user would type them over the start-up placeholders.
void TypeWholeConfiguration(TForm1& f) {
    f.Edit5->setText("1");
    f.Edit1->setText("2");
    f.Edit4->setText("3");
    f.Edit2->setText("1.6");
    f.Edit3->setText("0");
    f.Edit6->setText("0");
    f.Edit7->setText("1");
    f.ComboBox5->setCurrentIndex(2);
    f.ComboBox4->setCurrentIndex(1);
    f.ComboBox6->setCurrentIndex(14);
    f.ComboBox7->setCurrentIndex(2);
    f.ComboBox8->setCurrentIndex(7);
    f.ComboBox11->setCurrentIndex(0);
}

} // namespace

class SensorPageTest : public QObject {
    Q_OBJECT

  private slots:
    void readShowsEveryField() {
        SimFormFixture form(
            WithSim({"--set", "reg.9=514", "--set", "range_max=100", "--set", "range_min=0.123456", "--set",
                     "date=31.12.2015", "--set", "sensor_units=0", "--set", "reg.2=65535", "--set",
                     "reg.3=65534", "--set", "model=70", "--byte-order", "2"}));
        QVERIFY(form.started());
        form.settle();
        QCOMPARE(form.boxes.boxes.size(), size_t(0));

        QCOMPARE(form->Edit5->text(), QString("70"));
        QCOMPARE(form->Edit1->text(), QString("2"));
        QCOMPARE(form->Edit4->text(), QString("-2"));
        QCOMPARE(form->Edit2->text(), QString("   100.0000"));
        QCOMPARE(form->Edit3->text(), QString("     0.1235"));
        QCOMPARE(form->Edit6->text(), QString("     0.0000"));
        QCOMPARE(form->Edit7->text(), QString("     1.0000"));
        QCOMPARE(form->ComboBox5->currentText(), QString("4"));
        QCOMPARE(form->ComboBox4->currentText(), QString("кПа"));
        QCOMPARE(form->Label20->text(), QString("кПа"));
        QCOMPARE(form->ComboBox6->currentText(), QString("31"));
        QCOMPARE(form->ComboBox7->currentText(), QString("12"));
        QCOMPARE(form->ComboBox8->currentText(), QString("2015"));
        QCOMPARE(form->ComboBox11->currentIndex(), -1);
        // The instrument's byte order is the one in force and the one the page would write.
        QCOMPARE(form->ComboBox16->currentIndex(), 2);
        QCOMPARE(form->ComboBox17->currentIndex(), 2);
        QCOMPARE(form->linkSettings.byteOrder, 2);
        QCOMPARE(form->pendingLink.pendingByteOrder, 2);

        for (QWidget* field : ConfigFields(*form))
            QCOMPARE(TForm1::ColorOf(field), QColor(Qt::white));
        QVERIFY(form->Panel3->isHidden());
        QVERIFY(form->Panel5->isHidden());
        QCOMPARE(form->ProgressBar1->value(), 7);
    }

    void readButtonReadsOnlyOnItsPage() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        QCOMPARE(form.sim.command("set model=321"), std::string("ok model"));
        form->Edit5->setText("9");
        QCOMPARE(TForm1::ColorOf(form->Edit5), QColor(0, 255, 255));

        form->TabbedNotebook1->setCurrentIndex(0);
        form->Button2Click();
        QCOMPARE(form->Edit5->text(), QString("9"));
        QCOMPARE(TForm1::ColorOf(form->Edit5), QColor(Qt::white));
        QCOMPARE(form.boxes.boxes.size(), size_t(0));

        form->TabbedNotebook1->setCurrentIndex(1);
        form->Button2Click();
        QCOMPARE(form->Edit5->text(), QString("321"));
        QCOMPARE(TForm1::ColorOf(form->Edit5), QColor(Qt::white));
        QCOMPARE(form.boxes.boxes.size(), size_t(1));
        QCOMPARE(form.boxes.boxes[0].text, QString("Данные конфигурации прочитаны."));
        QCOMPARE(form.boxes.boxes[0].caption, QString("Результат операции"));
    }

    void editedWriteLandsInTheInstrumentAndKeepsTheRest() {
        SimFormFixture form(
            WithSim({"--set", "range_min=0.123456", "--set", "reg.4=4660", "--set", "reg.40=999"}));
        QVERIFY(form.started());
        form.settle();
        form->TabbedNotebook1->setCurrentIndex(1);
        const std::map<int, uint16_t> kept = KeptRegisters(form);
        const uint16_t min20 = form.sim.reg(20), min21 = form.sim.reg(21);

        form->Edit5->setText("70000"); // written as its low 16 bits
        form->Edit4->setText("123456");
        form->Edit2->setText("-12.25");
        form->ComboBox6->setCurrentIndex(30);
        form->ComboBox7->setCurrentIndex(11);
        form->ComboBox8->setCurrentIndex(15);
        form->ComboBox5->setCurrentIndex(8);
        form->ComboBox4->setCurrentIndex(10);
        form->ComboBox11->setCurrentIndex(5);
        form->Button3Click();

        QCOMPARE(form.boxes.boxes.size(), size_t(2));
        QCOMPARE(form.boxes.boxes[0].text, QString("Данные конфигурации будут переписаны?."));
        QCOMPARE(form.boxes.boxes[0].caption, QString("Подтвердите действие"));
        QCOMPARE(form.boxes.boxes[1].text, QString("Данные конфигурации записаны."));
        QCOMPARE(form.sim.reg(0), uint16_t(4464));
        QCOMPARE(form.sim.reg(2), uint16_t(0x0001));
        QCOMPARE(form.sim.reg(3), uint16_t(0xE240));
        QCOMPARE(form.sim.reg(5), uint16_t(0x1FCF));
        QCOMPARE(form.sim.reg(9), uint16_t(0x080A));
        QCOMPARE(form.sim.reg(18), uint16_t(0xC144));
        QCOMPARE(form.sim.reg(19), uint16_t(0x0000));
        QCOMPARE(form.sim.reg(58), uint16_t(6));
        // The unedited minimum goes back as it was read, not as the four decimals shown.
        QCOMPARE(form.sim.reg(20), min20);
        QCOMPARE(form.sim.reg(21), min21);
        QCOMPARE(KeptRegisters(form), kept);
        QVERIFY(form->Panel3->isHidden());
        QCOMPARE(form->ProgressBar1->value(), 7);
    }

    void unchangedTrimMultiplierGoesBackBitForBit() {
        SimFormFixture form(
            WithSim({"--set", "trim_multiplier=1.0001234", "--set", "trim_offset=-0.00004321"}));
        QVERIFY(form.started());
        form.settle();
        const uint16_t words[4] = {form.sim.reg(59), form.sim.reg(60), form.sim.reg(61), form.sim.reg(62)};
        QCOMPARE(form->Edit7->text(), QString("     1.0001"));

        form->Button3Click();
        QCOMPARE(form.boxes.boxes.back().text, QString("Данные конфигурации записаны."));
        QCOMPARE(form.sim.reg(59), words[0]);
        QCOMPARE(form.sim.reg(60), words[1]);
        QCOMPARE(form.sim.reg(61), words[2]);
        QCOMPARE(form.sim.reg(62), words[3]);
    }

    void typedCommaBecomesAPoint() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        for (QLineEdit* edit : {form->Edit2, form->Edit3, form->Edit6, form->Edit7}) {
            edit->clear();
            QTest::keyClicks(edit, "1,5");
            QCOMPARE(edit->text(), QString("1.5"));
            QTest::keyClicks(edit, ".2");
            QCOMPARE(edit->text(), QString("1.5.2"));
            QCOMPARE(TForm1::ColorOf(edit), QColor(0, 255, 255));
        }
    }

    void unconvertibleField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const QString integer = "Вводимые данные не получается представить целым числом.";
        const QString real = "Вводимые данные не получается представить плавающим числом.";
        QTest::newRow("letters in the serial number") << "Edit4"
                                                      << "12ab" << integer;
        QTest::newRow("a point in the model code") << "Edit1"
                                                   << "2.0" << integer;
        QTest::newRow("a pasted comma in the range") << "Edit2"
                                                     << "1,5" << real;
        QTest::newRow("an empty trim multiplier") << "Edit7"
                                                  << "" << real;
    }

    void unconvertibleField() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        form->Edit5->setText("7");
        form->findChild<QLineEdit*>(field)->setText(text);
        form->Button3Click();

        // No confirmation is asked and nothing is sent; the fields before the bad one are collected.
        QCOMPARE(form.boxes.boxes.size(), size_t(2));
        QCOMPARE(form.boxes.boxes[0].text, message);
        QCOMPARE(form.boxes.boxes[0].caption, QString("Ошибка ввода"));
        QVERIFY(form.boxes.boxes[0].icon == BoxIcon::Warning);
        QCOMPARE(form.boxes.boxes[1].text, QString("Запись данных не будет производиться."));
        QCOMPARE(form.boxes.boxes[1].caption, QString("Сообщение"));
        QCOMPARE(form->image.words[0], uint16_t(7));
        QCOMPARE(form.sim.reg(0), uint16_t(150));
    }

    void writeBeforeAnyReadKeepsTheInstrumentsOwnRegisters() {
        SimFormFixture form(WithSim({"--byte-order", "3", "--set", "reg.10=4321"}));
        QVERIFY(form.started());
        QCOMPARE(form.sim.command("fault noreply once"), std::string("ok fault noreply once"));
        form.settle(); // the configuration read gets no reply, the versions read does
        QCOMPARE(form.boxes.boxes.size(), size_t(1));
        form.boxes.boxes.clear();
        const std::map<int, uint16_t> kept = KeptRegisters(form);
        TypeWholeConfiguration(*form);

        // While the instrument does not answer, nothing at all is written.
        QCOMPARE(form.sim.command("fault noreply on"), std::string("ok fault noreply on"));
        form->Button3Click();
        QCOMPARE(form.sim.command("fault noreply off"), std::string("ok fault noreply off"));
        QCOMPARE(form.boxes.boxes.size(), size_t(2));
        QCOMPARE(form.boxes.boxes[1].caption, QString("Ошибка в обмене."));
        QVERIFY(form->Panel3->isHidden());
        QCOMPARE(form.sim.reg(0), uint16_t(150));

        form.boxes.boxes.clear();
        form->Button3Click();
        QCOMPARE(form.boxes.boxes.back().text, QString("Данные конфигурации записаны."));
        QCOMPARE(form.sim.reg(0), uint16_t(1));
        QCOMPARE(KeptRegisters(form), kept);
        QCOMPARE(form.sim.reg(11), uint16_t(3));
    }

    void writeFailingAtTheThirdBlockLeavesTheFirstTwo() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        // The instrument refuses the request that follows the second block.
        connect(form->ProgressBar1, &QProgressBar::valueChanged, form.form.get(), [&form](int done) {
            if (done == 2) form.sim.command("fault exception 4 once");
        });
        form->Edit5->setText("151");         // block 1
        form->ComboBox5->setCurrentIndex(5); // block 2
        form->Edit2->setText("2.5");         // block 3
        form->Button3Click();

        QCOMPARE(form.sim.reg(0), uint16_t(151));
        QCOMPARE(form.sim.reg(9) >> 8, 5);
        QCOMPARE(form.sim.dump()["range_max"], std::string("1.60000002"));
        QVERIFY(form->Panel3->isHidden());
        QCOMPARE(form.boxes.boxes.back().text, QString("Ошибка в работе адресуемого устройства."));
        QCOMPARE(form.boxes.boxes.back().caption, QString("Устройство сообщает об ошибке"));
    }
};

OLV_UI_TEST_MAIN(SensorPageTest)
#include "sensor_page_test.moc"
