// Page 4 against the virtual instrument: reading and writing the stored text and the versions.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "records/journal.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

#include <vector>

using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
using olv::test::SimFormFixture;

namespace {

const QColor White(255, 255, 255);
const QColor Aqua(0, 255, 255);

// A running window on the text page; Timer1 is stopped (polling is not what these tests look at).
void StartOnTextPage(SimFormFixture& form) {
    QVERIFY(form.started());
    form->Timer1->stop();
    form.settle();
    QCOMPARE(form.boxes.boxes.size(), size_t(0));
    form->TabbedNotebook1->setCurrentIndex(4);
}

std::vector<uint16_t> Registers(SimFormFixture& form, int first, int count) {
    std::vector<uint16_t> words;
    for (int r = first; r < first + count; ++r)
        words.push_back(form.sim.reg(r));
    return words;
}

void VerifyBox(const olv::messages::Box& box, const QString& text, const QString& caption, BoxIcon icon,
               BoxButtons buttons = BoxButtons::Ok) {
    QCOMPARE(box.text, text);
    QCOMPARE(box.caption, caption);
    QVERIFY(box.icon == icon);
    QVERIFY(box.buttons == buttons);
}

void VerifyConfirmation(const olv::messages::Box& box) {
    VerifyBox(box, QStringLiteral("Вы хотите записать новый текст и обозначения версий?"),
              QStringLiteral("Подтвердите действие"), BoxIcon::Warning, BoxButtons::YesNo);
}

} // namespace

class TextPageTest : public QObject {
    Q_OBJECT

  private slots:
    void startUpReadShowsTextAndVersionsUnmarked() {
        SimFormFixture form;
        StartOnTextPage(form);
        QCOMPARE(form->Edit8->text(), QStringLiteral("Датчик давления "));
        QCOMPARE(form->Edit9->text(), QStringLiteral("256"));
        QCOMPARE(form->Edit10->text(), QStringLiteral("0"));
        QCOMPARE(form->Edit11->text(), QStringLiteral("107"));
        QCOMPARE(form->text().modelValue, 256);
        QCOMPARE(form->text().softwareValue, 107);
        for (QLineEdit* field : {form->Edit8, form->Edit9, form->Edit10, form->Edit11})
            QCOMPARE(TForm1::ColorOf(field), White);
    }

    void readShowsTheInstrumentsTextAndVersions() {
        SimFormFixture::Options options;
        options.simArgs = {"--set", "text=PT-100 sensor", "--set", "hw_version=65535"};
        SimFormFixture form(options);
        StartOnTextPage(form);
        // Typed changes are marked; a fill from code is not.
        for (QLineEdit* field : {form->Edit8, form->Edit9, form->Edit10, form->Edit11}) {
            field->setText(QStringLiteral("7"));
            QCOMPARE(TForm1::ColorOf(field), Aqua);
        }
        form->SetNormal(form->Edit8);
        form->SetNormal(form->Edit9);
        form->text().ShowDeviceText(); // the texts change back; that is no edit
        form->text().ShowVersions();
        QCOMPARE(form->Edit9->text(), QStringLiteral("256"));
        QCOMPARE(TForm1::ColorOf(form->Edit8), White);
        QCOMPARE(TForm1::ColorOf(form->Edit9), White);
        QCOMPARE(TForm1::ColorOf(form->Edit10), Aqua);
        QCOMPARE(form->uiBusy, 0);
        for (QLineEdit* field : {form->Edit8, form->Edit9, form->Edit10, form->Edit11})
            field->setText(QStringLiteral("8"));
        QVERIFY(form.sim.command("set sw_version=4242").rfind("ok", 0) == 0);

        form->text().Button6Click();

        // The text read from a 13-character write shows its three blanks.
        QCOMPARE(form->Edit8->text(), QStringLiteral("PT-100 sensor   "));
        QCOMPARE(form->Edit9->text(), QStringLiteral("256"));
        QCOMPARE(form->Edit10->text(), QStringLiteral("65535"));
        QCOMPARE(form->Edit11->text(), QStringLiteral("4242"));
        QCOMPARE(form->text().hardwareValue, 65535);
        QCOMPARE(form->text().softwareValue, 4242);
        for (QLineEdit* field : {form->Edit8, form->Edit9, form->Edit10, form->Edit11})
            QCOMPARE(TForm1::ColorOf(field), White);
        QCOMPARE(form->uiBusy, 0);
        QCOMPARE(form.boxes.boxes.size(), size_t(1));
        VerifyBox(form.boxes.boxes[0], QStringLiteral("Прочитан текст и обозначения версий из прибора"),
                  QStringLiteral("Результат операции"), BoxIcon::Information);
    }

    void writeStoresThePackedTextAndTheVersions_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::vector<uint16_t>>("words");
        QTest::newRow("PT-100 sensor")
            << QStringLiteral("PT-100 sensor")
            << std::vector<uint16_t>{0x5054, 0x2D31, 0x3030, 0x2073, 0x656E, 0x736F, 0x7220, 0x2020};
        // Windows-1251: Д C4, а E0, т F2, ч F7, и E8, к EA, Т D2.
        QTest::newRow("Cyrillic") << QStringLiteral("Датчик Т-1")
                                  << std::vector<uint16_t>{0xC4E0, 0xF2F7, 0xE8EA, 0x20D2,
                                                           0x2D31, 0x2020, 0x2020, 0x2020};
        QTest::newRow("empty") << QString() << std::vector<uint16_t>(8, 0x2020);
        QTest::newRow("outside Windows-1251 and beyond 16")
            << QStringLiteral("a日b-0123456789ABCDEF")
            << std::vector<uint16_t>{0x613F, 0x622D, 0x3031, 0x3233, 0x3435, 0x3637, 0x3839, 0x4142};
    }

    void writeStoresThePackedTextAndTheVersions() {
        QFETCH(QString, text);
        QFETCH(std::vector<uint16_t>, words);

        SimFormFixture form;
        StartOnTextPage(form);
        form->Edit8->setText(text);
        form->Edit9->setText(QStringLiteral("300"));
        form->Edit10->setText(QStringLiteral("65536"));
        form->Edit11->setText(QStringLiteral("-2"));

        form->text().Button7Click();

        QCOMPARE(form.boxes.boxes.size(), size_t(2));
        VerifyConfirmation(form.boxes.boxes[0]);
        VerifyBox(form.boxes.boxes[1], QStringLiteral("Записаны новый текст и обозначения версий в прибор"),
                  QStringLiteral("Результат операции"), BoxIcon::Information);
        QCOMPARE(Registers(form, 48, 8), words);
        QCOMPARE(form.sim.reg(1024), uint16_t(300));
        QCOMPARE(form.sim.reg(1027), uint16_t(0));      // 65536: its low 16 bits
        QCOMPARE(form.sim.reg(1028), uint16_t(0xFFFE)); // -2: its low 16 bits
        QCOMPARE(form->text().hardwareValue, 65536);           // the profile keeps what was typed
        QCOMPARE(form->text().softwareValue, -2);
        for (QLineEdit* field : {form->Edit8, form->Edit9, form->Edit10, form->Edit11})
            QCOMPARE(TForm1::ColorOf(field), White);
    }

    void lettersInAVersionFieldAreRefusedAndNothingIsSent() {
        SimFormFixture form;
        StartOnTextPage(form);
        const std::vector<uint16_t> text = Registers(form, 48, 8);
        const std::vector<uint16_t> versions{form.sim.reg(1024), form.sim.reg(1027), form.sim.reg(1028)};
        const QString trace = form.dir().filePath(QStringLiteral("COM.txt"));
        form->linkSettings.traceEnabled = 1;
        form->linkSettings.traceFileName = trace;
        form->Edit8->setText(QStringLiteral("Новый текст"));
        form->Edit9->setText(QStringLiteral("500"));
        form->Edit10->setText(QStringLiteral("12a"));

        form->text().Button7Click();

        QCOMPARE(form.boxes.boxes.size(), size_t(3));
        VerifyConfirmation(form.boxes.boxes[0]);
        VerifyBox(form.boxes.boxes[1],
                  QStringLiteral("Вводимые данные не получается представить целым числом."),
                  QStringLiteral("Ошибка ввода"), BoxIcon::Warning);
        VerifyBox(form.boxes.boxes[2], QStringLiteral("Запись данных не будет производиться."),
                  QStringLiteral("Сообщение"), BoxIcon::Information);
        QVERIFY(!QFile::exists(trace)); // not one request
        QCOMPARE(Registers(form, 48, 8), text);
        QCOMPARE((std::vector<uint16_t>{form.sim.reg(1024), form.sim.reg(1027), form.sim.reg(1028)}),
                 versions);
        QCOMPARE(form->text().modelValue, 500); // the field before the bad one is already taken
    }

    void answeringNoSendsNothingAndRefreshesTheLinkControls() {
        SimFormFixture form;
        StartOnTextPage(form);
        const std::vector<uint16_t> text = Registers(form, 48, 8);
        form->Edit8->setText(QStringLiteral("Другой"));
        form->ComboBox3->setCurrentIndex(7); // not collected: the refresh puts the address back
        form.boxes.answers.push_back(BoxAnswer::No);

        form->text().Button7Click();

        QCOMPARE(form.boxes.boxes.size(), size_t(1));
        VerifyConfirmation(form.boxes.boxes[0]);
        QCOMPARE(form->ComboBox3->currentIndex(), 1);
        QCOMPARE(Registers(form, 48, 8), text);
        QCOMPARE(TForm1::ColorOf(form->Edit8), Aqua);
    }

    // The confirmation lists old → new; an instrument that keeps another text than it was sent fails
    // the write, and the journal shows the text it holds.
    void textReadBackOtherwiseIsAFailedWrite() {
        SimFormFixture form;
        StartOnTextPage(form);
        form->Edit8->setText(QStringLiteral("Котельная 2"));
        form->Edit9->setText(QStringLiteral("300"));
        form->master.setObserver([&form](const olv::link::ExchangeRecord& exchange) {
            if (exchange.requestLength > 3 && exchange.request[1] == 16 && exchange.request[3] == 48)
                form.sim.command("set text=Котельная 3");
        });
        form->text().Button7Click();
        form->master.setObserver({});

        QCOMPARE(form.boxes.boxes.size(), size_t(2));
        QCOMPARE(form.boxes.boxes[0].details,
                 QStringLiteral("Текст, хранящийся в приборе: «Датчик давления » → «Котельная 2     »\n"
                                "Модель модуля: 256 → 300"));
        VerifyBox(form.boxes.boxes[1],
                  QStringLiteral("Текст и обозначения версий записаны, но прибор возвращает иные значения полей: "
                                 "Текст, хранящийся в приборе."),
                  QStringLiteral("Результат операции"), BoxIcon::Warning);
        QCOMPARE(TForm1::ColorOf(form->Edit8), White); // it was sent; the box says what came of it
        const std::vector<QStringList> journal = olv::records::ReadJournal(form->journal().JournalPath());
        QCOMPARE(journal.size(), size_t(1));
        QCOMPARE(journal[0].mid(8), (QStringList{"Текст, хранящийся в приборе", "«Датчик давления »",
                                                 "«Котельная 3     »", "Модель модуля", "256", "300"}));
    }
};

OLV_UI_TEST_MAIN(TextPageTest)
#include "text_page_test.moc"
