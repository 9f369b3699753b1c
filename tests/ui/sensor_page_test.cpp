// The sensor configuration page against the virtual instrument: what a read shows, what a write
// leaves in the instrument's registers, and the writes that must not happen.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "records/journal.h"
#include "settings/ini_file.h"
#include "ui/widgets/caption_panel.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <map>
#include <string>

using olv::messages::BoxAnswer;
using olv::messages::BoxIcon;
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

// Two instruments on one line, at addresses 1 and 2, that differ in every register a configuration
// write does not show (4, 10, 11, 36..47), in their text and in the registers of the lists (5, 9, 58).
SimFormFixture::Options TwoInstruments() {
    SimFormFixture::Options options;
    for (int a : {1, 2}) {
        std::string state = "addr=" + std::to_string(a) + ",text=Meter number " + std::to_string(a) +
                            ",byte_order=" + std::to_string(a) + ",reg.5=" + (a == 1 ? "3895" : "2629") +
                            ",reg.9=" + (a == 1 ? "514" : "773") + ",sensor_units=" + (a == 1 ? "2" : "4");
        for (int r : {4, 10, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47})
            state += ",reg." + std::to_string(r) + "=" + std::to_string(a * 0x1000 + r);
        options.simArgs.insert(options.simArgs.end(), {"--instrument", state});
    }
    return options;
}

// What a write must leave as the instrument holds it: the registers the page does not show and the
// text.
std::map<int, uint16_t> HiddenWords(SimFormFixture& form, int address) {
    std::map<std::string, std::string> dump = form.sim.dump(address);
    std::map<int, uint16_t> words;
    for (int r : {4, 10, 11, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55})
        words[r] = static_cast<uint16_t>(std::stoi(dump["reg." + std::to_string(r)]));
    return words;
}

// Every stored register of an instrument (not the measured 15..17, which change by themselves).
std::map<std::string, std::string> StoredRegisters(SimFormFixture& form, int address) {
    std::map<std::string, std::string> stored;
    for (const auto& [key, value] : form.sim.dump(address))
        if (key.rfind("reg.", 0) == 0 && key != "reg.15" && key != "reg.16" && key != "reg.17")
            stored[key] = value;
    return stored;
}

// The edit fields typed over the placeholders; the lists are left as they are.
void TypeEditFields(TForm1& f) {
    for (QLineEdit* edit : {f.Edit5, f.Edit1, f.Edit4, f.Edit3, f.Edit6})
        edit->setText("0");
    f.Edit2->setText("2.5");
    f.Edit7->setText("1");
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
        form->sensor().Button2Click();
        QCOMPARE(form->Edit5->text(), QString("9"));
        QCOMPARE(TForm1::ColorOf(form->Edit5), QColor(Qt::white));
        QCOMPARE(form.boxes.boxes.size(), size_t(0));

        form->TabbedNotebook1->setCurrentIndex(1);
        form->sensor().Button2Click();
        QCOMPARE(form->Edit5->text(), QString("321"));
        QCOMPARE(TForm1::ColorOf(form->Edit5), QColor(Qt::white));
        QCOMPARE(form.boxes.boxes.size(), size_t(1));
        QCOMPARE(form.boxes.boxes[0].text, QString("Данные конфигурации прочитаны."));
        QCOMPARE(form.boxes.boxes[0].caption, QString("Результат операции"));
    }

    void editedWriteLandsInTheInstrumentAndKeepsTheRest() {
        SimFormFixture form(
            WithSim({"--set", "range_min=-20.123456", "--set", "reg.4=4660", "--set", "reg.40=999"}));
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
        form->sensor().Button3Click();

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

        form->sensor().Button3Click();
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
        QTest::addColumn<QString>("caption"); // of the field, named in the box's detail
        const QString integer = "Вводимые данные не получается представить целым числом.";
        const QString real = "Вводимые данные не получается представить плавающим числом.";
        QTest::newRow("letters in the serial number") << "Edit4"
                                                      << "12ab" << integer << "Заводской номер";
        QTest::newRow("a point in the model code") << "Edit1"
                                                   << "2.0" << integer << "Код модели";
        QTest::newRow("a pasted comma in the range") << "Edit2"
                                                     << "1,5" << real << "Максимум диапазона";
        QTest::newRow("an empty trim multiplier") << "Edit7"
                                                  << "" << real << "Диапазон";
    }

    void unconvertibleField() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFETCH(QString, caption);
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        form->show();
        form->TabbedNotebook1->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowActive(form.form.get()));
        form->Edit5->setText("7");
        QLineEdit* edit = form->findChild<QLineEdit*>(field);
        edit->setText(text);
        form->sensor().Button3Click();

        // The field is named, and the cursor is in it, still marked as edited.
        QCOMPARE(form.boxes.boxes[0].detail, QStringLiteral("Поле \"%1\"").arg(caption));
        QCOMPARE(QApplication::focusWidget(), edit);
        QCOMPARE(TForm1::ColorOf(edit), QColor(0, 255, 255));

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

    // Values that convert but that the instrument must never hold are refused like unconvertible text:
    // two boxes, the field focused and still marked, no confirmation, nothing sent. Of a minimum and
    // maximum compared, the one the user typed is focused.
    void refusedValue_data() {
        QTest::addColumn<QString>("typed"); // the field typed into
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("caption");
        QTest::newRow("minimum above the maximum")
            << "Edit3" << "5" << "Edit3" << "Минимум диапазона 5.0000 не меньше максимума 1.6000."
            << "Минимум диапазона";
        QTest::newRow("maximum at the minimum")
            << "Edit2" << "0" << "Edit2" << "Минимум диапазона 0.0000 не меньше максимума 0.0000."
            << "Максимум диапазона";
        QTest::newRow("trim multiplier 0")
            << "Edit7" << "-0.0" << "Edit7"
            << "Диапазон подстройки равен 0: прибор показывал бы 0 при любом давлении." << "Диапазон";
        QTest::newRow("31 February")
            << "ComboBox7" << "1" << "ComboBox6" << "Дата выпуска с днем 31 и месяцем 2 2015 года не существует."
            << "Дата выпуска";
    }

    void refusedValue() {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(QString, focused);
        QFETCH(QString, message);
        QFETCH(QString, caption);
        SimFormFixture form(WithSim({"--set", "date=31.12.2015"}));
        QVERIFY(form.started());
        form.settle();
        form->show();
        form->TabbedNotebook1->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowActive(form.form.get()));
        const std::map<std::string, std::string> stored = StoredRegisters(form, 1);
        QWidget* field = form->findChild<QWidget*>(typed);
        if (auto* edit = qobject_cast<QLineEdit*>(field))
            edit->setText(text);
        else
            qobject_cast<QComboBox*>(field)->setCurrentIndex(text.toInt());
        form->sensor().Button3Click();

        QCOMPARE(form.boxes.boxes.size(), size_t(2));
        QCOMPARE(form.boxes.boxes[0].text, message);
        QCOMPARE(form.boxes.boxes[0].caption, QString("Ошибка ввода"));
        QCOMPARE(form.boxes.boxes[0].detail, QStringLiteral("Поле \"%1\"").arg(caption));
        QCOMPARE(form.boxes.boxes[1].text, QString("Запись данных не будет производиться."));
        QCOMPARE(QApplication::focusWidget()->objectName(), focused);
        if (qobject_cast<QLineEdit*>(field)) QCOMPARE(TForm1::ColorOf(field), QColor(0, 255, 255));
        QCOMPARE(StoredRegisters(form, 1), stored);
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
        form->sensor().Button3Click();
        QCOMPARE(form.sim.command("fault noreply off"), std::string("ok fault noreply off"));
        QCOMPARE(form.boxes.boxes.size(), size_t(2));
        QCOMPARE(form.boxes.boxes[1].caption, QString("Ошибка в обмене."));
        QVERIFY(form->Panel3->isHidden());
        QCOMPARE(form.sim.reg(0), uint16_t(150));

        form.boxes.boxes.clear();
        form->sensor().Button3Click();
        QCOMPARE(form.boxes.boxes.back().text, QString("Данные конфигурации записаны."));
        QCOMPARE(form.sim.reg(0), uint16_t(1));
        QCOMPARE(KeptRegisters(form), kept);
        QCOMPARE(form.sim.reg(11), uint16_t(3));
    }

    // Read instrument 1, switch the top row to instrument 2, edit and write: instrument 2 gets the
    // page's fields and keeps its own hidden registers and text; instrument 1 is not touched.
    void writeToAnotherInstrumentKeepsThatInstrumentsOwnWords() {
        SimFormFixture form(TwoInstruments());
        QVERIFY(form.started());
        form.settle();
        QCOMPARE(form.boxes.boxes.size(), size_t(0));
        form->TabbedNotebook1->setCurrentIndex(1);
        const std::map<int, uint16_t> hidden2 = HiddenWords(form, 2);
        const std::map<std::string, std::string> first = StoredRegisters(form, 1);
        QVERIFY(HiddenWords(form, 1) != hidden2);

        form->Edit2->setText("2.5");
        form->ComboBox3->setCurrentIndex(2);
        form->ComboBox3Change();
        form->sensor().Button3Click();

        QCOMPARE(form.boxes.boxes.back().text, QString("Данные конфигурации записаны."));
        QCOMPARE(form.sim.dump(2)["range_max"], std::string("2.5"));
        QCOMPARE(HiddenWords(form, 2), hidden2);
        QVERIFY(StoredRegisters(form, 1) == first);
    }

    // Picks in the top row during the write's pauses reach nothing: every block goes to the
    // instrument the write began with, and the row is usable again afterwards.
    void pickDuringAWriteChangesNotItsInstrument() {
        SimFormFixture form(TwoInstruments());
        QVERIFY(form.started());
        form.settle();
        form->TabbedNotebook1->setCurrentIndex(1);
        const std::map<std::string, std::string> second = StoredRegisters(form, 2);

        QList<QObject*> enabledDuring;
        connect(form->ProgressBar1, &QProgressBar::valueChanged, form.form.get(),
                [&form, &enabledDuring](int done) {
                    if (done != 1) return;
                    for (QObject* control : std::initializer_list<QObject*>{
                             form->ComboBox1, form->ComboBox2, form->ComboBox3, form->ComboBox14,
                             form->ListBox1, form->Button2, form->Button4, form->Button6, form->Button7})
                        if (static_cast<QWidget*>(control)->isEnabled()) enabledDuring << control;
                    if (form->N2->isEnabled()) enabledDuring << form->N2;
                    QTest::keyClick(form->ComboBox3, Qt::Key_Down); // as the user would pick address 2
                    form->sensor().Button2Click();                           // a second operation is refused
                });
        form->Edit2->setText("2.5");
        form->sensor().Button3Click();
        disconnect(form->ProgressBar1, nullptr, form.form.get(), nullptr);

        QCOMPARE(enabledDuring, QList<QObject*>{});
        QCOMPARE(form.boxes.boxes.size(), size_t(2));
        QCOMPARE(form.boxes.boxes.back().text, QString("Данные конфигурации записаны."));
        QCOMPARE(form->linkSettings.address, 1);
        QCOMPARE(form.sim.dump(1)["range_max"], std::string("2.5"));
        QVERIFY(StoredRegisters(form, 2) == second);

        // Afterwards the row takes the same pick.
        QVERIFY(form->ComboBox3->isEnabled());
        QVERIFY(form->N2->isEnabled());
        QTest::keyClick(form->ComboBox3, Qt::Key_Down);
        QCOMPARE(form->linkSettings.address, 2);
    }

    // No read succeeded and the lists show nothing: their parts of registers 5, 9 and 58 are the
    // instrument's own, never 0xFF, 0 or a made-up date.
    void writeBeforeAnyReadWithListsUntouchedKeepsTheirWords() {
        SimFormFixture form(TwoInstruments());
        QVERIFY(form.started());
        QCOMPARE(form.sim.command("fault noreply once"), std::string("ok fault noreply once"));
        form.settle();
        form.boxes.boxes.clear();
        const std::map<int, uint16_t> hidden = HiddenWords(form, 1);
        QCOMPARE(form->ComboBox5->currentIndex(), -1);
        QCOMPARE(form->ComboBox6->currentIndex(), -1);
        TypeEditFields(*form);
        form->sensor().Button3Click();

        QCOMPARE(form.boxes.boxes.back().text, QString("Данные конфигурации записаны."));
        QCOMPARE(form.sim.dump(1)["range_max"], std::string("2.5"));
        QCOMPARE(form.sim.reg(5), uint16_t(3895));
        QCOMPARE(form.sim.reg(9), uint16_t(514));
        QCOMPARE(form.sim.reg(58), uint16_t(2));
        QCOMPARE(HiddenWords(form, 1), hidden);
    }

    // Closing with no read ever succeeded keeps the profile's text, and the text page refuses to write
    // the placeholder; the instrument keeps its text.
    void placeholderIsNeverSavedNorWritten() {
        SimFormFixture::Options options = TwoInstruments();
        options.prepare = [](const QDir& dir) {
            olv::test::WriteCrlfFile(dir.filePath("recent.prf"),
                                     {"[TXT]", "ch0=16706", "ch1=17220", "ch2=8224", "ch3=8224", "ch4=8224",
                                      "ch5=8224", "ch6=8224", "ch7=8224"});
        };
        SimFormFixture form(options);
        QVERIFY(form.started());
        QCOMPARE(form.sim.command("fault noreply on"), std::string("ok fault noreply on"));
        form.settle();
        QCOMPARE(form.sim.command("fault noreply off"), std::string("ok fault noreply off"));
        QCOMPARE(form->Edit8->text(), QString("Данных нет"));
        form.boxes.boxes.clear();
        const std::map<int, uint16_t> hidden = HiddenWords(form, 1);

        form->Edit9->setText("1");
        form->Edit10->setText("2");
        form->Edit11->setText("3");
        form->text().Button7Click();
        QCOMPARE(form.boxes.boxes.size(), size_t(3)); // the question, which field, nothing written
        QCOMPARE(form.boxes.boxes[1].text, QString("Поле \"Текст, хранящийся в приборе\" не заполнено."));
        QCOMPARE(form.boxes.boxes[2].text, QString("Запись данных не будет производиться."));
        QCOMPARE(HiddenWords(form, 1), hidden);
        QCOMPARE(form.sim.dump(1)["hw_version"], std::string("0"));

        form->close();
        olv::settings::IniFile recent(form.dir().filePath("recent.prf"));
        QCOMPARE(recent.readString("TXT", "ch0", {}), QString("16706"));
        QCOMPARE(recent.readString("TXT", "ch1", {}), QString("17220"));
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
        form->sensor().Button3Click();

        QCOMPARE(form.sim.reg(0), uint16_t(151));
        QCOMPARE(form.sim.reg(9) >> 8, 5);
        QCOMPARE(form.sim.dump()["range_max"], std::string("1.60000002"));
        QVERIFY(form->Panel3->isHidden());
        QCOMPARE(form.boxes.boxes.back().text, QString("Ошибка в работе адресуемого устройства."));
        QCOMPARE(form.boxes.boxes.back().caption, QString("Устройство сообщает об ошибке"));
    }

    // The same write stopped at its third block: the box and the journal say which blocks the
    // instrument holds, and the journal's new values are those it returns.
    void writeStoppedPartWaySaysWhichBlocksTheInstrumentHolds() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        connect(form->ProgressBar1, &QProgressBar::valueChanged, form.form.get(), [&form](int done) {
            if (done == 2) form.sim.command("fault exception 4 once");
        });
        form->Edit5->setText("151");
        form->ComboBox5->setCurrentIndex(5);
        form->Edit2->setText("2.5");
        form->sensor().Button3Click();

        QCOMPARE(form.boxes.boxes.back().detail,
                 QStringLiteral("Прибор хранит отправленные значения регистров 0–5, 9–11. Не записаны: 18–21, 36–43, 44–47, "
                                "48–55, 58–62."));
        const std::vector<QStringList> journal = olv::records::ReadJournal(form->journal().JournalPath());
        QCOMPARE(journal.size(), size_t(1));
        QVERIFY2(journal[0].value(7).startsWith(QStringLiteral("исключение 4: ")), qPrintable(journal[0].value(7)));
        QVERIFY(journal[0].value(7).endsWith(QStringLiteral("; записаны регистры 0–5, 9–11")));
        QCOMPARE(journal[0].mid(8), (QStringList{"Модель", "150", "151", "Демпфирование", "4", "25"}));
    }

    // The instrument takes every block but holds another range maximum than it was sent: a failed
    // write naming the field, and the journal shows what the instrument holds. The confirmation listed
    // the change that was meant.
    void readBackThatDiffersIsAFailedWrite() {
        SimFormFixture form;
        QVERIFY(form.started());
        form.settle();
        connect(form->ProgressBar1, &QProgressBar::valueChanged, form.form.get(), [&form](int done) {
            if (done == 7) form.sim.command("set range_max=2.4");
        });
        form->Edit2->setText("2.5");
        form->sensor().Button3Click();

        QCOMPARE(form.boxes.boxes.size(), size_t(2));
        QCOMPARE(form.boxes.boxes[0].details, QStringLiteral("Максимум диапазона: 1.6000 → 2.5000"));
        QCOMPARE(form.boxes.boxes[1].text, QStringLiteral("Данные конфигурации записаны, но прибор возвращает иные "
                                                          "значения полей: Максимум диапазона."));
        QVERIFY(form.boxes.boxes[1].icon == BoxIcon::Warning);
        QCOMPARE(form.boxes.boxes[1].detail, QStringLiteral("Прибор хранит отправленные значения регистров 0–5, 9–11, 36–43, "
                                                            "44–47, 48–55, 58–62. Не записаны: 18–21."));
        const std::vector<QStringList> journal = olv::records::ReadJournal(form->journal().JournalPath());
        QCOMPARE(journal.size(), size_t(1));
        QVERIFY(journal[0].value(7).startsWith(QStringLiteral("прибор возвращает иные значения: Максимум диапазона")));
        QCOMPARE(journal[0].mid(8), (QStringList{"Максимум диапазона", "1,6000", "2,4000"}));
    }
};

OLV_UI_TEST_MAIN(SensorPageTest)
#include "sensor_page_test.moc"
