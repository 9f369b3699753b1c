// The steady box: a control's new text lays out nothing around it while it fits, and gets room when it
// no longer does, even when the change came while the box was hidden.
#include "tests/ui/window_test_main.h"

#include "ui/widgets/steady_box.h"

#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QLabel>

namespace {

// Counts the layout requests a widget receives.
class LayoutRequests : public QObject {
  public:
    explicit LayoutRequests(QWidget* watched) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) ++count;
        return false;
    }
    int count = 0;
};

// A row of a steady label and a stretch in a window of fixed size, and a plain label under it.
struct Row {
    Row() {
        window.setFixedSize(500, 300); // room to spare: the stretch at the bottom takes it
        auto* column = new QVBoxLayout(&window);
        auto* row = new QHBoxLayout();
        label = new QLabel(QStringLiteral("12.345"));
        box = new SteadyBox(label);
        row->addWidget(box);
        row->addStretch(1);
        column->addLayout(row);
        column->addWidget(new QLabel(QStringLiteral("под ним")));
        column->addStretch(1);
    }
    void settle() {
        QApplication::processEvents();
        QApplication::processEvents();
    }
    QWidget window;
    QLabel* label = nullptr;
    SteadyBox* box = nullptr;
};

} // namespace

class SteadyBoxTest : public QObject {
    Q_OBJECT

  private slots:
    void aTextThatFitsLaysOutNothingAround() {
        Row row;
        row.window.show();
        row.settle();
        const QRect place = row.box->geometry();
        LayoutRequests requests(&row.window);
        for (const char* text : {"67.890", "1", "", "99.999"}) {
            row.label->setText(QString::fromLatin1(text));
            row.settle();
            QCOMPARE(requests.count, 0);
            QCOMPARE(row.box->geometry(), place); // a shorter text keeps the place too
            QCOMPARE(row.label->geometry(), QRect(QPoint(), place.size()));
        }
    }

    void aTextThatOutgrowsItsPlaceGetsRoom() {
        Row row;
        row.window.show();
        row.settle();
        row.label->setText(QStringLiteral("Неправильный формат числа, и ещё немного"));
        row.settle();
        QVERIFY(row.box->width() >= row.label->minimumSizeHint().width());
        QCOMPARE(row.label->size(), row.box->size());
    }

    void aChangeWhileHiddenGetsRoomWhenShown() {
        Row row;
        row.window.show();
        row.settle();
        row.window.hide();
        row.label->setText(QStringLiteral("Неправильный формат числа, и ещё немного"));
        row.settle();
        row.window.show();
        row.settle();
        QVERIFY(row.box->width() >= row.label->minimumSizeHint().width());
    }

    void aWrappedTextGetsTheHeightItsLinesNeed() {
        Row row;
        row.label->setWordWrap(true);
        row.label->setMaximumWidth(120);
        row.window.show();
        row.settle();
        row.label->setText(QStringLiteral("нет связи с прибором по адресу 1 на COM1 уже две минуты"));
        row.settle();
        QVERIFY(row.box->height() >= row.label->heightForWidth(row.box->width()));
    }
};

OLV_UI_TEST_MAIN(SteadyBoxTest)
#include "steady_box_test.moc"
