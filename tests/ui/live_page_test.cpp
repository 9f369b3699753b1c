// Page 0 against the virtual instrument: what a polling step shows, what it logs, and when it polls.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "device/live_trend.h"
#include "link/exchange_status.h"
#include "text/cp1251.h"
#include "ui/widgets/caption_panel.h"
#include "ui/widgets/trend_chart.h"
#include "ui/window/link_health_line.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>
#include <QValueAxis>

using olv::test::SimFormFixture;

namespace {

const QColor White(255, 255, 255);
const QColor Yellow(255, 255, 0);

// A running window on the live page with the log in izm.txt of its working folder. Timer1 is stopped:
// the tests run the polling steps themselves.
void StartOnLivePage(SimFormFixture& form) {
    QVERIFY(form.started());
    form->Timer1->stop();
    form.settle();
    QCOMPARE(form.boxes.boxes.size(), size_t(0));
    form->TabbedNotebook1->setCurrentIndex(0);
    form->live().logEnabled = 1;
    form->live().logFileName = QStringLiteral("izm.txt"); // relative: taken from the working folder
}

QStringList LogLines(const SimFormFixture& form) {
    QFile file(form.dir().filePath(QStringLiteral("izm.txt")));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromLatin1(file.readAll());
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QString& line : lines)
        line += u'\n';
    return lines;
}

// One log line with any time of day: "hh:mm:ss \t <value> \t <status> \n".
void VerifyLogLine(const QString& line, const QString& valueAndStatus) {
    static const QRegularExpression time(QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9] \t "));
    QVERIFY2(time.match(line).hasMatch(), qPrintable(line));
    QCOMPARE(line.mid(11), valueAndStatus);
}

void Command(SimFormFixture& form, const std::string& line) {
    const std::string reply = form.sim.command(line);
    QVERIFY2(reply.rfind("ok", 0) == 0, reply.c_str());
}

} // namespace

class LivePageTest : public QObject {
    Q_OBJECT

  private slots:
    void showsValueStatusAndColours_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QColor>("panelColor");
        QTest::addColumn<QString>("memo");
        QTest::addColumn<bool>("memoYellow");
        QTest::addColumn<QString>("logged");

        QTest::newRow("0") << 0 << "100"
                           << "   100.0000" << White << "Нормальное измерение" << false
                           << "100.0000 \t 00 \n";
        QTest::newRow("0x0041") << 0x0041 << "12.5"
                                << "    12.5000" << Yellow << "Давление ниже НПИ." << true
                                << " 12.5000 \t 41 \n";
        QTest::newRow("0x00C0") << 0x00C0 << "-100000"
                                << "-100000.0000" << Yellow << "Давление ниже НПИ.Давление выше ВПИ." << true
                                << "-100000.0000 \t c0 \n";
        QTest::newRow("0x8000") << 0x8000 << "100"
                                << "   100.0000" << Yellow << "Ошибка EEPROM микроконтроллера." << true
                                << "100.0000 \t 8000 \n";
        QTest::newRow("0x0001") << 0x0001 << "100"
                                << "   100.0000" << Yellow << "" << true << "100.0000 \t 01 \n";
    }

    void showsValueStatusAndColours() {
        QFETCH(int, status);
        QFETCH(QString, value);
        QFETCH(QString, caption);
        QFETCH(QColor, panelColor);
        QFETCH(QString, memo);
        QFETCH(bool, memoYellow);
        QFETCH(QString, logged);

        SimFormFixture form;
        StartOnLivePage(form);
        Command(form, "status " + std::to_string(status));
        Command(form, "value " + value.toStdString());

        form->live().Timer1Timer();

        QCOMPARE(form->Panel1->caption(), caption);
        QCOMPARE(form->Panel1->font().pointSize(), 48);
        QCOMPARE(form->Panel1->captionLabel()->font().pointSize(), 48);
        QCOMPARE(TForm1::ColorOf(form->Panel1), panelColor);
        QCOMPARE(form->Memo2->toPlainText(), memo);
        QCOMPARE(TForm1::ColorOf(form->Memo2), memoYellow ? Yellow : TForm1::ButtonFaceColor());
        QCOMPARE(form->Memo3->toPlainText(), QStringLiteral("Нормальный обмен"));
        QCOMPARE(form->live().live.liveStatus, uint16_t(status));

        const QStringList lines = LogLines(form);
        QCOMPARE(lines.size(), 1);
        VerifyLogLine(lines[0], logged);

        // The same reading again leaves the memos and the value's style alone: set again, they are laid
        // out and repainted, with the page around them, every second.
        const int memo2Revision = form->Memo2->document()->revision();
        const int memo3Revision = form->Memo3->document()->revision();
        form->live().Timer1Timer();
        QCOMPARE(form->Memo2->document()->revision(), memo2Revision);
        QCOMPARE(form->Memo3->document()->revision(), memo3Revision);
        QCOMPARE(form->Panel1->caption(), caption);
    }

    void implausibleValueShowsTheMessageKeepsTheStatusMemoAndLogsNothing() {
        SimFormFixture form;
        StartOnLivePage(form);
        Command(form, "status 65");
        Command(form, "value 100");
        form->live().Timer1Timer();
        QCOMPARE(LogLines(form).size(), 1);

        Command(form, "status 0");
        Command(form, "value raw 7FC00000"); // a NaN under byte order 0
        form->live().Timer1Timer();

        QCOMPARE(form->Panel1->caption(), QStringLiteral("Неправильный формат числа"));
        QCOMPARE(form->Panel1->font().pointSize(), 24);
        QCOMPARE(TForm1::ColorOf(form->Panel1), Yellow);
        // Status 0 with no number: the memo keeps what the last reading put there.
        QCOMPARE(form->Memo2->toPlainText(), QStringLiteral("Давление ниже НПИ."));
        QCOMPARE(TForm1::ColorOf(form->Memo2), Yellow);
        QCOMPARE(form->Memo3->toPlainText(), QStringLiteral("Нормальный обмен"));
        // No line for a value that was never measured (it would read 0.0000).
        QCOMPARE(LogLines(form).size(), 1);

        Command(form, "value 100");
        form->live().Timer1Timer();
        QCOMPARE(form->Panel1->caption(), QStringLiteral("   100.0000"));
        QCOMPARE(form->Panel1->font().pointSize(), 48);
        QCOMPARE(form->Panel1->captionLabel()->font().pointSize(), 48); // the large digits are back
        QCOMPARE(TForm1::ColorOf(form->Panel1), White);
        QCOMPARE(form->Memo2->toPlainText(), QStringLiteral("Нормальное измерение"));
        QCOMPARE(LogLines(form).size(), 2);
    }

    void noReplyKeepsThePreviousReadingAndLogsNothing() {
        SimFormFixture form;
        StartOnLivePage(form);
        Command(form, "status 0");
        Command(form, "value 100");
        form->live().Timer1Timer();
        QCOMPARE(LogLines(form).size(), 1);

        Command(form, "fault noreply on");
        Command(form, "value 50");
        Command(form, "status 128");
        form->live().Timer1Timer();

        // No reply comes with the other flags of an empty reply; its line comes first.
        QString noReply = olv::link::ExchangeStateText(olv::link::NoReply, 0).text;
        noReply.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QVERIFY2(form->Memo3->toPlainText().startsWith(noReply), qPrintable(form->Memo3->toPlainText()));
        QCOMPARE(TForm1::ColorOf(form->Memo3), Yellow);
        // The previous value stays, greyed, and the status memo no longer says it is a measurement.
        QCOMPARE(form->Panel1->caption(), QStringLiteral("   100.0000"));
        QCOMPARE(TForm1::ColorOf(form->Panel1), TForm1::ButtonFaceColor());
        QCOMPARE(form->Memo2->toPlainText(), QStringLiteral("нет связи"));
        QCOMPARE(TForm1::ColorOf(form->Memo2), Yellow);
        QCOMPARE(LogLines(form).size(), 1);

        Command(form, "fault noreply off");
        form->live().Timer1Timer();
        QCOMPARE(form->Panel1->caption(), QStringLiteral("    50.0000"));
        QCOMPARE(form->Memo2->toPlainText(), QStringLiteral("Давление выше ВПИ."));
        QCOMPARE(form->Memo3->toPlainText(), QStringLiteral("Нормальный обмен"));
        QCOMPARE(LogLines(form).size(), 2);
    }

    // After a failed poll a reading puts the page back as that reading shows it without the failure in
    // between: the value, its colours, the line under it and the status memo (which an implausible
    // value with status 0 leaves as the reading before it had it, not at "нет связи").
    void readingAfterAFailedPollShowsThePageAsAFreshOne_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("normal, then a status") << "status 65;value 100" << "status 128;value 50";
        QTest::newRow("a status, then normal") << "status 65;value 100" << "status 0;value 50";
        QTest::newRow("a status, then implausible") << "status 65;value 100" << "status 0;value raw 7FC00000";
        QTest::newRow("normal, then implausible") << "status 0;value 100" << "status 0;value raw 7FC00000";
    }
    void readingAfterAFailedPollShowsThePageAsAFreshOne() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const auto page = [&](bool failBetween, QStringList& shown) {
            SimFormFixture form;
            StartOnLivePage(form);
            const auto commands = [&](const QString& line) {
                for (const QString& command : line.split(u';')) Command(form, command.toStdString());
            };
            commands(before);
            form->live().Timer1Timer();
            if (failBetween) {
                Command(form, "fault noreply once");
                form->live().Timer1Timer();
                QCOMPARE(form->Memo2->toPlainText(), QStringLiteral("нет связи"));
                QVERIFY(!form->Label51->isHidden());
            }
            commands(after);
            form->live().Timer1Timer();
            shown = QStringList{form->Panel1->caption(), form->Panel1->captionLabel()->styleSheet(),
                                TForm1::ColorOf(form->Panel1).name(), form->Label51->isHidden() ? "hidden" : "shown",
                                form->live().Label56->text(), form->Memo2->toPlainText(),
                                TForm1::ColorOf(form->Memo2).name(), form->Memo3->toPlainText()};
        };
        QStringList fresh, afterFailure;
        page(false, fresh);
        page(true, afterFailure);
        QCOMPARE(afterFailure, fresh);
    }

    void noReplyBeforeAnyReadingShowsNoInventedValue() {
        SimFormFixture form;
        StartOnLivePage(form);
        Command(form, "fault noreply on");
        form->live().Timer1Timer();
        QCOMPARE(TForm1::ColorOf(form->Memo3), Yellow);
        QCOMPARE(form->Panel1->caption(), QStringLiteral(" "));
        QCOMPARE(form->Memo2->toPlainText(), QStringLiteral(" "));
        QCOMPARE(LogLines(form).size(), 0);
    }

    void logSwitchedOffOrUnwritableWritesNothingAndSaysNothing() {
        SimFormFixture form;
        StartOnLivePage(form);
        Command(form, "value 100");
        form->live().logEnabled = 0;
        form->live().Timer1Timer();
        QVERIFY(!form.dir().exists(QStringLiteral("izm.txt")));

        form->live().logEnabled = 1;
        form->live().logFileName = form.dir().filePath(QStringLiteral("missing-folder/izm.txt"));
        form->live().Timer1Timer();
        QCOMPARE(form->Panel1->caption(), QStringLiteral("   100.0000"));
        QCOMPARE(form.boxes.boxes.size(), size_t(0));
    }

    void nothingPollsBeforeTheStartUpReadOrOnAnotherPage() {
        SimFormFixture form;
        QVERIFY(form.started());
        // Every request would be traced to COM.txt.
        const QString trace = form.dir().filePath(QStringLiteral("COM.txt"));
        form->linkSettings.traceEnabled = 1;
        form->linkSettings.traceFileName = trace;
        form->Timer1->stop();
        form->Timer3->stop(); // the start-up read has not run
        form->TabbedNotebook1->setCurrentIndex(0);
        Command(form, "value 100");

        QCOMPARE(form->pollEnabled, 0);
        form->live().Timer1Timer();
        form->live().Button10Click();
        QVERIFY(!QFile::exists(trace));
        QCOMPARE(form->Panel1->caption(), QStringLiteral(" "));

        form.settle();
        QCOMPARE(form->pollEnabled, 1);
        QFile::remove(trace);
        for (int page : {1, 2, 3, 4}) {
            form->TabbedNotebook1->setCurrentIndex(page);
            form->live().Timer1Timer();
        }
        QVERIFY(!QFile::exists(trace));
        QCOMPARE(form->Panel1->caption(), QStringLiteral(" "));

        form->TabbedNotebook1->setCurrentIndex(0);
        form->live().Timer1Timer();
        QVERIFY(QFile::exists(trace));
        QCOMPARE(form->Panel1->caption(), QStringLiteral("   100.0000"));
    }

    void applyTakesTheByteOrderForTheNextPoll() {
        SimFormFixture form;
        StartOnLivePage(form);
        Command(form, "value 100");
        Command(form, "set byte_order=3"); // the instrument now sends 00 00 C8 42
        form->live().Timer1Timer();
        QVERIFY(form->Panel1->caption() != QStringLiteral("   100.0000"));

        form->ComboBox17->setCurrentIndex(3);
        form->live().Button9Click();
        QCOMPARE(form->linkSettings.byteOrder, 3);
        QCOMPARE(form->pendingLink.pendingByteOrder, 3);
        form->live().Timer1Timer();
        QCOMPARE(form->Panel1->caption(), QStringLiteral("   100.0000"));

        // A typed text that spells an entry applies that entry; other text changes nothing.
        form->ComboBox17->setEditText(QStringLiteral("0 1 2 3"));
        form->live().Button9Click();
        QCOMPARE(form->linkSettings.byteOrder, 0);
        form->ComboBox17->setEditText(QStringLiteral("3 2 1"));
        form->live().Button9Click();
        QCOMPARE(form->linkSettings.byteOrder, 0);
    }

    // "Записать" switches the log at once; a visit to the communication page leaves it as it is.
    void logSwitchClickedLogsTheNextPollsAndSurvivesAPageVisit() {
        SimFormFixture form;
        StartOnLivePage(form);
        Command(form, "value 100");
        form->live().logEnabled = 0;
        form->ShowLinkSettings(0);
        QVERIFY(!form->CheckBox11->isChecked());

        form->CheckBox11->click();
        QCOMPARE(form->live().logEnabled, 1);
        form->live().Timer1Timer();
        QCOMPARE(LogLines(form).size(), 1);

        form->TabbedNotebook1->setCurrentIndex(2);
        form->TabbedNotebook1->setCurrentIndex(0);
        QVERIFY(form->CheckBox11->isChecked());
        form->live().Timer1Timer();
        QCOMPARE(LogLines(form).size(), 2);

        form->CheckBox11->click();
        QCOMPARE(form->live().logEnabled, 0);
        form->live().Timer1Timer();
        QCOMPARE(LogLines(form).size(), 2);
    }

    // The status bar after a good poll and a poll that meets a fault: the link, its state and the
    // counts of the two exchanges.
    void statusBarCountsEachExchange_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("counts");
        QTest::newRow("no reply") << "fault noreply once"
                                  << "нет ответа"
                                  << "запросов 2, ответов 1, без ответа 1, CRC 0, исключений 0";
        QTest::newRow("CRC") << "fault crc once"
                             << "обмен"
                             << "запросов 2, ответов 1, без ответа 0, CRC 1, исключений 0";
        QTest::newRow("exception") << "fault exception 2 once"
                                   << "обмен"
                                   << "запросов 2, ответов 2, без ответа 0, CRC 0, исключений 1";
    }
    void statusBarCountsEachExchange() {
        QFETCH(QString, fault);
        QFETCH(QString, state);
        QFETCH(QString, counts);
        SimFormFixture form;
        StartOnLivePage(form);
        form->healthLine().linkCounters = {}; // without the start-up read
        form->live().Timer1Timer();
        if (!fault.isEmpty()) Command(form, fault.toStdString());
        form->live().Timer1Timer();
        const QString link = QStringLiteral("COM1 %1 · 19200, четный · адрес 1 · ")
                                 .arg(QString::fromStdString(form.sim.path()));
        const QRegularExpression line(
            QStringLiteral("^%1%2 · %3 · [0-9]+ мс$").arg(QRegularExpression::escape(link), state, counts));
        QVERIFY2(line.match(form->Label52->text()).hasMatch(), qPrintable(form->Label52->text()));
    }

    // The trend in the sensor's units and range; the readings shown saved as a table that reads back
    // as they were, and the chart as a picture.
    void chartUnitsViewAndExport() {
        SimFormFixture form;
        StartOnLivePage(form); // the start-up read: 0..1.6 МПа, transmitted in МПа
        form->show();
        for (const char* value : {"0", "1.6", "0.8125"}) {
            Command(form, std::string("value ") + value);
            form->live().Timer1Timer();
        }
        TrendChart& chart = *form->Chart1;
        QCOMPARE(chart.valueAxis()->titleText(), QStringLiteral("МПа"));
        QCOMPARE(chart.valueAxis()->min(), 0.0); // the margin stops at the sensor's range
        QCOMPARE(chart.valueAxis()->max(), double(1.6f));
        QVERIFY(form->Label40->text().endsWith(QStringLiteral("0.8042 МПа")));

        auto saveAs = [&](const QString& name) {
            form->live().chooseTrendFile = [&, name](QString& chosen) {
                return !(chosen = form.dir().filePath(name)).isEmpty();
            };
            form->Button32->click();
        };
        saveAs(QStringLiteral("trend.csv"));
        QFile file(form.dir().filePath(QStringLiteral("trend.csv")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        // As the journal is written (UTF-8 after its mark, ';'), numbers with a decimal comma, every row
        // with the instrument it was read from.
        QString expected = QStringLiteral("Дата;Время;Значение;Единицы;Статус;Порт;Устройство;Адрес;Модель;"
                                          "Заводской номер\r\n");
        const auto& points = form->live().liveTrend.points();
        const QStringList values{"0", "1,6", "0,8125"}; // each reads back as the float read
        QCOMPARE(points.size(), size_t(values.size()));
        for (size_t i = 0; i < points.size(); ++i)
            expected += QDateTime::fromMSecsSinceEpoch(points[i].timeMs).toString("dd.MM.yyyy;hh:mm:ss;") +
                        values[int(i)] +
                        QStringLiteral(";МПа;0x%1;COM1;%2;1;150;123456\r\n")
                            .arg(points[i].status, 4, 16, QLatin1Char('0'))
                            .arg(QString::fromStdString(form.sim.path()));
        QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF") + expected.toUtf8());

        saveAs(QStringLiteral("trend.png"));
        const QString picture = form.dir().filePath(QStringLiteral("trend.png"));
        QCOMPARE(QImage(picture).size(), chart.size());
        QCOMPARE(form.boxes.boxes.size(), size_t(0));
    }

    // Each poll feeds the trend: a reading is a point of the chart and counts in Label40, a failed
    // read breaks the line, and another byte order starts the chart over.
    void pollsFeedTheChart() {
        SimFormFixture form;
        StartOnLivePage(form);
        auto values = [&form] {
            QList<QList<qreal>> lines;
            for (const QLineSeries* line : form->Chart1->lines()) {
                lines.append(QList<qreal>());
                for (const QPointF& point : line->points())
                    lines.last().append(point.y());
            }
            return lines;
        };
        QCOMPARE(form->Label40->text(), QStringLiteral("Данных нет"));

        Command(form, "value 100");
        form->live().Timer1Timer();
        Command(form, "value 50");
        form->live().Timer1Timer();
        QCOMPARE(values(), (QList<QList<qreal>>{{100, 50}}));
        QCOMPARE(form->Label40->text(), olv::device::TrendStatsText({2, 50, 100, 75}, QStringLiteral("МПа")));

        Command(form, "fault noreply once");
        form->live().Timer1Timer();
        Command(form, "value raw 7FC00000"); // implausible under byte order 0
        form->live().Timer1Timer();
        Command(form, "value 60");
        form->live().Timer1Timer();
        QCOMPARE(values(), (QList<QList<qreal>>{{100, 50}, {60}}));
        QVERIFY(form->Chart1->lines().back()->pointsVisible()); // a lone reading is a dot
        QCOMPARE(form->Label40->text(), olv::device::TrendStatsText({3, 50, 100, 70}, QStringLiteral("МПа")));
        QVERIFY(form->Chart1->valueAxis()->isVisible());
        // Every reading lies inside the axes, and the value axis ends with the readings' margin.
        const TrendChart& chart = *form->Chart1;
        QList<QPointF> drawn;
        for (const QLineSeries* line : chart.lines())
            for (const QPointF& point : line->points()) {
                drawn.append(point);
                QVERIFY(point.y() > chart.valueAxis()->min() && point.y() < chart.valueAxis()->max());
                const QDateTime time = QDateTime::fromMSecsSinceEpoch(qint64(point.x()));
                QVERIFY(time >= chart.timeAxis()->min() && time <= chart.timeAxis()->max());
            }
        QVERIFY(chart.valueAxis()->min() >= 50 - 5 && chart.valueAxis()->max() <= 100 + 5);
        // Nothing is drawn that was not read: the points drawn are the readings, time and value.
        QList<QPointF> readings;
        for (const olv::device::TrendPoint& point : form->live().liveTrend.points())
            readings.append(QPointF(qreal(point.timeMs), point.value));
        QCOMPARE(drawn, readings);

        Command(form, "set byte_order=3");
        form->ComboBox17->setCurrentIndex(3);
        form->live().Button9Click();
        form->live().Timer1Timer();
        QCOMPARE(values(), (QList<QList<qreal>>{{60}}));
        QCOMPARE(form->Label40->text(), olv::device::TrendStatsText({1, 60, 60, 60}, QStringLiteral("МПа")));
    }
};

OLV_UI_TEST_MAIN(LivePageTest)
#include "live_page_test.moc"
