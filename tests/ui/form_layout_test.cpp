// The window as built: lists, hints, initial texts, limits, and which handler each control runs.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"
#include "ui/dialogs/ports_dialog.h"
#include "ui/menus/ports_menu.h"
#include "ui/menus/profile_menu.h"

#include "ui/widgets/caption_panel.h"
#include "ui/window/window_comfort.h"

#include "settings/ini_file.h"
#include "settings/window_geometry.h"

#include <QScreen>
#include <QShortcut>
#include <QSet>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>

using olv::test::FormFixture;

Q_DECLARE_METATYPE(TForm1::Handler)

class FormLayoutTest : public QObject {
    Q_OBJECT

  private:
    template <class W> static W* Find(FormFixture& f, const char* name) {
        W* widget = f->findChild<W*>(QString::fromLatin1(name));
        if (!widget) qWarning("no control %s", name);
        return widget;
    }

  private slots:
    void lists_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("ComboBox1 ports") << "ComboBox1" << 8 << "COM 1"
                                         << "COM 8";
        QTest::newRow("ComboBox2 rates") << "ComboBox2" << 6 << "1200"
                                         << "38400";
        QTest::newRow("ComboBox10 rates") << "ComboBox10" << 6 << "1200"
                                          << "38400";
        QTest::newRow("ComboBox5 damping") << "ComboBox5" << 9 << "нет"
                                           << "64";
        QTest::newRow("ComboBox4 units") << "ComboBox4" << 11 << "%"
                                         << "psi";
        QTest::newRow("ComboBox11 sensor units") << "ComboBox11" << 10 << "МПа"
                                                 << "psi";
        QTest::newRow("ComboBox6 day") << "ComboBox6" << 31 << "1"
                                       << "31";
        QTest::newRow("ComboBox7 month") << "ComboBox7" << 12 << "1"
                                         << "12";
        QTest::newRow("ComboBox8 year") << "ComboBox8" << 16 << "2000"
                                        << "2015";
        for (const char* name : {"ComboBox3", "ComboBox9", "ComboBox12", "ComboBox13"})
            QTest::newRow(name) << name << 256 << "  0"
                                << "255";
        QTest::newRow("ComboBox14 parity") << "ComboBox14" << 3 << "Нет"
                                           << "Четный";
        QTest::newRow("ComboBox15 parity") << "ComboBox15" << 3 << "Нет"
                                           << "Четный";
        QTest::newRow("ComboBox16 byte order") << "ComboBox16" << 4 << "0 1 2 3"
                                               << "3 2 1 0";
        QTest::newRow("ComboBox17 byte order") << "ComboBox17" << 4 << "0 1 2 3"
                                               << "3 2 1 0";
    }
    void lists() {
        QFETCH(QString, name);
        QFETCH(int, count);
        QFETCH(QString, first);
        QFETCH(QString, last);
        FormFixture f;
        auto* box = f->findChild<QComboBox*>(name);
        QVERIFY(box);
        QCOMPARE(box->count(), count);
        QCOMPARE(box->itemText(0), first);
        QCOMPARE(box->itemText(count - 1), last);
    }

    void addressEntriesStandForTheirIndex() {
        FormFixture f;
        QCOMPARE(f->ComboBox3->itemText(7), QStringLiteral("  7"));
        QCOMPARE(f->ComboBox3->itemText(42), QStringLiteral(" 42"));
        // The same unit stands one entry further down in ComboBox4, after "%".
        for (int i = 0; i < f->ComboBox11->count(); ++i)
            QCOMPARE(f->ComboBox4->itemText(i + 1), f->ComboBox11->itemText(i));
    }

    void hints_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("hint");
        const char* rows[][2] = {
            {"ComboBox1", "Номер порта"},
            {"ComboBox2", "Скорость обмена"},
            {"ComboBox14", "Паритет при обмене с прибором"},
            {"ComboBox3", "Сетевой номер прибора"},
            {"ComboBox17", "Порядок байт в плавающем числе"},
            {"Button9", "Сменить порядок байт в плавающем числе при приеме"},
            {"CheckBox11", "Будем записывать результат измерения в файл"},
            {"Edit5", "Модель измерителя"},
            {"Edit1", "Код модели измерителя давления"},
            {"Edit2", "Максимум диапазона давления измерителя"},
            {"Edit3", "Минимум диапазона давления измерителя"},
            {"Edit4", "Заводской номер измерителя давления"},
            {"ComboBox6", "Число месяца изготовления"},
            {"ComboBox7", "Месяц изготовления"},
            {"ComboBox8", "Год изготовления"},
            {"ComboBox5", "Коэффициент усреднения"},
            {"ComboBox4", "Единицы в которых будет передаваться значение по запросу компьютора"},
            {"ComboBox11", "Единицы в которых производит измерение датчик"},
            {"Edit6", "Число прибавляемое к измеренному значению"},
            {"Edit7", "Число на которое умножается измеренное значение"},
            {"ComboBox9", "Сетевой номер датчика"},
            {"ComboBox10", "Скорость обмена датчика"},
            {"ComboBox15", "Паритет при обмене с прибором"},
            {"ComboBox16", "Порядок байт в плавающем числе"},
            {"Button8", "Сменить порядок байт в плавающем числе при приеме"},
            {"CheckBox7", "Будем записывать обмен в файл"},
            {"Button1", "Записать параметры связи"},
            {"CheckBox1", "На этой скорости будут искаться приборы в сети"},
            {"CheckBox6", "На этой скорости будут искаться приборы в сети"},
            {"CheckBox8", "Будем искать без паритета"},
            {"CheckBox9", "Будем искать с нечетным паритетом"},
            {"CheckBox10", "Будем искать с четным паритетом"},
            {"ComboBox12", "Сетевой номер с которого начинается поиск приборов"},
            {"ComboBox13", "Сетевой номер которым заканчивается поиск"},
            {"Button4", "Начать поиск приборов в сети"},
            {"Button5", "Закончить поиск приборов в сети"},
            {"Edit8", "Текст хранимый в приборе. 16 символов."},
            {"Edit9", "Модель прибора для опознования программами.Вводится как десятичное число."},
            {"Edit10", "Версия железа.Вводится как десятичное число."},
            {"Edit11", "Версия ПО.Вводится как десятичное число."},
            {"Button7", "Записать текст в прибор"},
            {"Button6", "Прочитать текст из прибора"},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << row[0] << QString::fromUtf8(row[1]);
    }
    void hints() {
        QFETCH(QString, name);
        QFETCH(QString, hint);
        FormFixture f;
        auto* control = f->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->toolTip(), hint);
    }

    void sensorButtonsCarryHintsTheyDoNotShow() {
        FormFixture f;
        QCOMPARE(f->Button2->property("hint").toString(), QStringLiteral("Прочитать конфигурацию датчика"));
        QCOMPARE(f->Button3->property("hint").toString(), QStringLiteral("Записать конфигурацию датчика"));
        QVERIFY(f->Button2->toolTip().isEmpty());
        QVERIFY(f->Button3->toolTip().isEmpty());
        for (QWidget* unhinted :
             std::initializer_list<QWidget*>{f->Label1, f->RichEdit1, f->ListBox1, f->Button10})
            QVERIFY(unhinted->toolTip().isEmpty());
    }

    void initialTexts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        for (const char* edit :
             {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit8", "Edit9", "Edit10", "Edit11"})
            QTest::newRow(edit) << edit << QStringLiteral("Данных нет");
        QTest::newRow("Edit6") << "Edit6" << QStringLiteral(" Данных нет");
        QTest::newRow("Edit7") << "Edit7" << QStringLiteral(" Данных нет");
        QTest::newRow("Memo2") << "Memo2" << QStringLiteral(" ");
        QTest::newRow("Memo3") << "Memo3" << QStringLiteral(" ");
        QTest::newRow("Panel1") << "Panel1" << QStringLiteral(" ");
        QTest::newRow("Panel3") << "Panel3" << QStringLiteral("Panel3");
        QTest::newRow("Panel4") << "Panel4" << QStringLiteral("Panel4");
        QTest::newRow("Panel5") << "Panel5" << QStringLiteral("Panel5");
        QTest::newRow("Label1") << "Label1" << QStringLiteral(" ");
        QTest::newRow("Label20") << "Label20" << QStringLiteral(" ");
        QTest::newRow("Label40") << "Label40" << QStringLiteral("Данных нет");
        QTest::newRow("RichEdit1") << "RichEdit1" << QString();
        QTest::newRow("ComboBox12") << "ComboBox12" << QStringLiteral(" ");
        QTest::newRow("ComboBox13") << "ComboBox13" << QStringLiteral(" ");
        for (const char* box : {"ComboBox14", "ComboBox15", "ComboBox16", "ComboBox17"})
            QTest::newRow(box) << box << QString::fromLatin1(box);
    }
    void initialTexts() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        FormFixture f(FormFixture::WithoutFormCreate());
        f->FillListsHintsAndCaption();
        QObject* control = f->findChild<QObject*>(name);
        QVERIFY(control);
        QString shown;
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            shown = edit->text();
        else if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
            shown = memo->toPlainText();
        else if (auto* rich = qobject_cast<QTextEdit*>(control))
            shown = rich->toPlainText();
        else if (auto* label = qobject_cast<QLabel*>(control))
            shown = label->text();
        else if (auto* box = qobject_cast<QComboBox*>(control))
            shown = box->currentText();
        else if (auto* panel = dynamic_cast<CaptionPanel*>(control))
            shown = panel->caption();
        QCOMPARE(shown, text);
    }

    void editableBoxesShowAListEntryAfterStartUp() {
        FormFixture f;
        for (QComboBox* box : {f->ComboBox14, f->ComboBox15, f->ComboBox16, f->ComboBox17}) {
            QVERIFY2(box->currentIndex() >= 0, qPrintable(box->objectName()));
            QCOMPARE(box->currentText(), box->itemText(box->currentIndex()));
        }
    }

    void kindsOfBoxes() {
        FormFixture f;
        for (QComboBox* box :
             {f->ComboBox1, f->ComboBox2, f->ComboBox3, f->ComboBox4, f->ComboBox5, f->ComboBox6,
              f->ComboBox7, f->ComboBox8, f->ComboBox9, f->ComboBox10, f->ComboBox11})
            QVERIFY2(!box->isEditable(), qPrintable(box->objectName()));
        for (QComboBox* box :
             {f->ComboBox12, f->ComboBox13, f->ComboBox14, f->ComboBox15, f->ComboBox16, f->ComboBox17})
            QVERIFY2(box->isEditable(), qPrintable(box->objectName()));
    }

    void typingStopsAtTheLengthLimit_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("limit");
        QTest::newRow("Edit5") << "Edit5" << 8;
        QTest::newRow("Edit1") << "Edit1" << 8;
        QTest::newRow("Edit2") << "Edit2" << 10;
        QTest::newRow("Edit3") << "Edit3" << 10;
        QTest::newRow("Edit4") << "Edit4" << 8;
        QTest::newRow("Edit8") << "Edit8" << 16;
    }
    void typingStopsAtTheLengthLimit() {
        QFETCH(QString, name);
        QFETCH(int, limit);
        FormFixture f;
        auto* edit = f->findChild<QLineEdit*>(name);
        // The design text is shown whole even where it is longer than the limit.
        QCOMPARE(edit->text(), QStringLiteral("Данных нет"));
        // Removing characters from an over-long text works.
        edit->setFocus();
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QStringLiteral("Данных не"));
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("12345678901234567890"));
        QCOMPARE(edit->text(), QStringLiteral("12345678901234567890").left(limit));
        // A paste that does not fit keeps its first characters, in front of the text after the cursor.
        edit->setText(QStringLiteral("12"));
        edit->setCursorPosition(1);
        QGuiApplication::clipboard()->setText(QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
        edit->paste();
        QCOMPARE(edit->text(), (QStringLiteral("1abcdefghijklmnopqrstuvwxyz").left(limit - 1) + u'2'));
    }

    void hiddenAndShownControls() {
        FormFixture f(FormFixture::WithoutFormCreate());
        f->show();
        f->TabbedNotebook1->setCurrentIndex(0);
        QVERIFY(!f->Button10->isVisible());
        QVERIFY(!f->Label20->isVisible());
        QVERIFY(f->Panel5->isVisible()); // until the first configuration read
        QCOMPARE(f->ProgressBar3->maximum(), 100);
        f->TabbedNotebook1->setCurrentIndex(1);
        QVERIFY(!f->Panel3->isVisible());
        QCOMPARE(f->ProgressBar1->maximum(), 7);
        f->TabbedNotebook1->setCurrentIndex(2);
        QVERIFY(!f->Button8->isVisible());
        QVERIFY(!f->Panel4->isVisible());
        QCOMPARE(f->ProgressBar2->maximum(), 100);
    }

    void windowNotebookMenuAndDialogs() {
        FormFixture f;
        QCOMPARE(f->windowTitle(), QStringLiteral("Mod Bus OLV 1.1.3.1"));
        QCOMPARE(f->objectName(), QStringLiteral("Form1"));
        // The window is designed to open on page 4; without recent.prf the profile created at start
        // selects page 1.
        QCOMPARE(f->TabbedNotebook1->currentIndex(), 1);
        {
            FormFixture designed(FormFixture::WithoutFormCreate());
            QCOMPARE(designed->TabbedNotebook1->currentIndex(), 4);
        }
        const QStringList tabs{QStringLiteral("Текущее значение"),
                               QStringLiteral("Параметры датчика"),
                               QStringLiteral("Настройки связи"),
                               QStringLiteral("Поиск приборов"),
                               QStringLiteral("Текст"),
                               QStringLiteral("Монитор линии")};
        QCOMPARE(f->TabbedNotebook1->count(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(f->TabbedNotebook1->tabText(i), tabs[i]);
        QCOMPARE(f->TabbedNotebook1->tabBar()->font().pixelSize(), 16);
        // Every caption fits: the tab bar needs no scroll buttons at the window's size.
        f->show();
        QVERIFY(f->TabbedNotebook1->tabBar()->sizeHint().width() <= f->TabbedNotebook1->width());

        QCOMPARE(f->N1->title().remove(u'&'), QStringLiteral("Файл"));
        QCOMPARE(f->N2->text(), QStringLiteral("Прочитать профиль настроек"));
        QCOMPARE(f->N3->text(), QStringLiteral("Записать профиль настроек"));
        QVERIFY(f->N2->shortcut().isEmpty());
        const QStringList filters{QStringLiteral("Профиль настроек (*.prf)"),
                                  QStringLiteral("Все файлы (*)")};
        // Making Qt's file dialogs costs a third of the start-up: none is made before it is used.
        for (const LazyFileDialog* lazy : {&f->OpenDialog1, &f->SaveDialog1, &f->OpenDialog2, &f->SaveDialog2,
                                           &f->SaveDialog3})
            QVERIFY(!lazy->made());
        for (QFileDialog* dialog : {f->OpenDialog1, f->SaveDialog1}) {
            QCOMPARE(dialog->nameFilters(), filters);
            QCOMPARE(dialog->selectedNameFilter(), filters.first());
            QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
        }
        QCOMPARE(f->SaveDialog1->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(f->Timer4->interval(), 500);
        QCOMPARE(f->Timer1->interval(), 1000);
    }

    // The icon, "Выход" last in "Файл", and "Справка" with the guide (F1) and "О программе".
    void exitHelpAndAbout() {
        FormFixture f;
        olv::test::StopTimers(*f);
        f->show();
        QVERIFY(!f->windowIcon().pixmap(32).isNull());
        const QList<QAction*> file = f->N1->actions();
        QCOMPARE(file.last(), f->N9);
        QCOMPARE(f->N9->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        QCOMPARE(f->N11->shortcut(), QKeySequence(Qt::Key_F1));

        f->N12->trigger();
        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        const olv::messages::Box& about = f.boxes.boxes[0];
        const QString dir = QDir::toNativeSeparators(f.dir().absolutePath());
        QCOMPARE(about.detail, QStringLiteral("Qt %1\nПапка данных: %2\nЖурнал обмена: %2/COM.txt\n"
                                              "Журнал измерений: %2/izm.txt")
                                   .arg(QString::fromLatin1(qVersion()), dir));

        // The user's guide, from where the installed program finds it.
        f->N11->trigger();
        QVERIFY(f->HelpWindow1 && f->HelpWindow1->isVisible());
        const QString guide = f->HelpWindow1->findChild<QTextBrowser*>()->toPlainText();
        QVERIFY(guide.contains(QStringLiteral("Последовательные порты в Linux")));

        f->N9->trigger();
        QCOMPARE(f->formCloseRuns, 1);
        QVERIFY(!f->isVisible());
    }

    // The frequent items have shortcuts, Alt with a menu's first letter opens it (its caption stays),
    // and on a large screen no field or pane is stretched across it.
    void keysAndWidthsOnALargeScreen() {
        FormFixture f;
        olv::test::StopTimers(*f);
        QCOMPARE(f->N6->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(f->N5->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(f->N7->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
        QCOMPARE(f->N8->shortcut(), QKeySequence(QStringLiteral("Ctrl+J")));
        // The captions stay as they were, with Qt's mnemonics on their first letters; the same keys of
        // the Latin layout are shortcuts of their own.
        QCOMPARE(f->N1->title().remove(u'&'), QStringLiteral("Файл"));
        QCOMPARE(f->N10->title().remove(u'&'), QStringLiteral("Справка"));
        QCOMPARE(QKeySequence::mnemonic(f->N1->title()), QKeySequence(QStringLiteral("Alt+Ф")));
        QCOMPARE(QKeySequence::mnemonic(f->N10->title()), QKeySequence(QStringLiteral("Alt+С")));
        QStringList keys{QKeySequence::mnemonic(f->N1->title()).toString(),
                         QKeySequence::mnemonic(f->N10->title()).toString()};
        for (const QShortcut* shortcut : f->comfort().menuShortcuts)
            keys << shortcut->key().toString();
        QVERIFY2(keys.contains(QStringLiteral("Alt+A")) && keys.contains(QStringLiteral("Alt+C")),
                 qPrintable(keys.join(u' ')));
        // Every shortcut of the window once: none shadows another.
        QStringList all = keys;
        for (const QMenu* menu : {f->N1, f->N10})
            for (const QAction* action : menu->actions())
                if (!action->shortcut().isEmpty()) all << action->shortcut().toString();
        QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), all.size());

        // Alt+Ф opens "Файл" (the mnemonic), Alt+C "Справка" (the Latin layout's key).
        f->show();
        QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
        QTest::sendKeyEvent(QTest::Click, f.form.get(), Qt::Key(0x0424), QStringLiteral("ф"), Qt::AltModifier);
        QTRY_VERIFY(f->N1->isVisible());
        f->N1->hide();
        QTest::keyClick(f.form.get(), Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(f->N10->isVisible());
        f->N10->hide();

        f->show();
        f->resize(1920, 1080);
        for (int page = 0; page < 5; ++page) {
            f->TabbedNotebook1->setCurrentIndex(page);
            QCoreApplication::processEvents();
            for (QLineEdit* field : f->TabbedNotebook1->widget(page)->findChildren<QLineEdit*>()) {
                if (!field->isVisible() || qobject_cast<QComboBox*>(field->parentWidget())) continue;
                QVERIFY2(field->width() <= 400, qPrintable(field->objectName()));
            }
        }
        f->TabbedNotebook1->setCurrentIndex(0);
        QCoreApplication::processEvents();
        QVERIFY(f->Memo2->width() <= 640 && f->Memo3->width() <= 640);
    }

    // The window's place is kept in dev.dat at exit and taken at the next start; the first start
    // without dev.dat says where COM1 leads.
    void placeKeptAndFirstStartNote() {
        QRect shown;
        QByteArray station;
        {
            FormFixture f;
            olv::test::StopTimers(*f);
            QVERIFY(!f->comfort().Label61->isHidden());
            QVERIFY2(f->comfort().Label61->text().contains(
                         QStringLiteral("COM1 ведёт к %1").arg(QString::fromStdString(olv::test::FakePortPath(1)))),
                     qPrintable(f->comfort().Label61->text()));
            QVERIFY(f->comfort().Label61->text().contains(QStringLiteral("Файл → «Назначение портов…»")));
            f->show();
            f->setGeometry(QRect(30, 40, 760, 540));
            QCoreApplication::processEvents();
            shown = f->geometry();
            f->close();
            QFile file(f.dir().filePath("dev.dat"));
            QVERIFY(file.open(QIODevice::ReadOnly));
            station = file.readAll();
            const auto kept = olv::settings::ReadWindowGeometry(olv::settings::IniFile(f.dir().filePath("dev.dat")));
            QVERIFY(kept);
            QCOMPARE(kept->frame, shown);
        }
        FormFixture::Options options;
        options.prepare = [station](const QDir& dir) {
            QFile file(dir.filePath("dev.dat"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(station);
        };
        FormFixture again(options);
        olv::test::StopTimers(*again);
        QVERIFY(again->comfort().Label61->isHidden());
        // Where it was, when that is on the screen there is; else moved onto it whole.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        if (screen.contains(shown))
            QCOMPARE(again->geometry(), shown);
        else
            QVERIFY(screen.contains(again->geometry()));
    }

    void comboBoxesRunTheirHandlers_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<TForm1::Handler>("handler");
        QTest::newRow("ComboBox1") << "ComboBox1" << TForm1::Handler(&TForm1::ComboBox1Change);
        QTest::newRow("ComboBox2") << "ComboBox2" << TForm1::Handler(&TForm1::ComboBox2Change);
        QTest::newRow("ComboBox3") << "ComboBox3" << TForm1::Handler(&TForm1::ComboBox3Change);
        QTest::newRow("ComboBox14") << "ComboBox14" << TForm1::Handler(&TForm1::ComboBox14Change);
        QTest::newRow("ComboBox4") << "ComboBox4" << TForm1::Handler(&SensorPage::ComboBox4Change);
        QTest::newRow("ComboBox5") << "ComboBox5" << TForm1::Handler(&SensorPage::ComboBox5Change);
        QTest::newRow("ComboBox6") << "ComboBox6" << TForm1::Handler(&SensorPage::ComboBox6Change);
        QTest::newRow("ComboBox7") << "ComboBox7" << TForm1::Handler(&SensorPage::ComboBox7Change);
        QTest::newRow("ComboBox8") << "ComboBox8" << TForm1::Handler(&SensorPage::ComboBox8Change);
        QTest::newRow("ComboBox11") << "ComboBox11" << TForm1::Handler(&SensorPage::ComboBox11Change);
        QTest::newRow("ComboBox9") << "ComboBox9" << TForm1::Handler(&LinkPage::ComboBox9Change);
        QTest::newRow("ComboBox10") << "ComboBox10" << TForm1::Handler(&LinkPage::ComboBox10Change);
        QTest::newRow("ComboBox15") << "ComboBox15" << TForm1::Handler(&LinkPage::ComboBox15Change);
        QTest::newRow("ComboBox16") << "ComboBox16" << TForm1::Handler(&LinkPage::ComboBox16Change);
    }
    void comboBoxesRunTheirHandlers() {
        QFETCH(QString, name);
        QFETCH(TForm1::Handler, handler);
        FormFixture f;
        olv::test::ModalDismisser dismisser;
        auto* box = f->findChild<QComboBox*>(name);
        QVERIFY(box);
        f->lastHandler = nullptr;
        // Selecting from code raises nothing.
        box->setCurrentIndex(1);
        QVERIFY(f->lastHandler == nullptr);
        // A pick by the user does, also of the entry already selected.
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down);
        QVERIFY(f->lastHandler == handler);
        f->lastHandler = nullptr;
        emit box->activated(box->currentIndex());
        QVERIFY(f->lastHandler == handler);
    }

    void otherControlsRunTheirHandlers() {
        FormFixture f;
        // A timer's tick inside a handler's pauses or while a file dialog is open would run its own
        // handler in between and overwrite the handler recorded.
        olv::test::StopTimers(*f);
        olv::test::ModalDismisser dismisser;
        const std::pair<QLineEdit*, TForm1::Handler> edits[] = {
            {f->Edit1, &SensorPage::Edit1Change},   {f->Edit2, &SensorPage::Edit2Change},
            {f->Edit3, &SensorPage::Edit3Change},   {f->Edit4, &SensorPage::Edit4Change},
            {f->Edit5, &SensorPage::Edit5Change},   {f->Edit6, &SensorPage::Edit6Change},
            {f->Edit7, &SensorPage::Edit7Change},   {f->Edit8, &TextPage::Edit8Change},
            {f->Edit9, &TextPage::Edit9Change},   {f->Edit10, &TextPage::Edit10Change},
            {f->Edit11, &TextPage::Edit11Change},
        };
        for (const auto& [edit, handler] : edits) {
            f->lastHandler = nullptr;
            edit->setText(QStringLiteral("12")); // a change from code is a change too
            QVERIFY2(f->lastHandler == handler, qPrintable(edit->objectName()));
        }
        const std::pair<QPushButton*, TForm1::Handler> buttons[] = {
            {f->Button1, &LinkPage::Button1Click}, {f->Button2, &SensorPage::Button2Click},
            {f->Button3, &SensorPage::Button3Click}, {f->Button4, &SearchPage::Button4Click},
            {f->Button5, &SearchPage::Button5Click}, {f->Button6, &TextPage::Button6Click},
            {f->Button7, &TextPage::Button7Click}, {f->Button8, &LinkPage::Button8Click},
            {f->Button9, &LivePage::Button9Click}, {f->Button10, &LivePage::Button10Click},
        };
        for (const auto& [button, handler] : buttons) {
            button->setEnabled(true); // "Остановить" is enabled only while a search runs
            f->lastHandler = nullptr;
            button->click();
            QVERIFY2(f->lastHandler == handler, qPrintable(button->objectName()));
        }
        f->lastHandler = nullptr;
        f->CheckBox7->toggle(); // ticking from code raises the click handler
        QVERIFY(f->lastHandler == &TForm1::CheckBox7Click);

        f->ports().runPortsDialog = [](PortsDialog&) { return false; };
        const std::pair<QAction*, TForm1::Handler> items[] = {
            {f->N2, &ProfileMenu::N2Click},    {f->N3, &ProfileMenu::N3Click},
            {f->N4, &PortsMenu::N4Click},      {f->N5, &ConfigFileMenu::N5Click},
            {f->N6, &ConfigFileMenu::N6Click}, {f->N7, &RecordMenu::N7Click},
            {f->N8, &JournalMenu::N8Click}};
        for (const auto& [item, handler] : items) {
            f->lastHandler = nullptr;
            item->trigger();
            QVERIFY2(f->lastHandler == handler, qPrintable(item->objectName()));
        }

        f->show();
        f->TabbedNotebook1->setCurrentIndex(3);
        f->ListBox1->addItem(QStringLiteral("19200 1 Четный"));
        f->lastHandler = nullptr;
        const QRect row = f->ListBox1->visualItemRect(f->ListBox1->item(0));
        QTest::mouseClick(f->ListBox1->viewport(), Qt::LeftButton, {}, row.center());
        QVERIFY(f->lastHandler == &SearchPage::ListBox1Click);

        for (QTimer* timer : {f->Timer1, f->Timer2, f->Timer3, f->Timer4, f->Timer5})
            timer->stop();
        const std::pair<QTimer*, TForm1::Handler> timers[] = {{f->Timer1, &LivePage::Timer1Timer},
                                                               {f->Timer4, &TForm1::Timer4Timer}};
        for (const auto& [timer, handler] : timers) {
            f->lastHandler = nullptr;
            timer->start(1);
            QTRY_VERIFY(f->lastHandler == handler);
            timer->stop();
        }
    }

    // Typing into the top row's parity box: only an entry is taken, and the box shows the parity in
    // force afterwards.
    void typedParityTextIsRefused_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("parity");
        QTest::newRow("no entry") << "Чётный?" << 2;
        QTest::newRow("unfinished") << "Не" << 2;
        QTest::newRow("entry in small letters") << "нечетный" << 1;
    }
    void typedParityTextIsRefused() {
        QFETCH(QString, typed);
        QFETCH(int, parity);
        FormFixture f;
        olv::test::StopTimers(*f);
        f->show();
        QCOMPARE(f->linkSettings.parity, 2);
        QLineEdit* line = f->ComboBox14->lineEdit();
        line->setFocus();
        line->selectAll();
        for (const QChar c : typed) { // QTest types only Latin-1
            QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(line, &key);
        }
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(f->linkSettings.parity, parity);
        QCOMPARE(f->ComboBox14->currentIndex(), parity);
        QCOMPARE(f->ComboBox14->currentText(), f->ComboBox14->itemText(parity));
    }

    // Every list, once marked as edited and back: its popup draws the current entry in another colour
    // than the others, and visibly (the face colour of the marking must not become the highlight).
    void popupShowsTheCurrentEntry() {
        FormFixture f;
        f->show();
        for (QComboBox* box : f->findChildren<QComboBox*>(QRegularExpression(QStringLiteral("^ComboBox")))) {
            for (int page = 0; page < f->TabbedNotebook1->count(); ++page)
                if (f->TabbedNotebook1->widget(page)->isAncestorOf(box))
                    f->TabbedNotebook1->setCurrentIndex(page);
            box->setCurrentIndex(1);
            TForm1::SetEdited(box);
            TForm1::SetNormal(box);
            box->showPopup();
            QAbstractItemView* view = box->view();
            QTRY_VERIFY(view->isVisible());
            // The current row has a background of its own with its text drawn on it (inside the frame
            // some styles draw around the row).
            const QImage shot = view->viewport()->grab().toImage();
            const QRect row = view->visualRect(view->model()->index(1, 0)).adjusted(3, 3, -3, -3) &
                              shot.rect().adjusted(3, 3, -3, -3);
            const QColor background = shot.pixelColor(row.topLeft());
            QVERIFY(background !=
                    shot.pixelColor(row.left(), view->visualRect(view->model()->index(0, 0)).center().y()));
            bool textDrawn = false;
            for (int y = row.top(); y <= row.bottom(); ++y)
                for (int x = row.left(); x <= row.right(); ++x)
                    textDrawn = textDrawn || shot.pixelColor(x, y) != background;
            QVERIFY2(textDrawn, qPrintable(box->objectName()));
            box->hidePopup();
        }
    }

    void enterAddsNoLineToTheExchangeStateMemo() {
        FormFixture f;
        f->Memo3->setPlainText(QStringLiteral("a"));
        QTest::keyClick(f->Memo3, Qt::Key_Return);
        QCOMPARE(f->Memo3->toPlainText(), QStringLiteral("a"));
    }
};

OLV_UI_TEST_MAIN(FormLayoutTest)
#include "form_layout_test.moc"
