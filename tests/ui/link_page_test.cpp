// The communication settings page against the virtual instrument: the instrument changes its address,
// rate, parity and byte order, and the program follows it.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "ui/caption_panel.h"

#include <QComboBox>
#include <QTabWidget>

using olv::link::BoxAnswer;
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
        form->Button1Click();

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
        form->Button3Click();
        QCOMPARE(form.boxes.boxes.back().text, QString("Данные конфигурации записаны."));
        QCOMPARE(form.sim.reg(11), uint16_t(3));
        form.boxes.boxes.clear();
        form->Button2Click();
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
        form->Button1Click();

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
        form->Button1Click();

        QCOMPARE(form.boxes.boxes.size(), size_t(1));
        QCOMPARE(form->ComboBox9->currentIndex(), 1);
        QCOMPARE(form->ComboBox10->currentText(), QString("19200"));
        QCOMPARE(form->ComboBox15->currentIndex(), 2);
        QCOMPARE(form->ComboBox16->currentIndex(), 0);
        QCOMPARE(form.sim.reg(8), uint16_t(0x0104));
        QCOMPARE(form.sim.reg(11), uint16_t(0));
        QCOMPARE(form.sim.reg(1034), uint16_t(2));
    }
};

OLV_UI_TEST_MAIN(LinkPageTest)
#include "link_page_test.moc"
