// The window against the virtual instrument: the start-up read reaches it over a real pseudo-terminal.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

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
};

OLV_UI_TEST_MAIN(SimWindowTest)
#include "sim_window_test.moc"
