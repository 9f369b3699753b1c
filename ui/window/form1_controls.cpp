// The window's controls: every one made in one go, the link row, the notebook, the status bar, the
// File menu and the timers here, each page's own in the page's file.
#include "ui/window/form1_controls.h"

#include "ui/widgets/steady_box.h"
#include "ui/window/control_makers.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

void Form1Controls::setupUi(QMainWindow* window) {
    window->setObjectName(QStringLiteral("Form1"));
    auto* central = new QWidget(window);
    central->setObjectName(QStringLiteral("Form1Client"));
    window->setCentralWidget(central);
    auto* main = new QVBoxLayout(central);
    main->setContentsMargins(8, 6, 8, 8);
    main->setSpacing(4);

    // Top row: port, baud rate, parity; the instrument address at the right.
    auto* top = new QGridLayout();
    top->setHorizontalSpacing(10);
    top->setVerticalSpacing(2);
    top->addWidget(MakeLabel(central, Label21, "Label21", QStringLiteral("Порт")), 0, 0);
    top->addWidget(MakeList(central, ComboBox1, "ComboBox1"), 1, 0);
    top->addWidget(MakeLabel(central, Label22, "Label22", QStringLiteral("Скорость")), 0, 1);
    top->addWidget(MakeList(central, ComboBox2, "ComboBox2"), 1, 1);
    top->addWidget(MakeLabel(central, Label32, "Label32", QStringLiteral("Паритет")), 0, 2);
    top->addWidget(MakeEditableCombo(central, ComboBox14, "ComboBox14", QStringLiteral("ComboBox14")), 1, 2);
    top->setColumnStretch(3, 1);
    top->addWidget(MakeLabel(central, Label3, "Label3", QStringLiteral("Адрес прибора")), 1, 4);
    top->addWidget(MakeList(central, ComboBox3, "ComboBox3"), 1, 5);
    main->addLayout(top);

    main->addWidget(MakeLabel(central, Label1, "Label1", QStringLiteral(" ")));

    Make(central, RichEdit1, "RichEdit1")->setAcceptRichText(false);
    RichEdit1->setFixedHeight(4 * RichEdit1->fontMetrics().lineSpacing() + 12);
    main->addWidget(RichEdit1);

    Make(central, TabbedNotebook1, "TabbedNotebook1");
    QFont tabFont = TabbedNotebook1->tabBar()->font();
    tabFont.setPixelSize(16);
    TabbedNotebook1->tabBar()->setFont(tabFont);
    TabbedNotebook1->tabBar()->setExpanding(false);
    const QString pageCaptions[] = {QStringLiteral("Текущее значение"),
                                    QStringLiteral("Параметры датчика"),
                                    QStringLiteral("Настройки связи"),
                                    QStringLiteral("Поиск приборов"),
                                    QStringLiteral("Текст"),
                                    QStringLiteral("Монитор линии")};
    for (int i = 0; i < 6; ++i) {
        auto* page = new QWidget();
        page->setObjectName(QStringLiteral("Page%1").arg(i));
        switch (i) {
        case 0:
            setupLivePage(page);
            break;
        case 1:
            setupSensorPage(page);
            break;
        case 2:
            setupLinkPage(page);
            break;
        case 3:
            setupSearchPage(page);
            break;
        case 4:
            setupTextPage(page);
            break;
        case 5:
            setupMonitorPage(page);
            break;
        }
        TabbedNotebook1->addTab(page, pageCaptions[i]);
    }
    TabbedNotebook1->setCurrentIndex(4);
    main->addWidget(TabbedNotebook1, 1);

    // The link health line under the pages.
    StatusBar1 = window->statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    MakeLabel(StatusBar1, Label52, "Label52", QString())->setTextFormat(Qt::PlainText);
    Label52->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // never widens the window
    // Its counts change with every exchange: that lays out nothing while the line fits.
    StatusBar1->addWidget(new SteadyBox(Label52, StatusBar1), 1);

    setupFileMenu(window);
    setupExitAndHelp(window);

    // Timers: 1000 ms unless set otherwise; Timer4 runs every 500 ms. FormCreate starts all five once
    // start-up has finished, so that no tick is handled inside it (nor inside one of its boxes).
    for (auto [member, name] :
         {std::pair{&Timer1, "Timer1"}, std::pair{&Timer2, "Timer2"}, std::pair{&Timer3, "Timer3"},
          std::pair{&Timer4, "Timer4"}, std::pair{&Timer5, "Timer5"}}) {
        *member = new QTimer(window);
        (*member)->setObjectName(QString::fromLatin1(name));
        (*member)->setInterval(1000);
    }
    Timer4->setInterval(500);
    // The line monitor's timer runs only while it has something to do (listening, new own frames).
    Timer6 = new QTimer(window);
    Timer6->setObjectName(QStringLiteral("Timer6"));
    Timer6->setInterval(50);
    Timer5->setTimerType(Qt::PreciseTimer); // a Pause ends as soon after its time as possible

    // About 700 x 550, wide enough for every tab caption at its larger font.
    const int tabsWidth = TabbedNotebook1->tabBar()->sizeHint().width() + 2 * 8 + 24;
    window->resize(std::max(720, tabsWidth), 570);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

void Form1Controls::setupFileMenu(QMainWindow* window) {
    MainMenu1 = window->menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    N1 = MainMenu1->addMenu(QStringLiteral("&Файл")); // Alt+Ф through Qt's own mnemonic
    N1->setObjectName(QStringLiteral("N1"));
    N2 = N1->addAction(QStringLiteral("Прочитать профиль настроек"));
    N2->setObjectName(QStringLiteral("N2"));
    N3 = N1->addAction(QStringLiteral("Записать профиль настроек"));
    N3->setObjectName(QStringLiteral("N3"));
    N4 = N1->addAction(QStringLiteral("Назначение портов…"));
    N4->setObjectName(QStringLiteral("N4"));
    const auto item = [this](QAction*& member, const char* name, const QString& text) {
        member = N1->addAction(text);
        member->setObjectName(QString::fromLatin1(name));
    };
    item(N5, "N5", QStringLiteral("Сохранить конфигурацию прибора…"));
    item(N6, "N6", QStringLiteral("Открыть конфигурацию прибора…"));
    item(N7, "N7", QStringLiteral("Протокол настройки…"));
    item(N8, "N8", QStringLiteral("Журнал изменений…"));

    const auto dialog = [window](LazyFileDialog& member, const char* name, QFileDialog::AcceptMode mode,
                               const QStringList& filters) {
        member = LazyFileDialog([=] {
            auto* made = new QFileDialog(window);
            made->setObjectName(QString::fromLatin1(name));
            // Qt's own dialog, which leaves the working folder (where recent.prf is written) alone.
            made->setOption(QFileDialog::DontUseNativeDialog, true);
            made->setAcceptMode(mode);
            made->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
            made->setNameFilters(filters);
            made->selectNameFilter(filters.first());
            made->setModal(true);
            return made;
        });
    };
    const QStringList configFilters{QStringLiteral("Конфигурация прибора (*.cfg)"),
                                    QStringLiteral("Все файлы (*)")};
    dialog(OpenDialog2, "OpenDialog2", QFileDialog::AcceptOpen, configFilters);
    dialog(SaveDialog2, "SaveDialog2", QFileDialog::AcceptSave, configFilters);
    dialog(SaveDialog3, "SaveDialog3", QFileDialog::AcceptSave,
           {QStringLiteral("Протокол настройки (*.pdf)"), QStringLiteral("Все файлы (*)")});
    N13 = N1->addAction(QStringLiteral("Калибровка…"));
    N13->setObjectName(QStringLiteral("N13"));

    const QStringList filters{QStringLiteral("Профиль настроек (*.prf)"), QStringLiteral("Все файлы (*)")};
    auto makeDialog = [=](LazyFileDialog& member, const char* name, QFileDialog::AcceptMode mode) {
        member = LazyFileDialog([=] {
            QFileDialog* made = nullptr;
            Make(window, made, name);
            made->setOption(QFileDialog::DontUseNativeDialog, true);
            made->setAcceptMode(mode);
            made->setFileMode(QFileDialog::AnyFile); // the file name is typed or picked
            made->setNameFilters(filters);
            made->selectNameFilter(filters.first());
            made->setModal(true);
            return made;
        });
    };
    makeDialog(OpenDialog1, "OpenDialog1", QFileDialog::AcceptOpen);
    makeDialog(SaveDialog1, "SaveDialog1", QFileDialog::AcceptSave);
}
