// Exchange results shown by the window, and the colours of edit marking as they are painted.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "link/result_flags.h"

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>

#include <cstdlib>

using namespace olv::link;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
using olv::test::FormFixture;
using olv::test::StopTimers;

Q_DECLARE_METATYPE(olv::link::ResultFlags)

namespace {

const QColor Yellow(255, 255, 0);
const QColor Aqua(0, 255, 255);
const QColor White(255, 255, 255);

constexpr ResultFlags MissingReply = NoReply | WrongLength | WrongFunction | CrcMismatch | WrongAddress;
constexpr ResultFlags ExceptionFlags = ExceptionReply | WrongLength | WrongFunction;


// The colour painted in the middle of a control's empty face.
QColor PaintedFace(QWidget* control) {
    const QImage image = control->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// Styles shade the face of a button-like combo box a little; what matters is that the marking shows.
// Aqua and white differ by 255 in red, so this still tells them apart.
bool Near(const QColor& painted, const QColor& wanted) {
    const int tolerance = 96;
    return std::abs(painted.red() - wanted.red()) <= tolerance &&
           std::abs(painted.green() - wanted.green()) <= tolerance &&
           std::abs(painted.blue() - wanted.blue()) <= tolerance;
}

} // namespace

class ExchangeReportTest : public QObject {
    Q_OBJECT

  private slots:
    void memoAndBox_data() {
        QTest::addColumn<ResultFlags>("flags");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<QString>("boxCaption");
        const QString exchange = QStringLiteral("Ошибка в обмене.");
        const QString device = QStringLiteral("Устройство сообщает об ошибке");
        QTest::newRow("missing reply")
            << MissingReply << 0
            << QStringList{"Ответа не было. ", "При приеме не принято ожидаемое число символов. ",
                           "При приеме в ответе указан адрес не того устройства к которому обращались. ",
                           "При приеме в ответе не сошлась контрольная сумма. ",
                           "В ответе указан не тот номер команды. "}
            << QStringLiteral("При приеме не принято ожидаемое число символов.") << exchange;
        QTest::newRow("missing reply at address 0")
            << ResultFlags(MissingReply & ~WrongAddress) << 0
            << QStringList{"Ответа не было. ", "При приеме не принято ожидаемое число символов. ",
                           "При приеме в ответе не сошлась контрольная сумма. ",
                           "В ответе указан не тот номер команды. "}
            << QStringLiteral("При приеме не принято ожидаемое число символов.") << exchange;
        QTest::newRow("exception 2") << ExceptionFlags << 2
                                     << QStringList{"При приеме не принято ожидаемое число символов. ",
                                                    "В ответе указан не тот номер команды. ",
                                                    "Указан адрес который не поддерживается. "}
                                     << QStringLiteral("Адрес данных выходит за допустимые границы.")
                                     << device;
        QTest::newRow("exception 6") << ExceptionFlags << 6
                                     << QStringList{"При приеме не принято ожидаемое число символов. ",
                                                    "В ответе указан не тот номер команды. "}
                                     << QStringLiteral("Ошибка устройства 6") << device;
        QTest::newRow("wrong function only")
            << ResultFlags(WrongFunction) << 0 << QStringList{"В ответе указан не тот номер команды. "}
            << QStringLiteral("В ответе указан не тот номер команды.") << exchange;
    }
    void memoAndBox() {
        QFETCH(ResultFlags, flags);
        QFETCH(int, code);
        QFETCH(QStringList, lines);
        QFETCH(QString, boxText);
        QFETCH(QString, boxCaption);
        FormFixture f;
        StopTimers(*f);

        f->ShowExchangeState(flags, uint8_t(code));
        QStringList shown = f->Memo3->toPlainText().split(u'\n');
        QCOMPARE(shown.takeLast(), QString()); // every line ends with a line break
        QCOMPARE(shown, lines);
        QCOMPARE(TForm1::ColorOf(f->Memo3), Yellow);

        f->ReportExchangeError(flags, uint8_t(code));
        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        QCOMPARE(f.boxes.boxes[0].text, boxText);
        QCOMPARE(f.boxes.boxes[0].caption, boxCaption);
        QCOMPARE(f.boxes.boxes[0].icon, BoxIcon::Warning);
        QCOMPARE(f.boxes.boxes[0].buttons, BoxButtons::Ok);
    }

    void goodReadAfterAFailedOneIsNormalAgain() {
        FormFixture f;
        StopTimers(*f);
        f->ShowExchangeState(MissingReply, 0);
        f->ShowExchangeState(0, 0);
        QCOMPARE(f->Memo3->toPlainText(), QStringLiteral("Нормальный обмен"));
        QCOMPARE(TForm1::ColorOf(f->Memo3), TForm1::ButtonFaceColor());
        f->ReportExchangeError(0, 0);
        QVERIFY(f.boxes.boxes.empty());
    }

    void memoColoursArePainted() {
        FormFixture f;
        StopTimers(*f);
        f->show();
        f->TabbedNotebook1->setCurrentIndex(0);
        f->ShowExchangeState(NoReply, 0);
        f->Memo3->clear();
        QCOMPARE(PaintedFace(f->Memo3->viewport()), Yellow);
        f->ShowExchangeState(0, 0);
        f->Memo3->clear();
        QCOMPARE(PaintedFace(f->Memo3->viewport()), TForm1::ButtonFaceColor());
    }

    void editMarkingIsPaintedOnEditsAndBothKindsOfComboBox() {
        FormFixture f;
        StopTimers(*f);
        f->show();
        f->TabbedNotebook1->setCurrentIndex(1);
        f->Edit1->clear();
        f->ComboBox5->setCurrentIndex(-1);
        f->TabbedNotebook1->setCurrentIndex(2);
        f->ComboBox15->setCurrentIndex(-1);
        f->ComboBox15->setEditText(QString());
        for (QWidget* control : std::initializer_list<QWidget*>{f->Edit1, f->ComboBox5, f->ComboBox15}) {
            TForm1::SetEdited(control);
            QCOMPARE(TForm1::ColorOf(control), Aqua);
            QVERIFY2(Near(PaintedFace(control), Aqua), qPrintable(control->objectName()));
            TForm1::SetNormal(control);
            QCOMPARE(TForm1::ColorOf(control), White);
            QVERIFY2(Near(PaintedFace(control), White), qPrintable(control->objectName()));
        }
    }
};

OLV_UI_TEST_MAIN(ExchangeReportTest)
#include "exchange_report_test.moc"
