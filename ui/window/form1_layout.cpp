// The window's controls: creation, captions, initial texts, limits, lists, hints and the wiring of
// every control to its handler.
#include "ui/widgets/caption_panel.h"
#include "ui/window/form1.h"

#include "device/register_map.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace {

const QString NoData = QStringLiteral("Данных нет");

template <class W> W* Make(QWidget* parent, W*& member, const char* name) {
    member = new W(parent);
    member->setObjectName(QString::fromLatin1(name));
    return member;
}

QLabel* MakeLabel(QWidget* parent, QLabel*& member, const char* name, const QString& caption) {
    Make(parent, member, name)->setText(caption);
    return member;
}

QPushButton* MakeButton(QWidget* parent, QPushButton*& member, const char* name, const QString& caption) {
    Make(parent, member, name)->setText(caption);
    member->setAutoDefault(false);
    return member;
}

QCheckBox* MakeCheckBox(QWidget* parent, QCheckBox*& member, const char* name, const QString& caption) {
    Make(parent, member, name)->setText(caption);
    return member;
}

// Limits what the user can type or paste into a field to a number of characters, like the length
// limit of a native edit control: text set from code is shown whole (the initial "Данных нет" and the
// values the pages show are longer than some limits), and a text that is already too long can still be
// shortened. An insertion that would go past the limit keeps as many of its first characters as fit.
class LengthLimit : public QValidator {
  public:
    LengthLimit(QLineEdit* edit, int limit) : QValidator(edit), edit_(edit), limit_(limit) {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { shown_ = text; });
        shown_ = edit->text();
    }
    State validate(QString& input, int& position) const override {
        if (input.size() <= limit_ || input.size() < shown_.size()) return Acceptable;
        // Text set from code resets the field's modified state before it is validated; what the user
        // typed or pasted leaves it set.
        if (!edit_->isModified()) return Invalid;
        // The edit replaced shown_[prefix, shown_.size() - suffix) by input[prefix, input.size() - suffix).
        qsizetype prefix = 0;
        while (prefix < shown_.size() && prefix < input.size() && shown_[prefix] == input[prefix])
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < shown_.size() - prefix && suffix < input.size() - prefix &&
               shown_[shown_.size() - 1 - suffix] == input[input.size() - 1 - suffix])
            ++suffix;
        const qsizetype inserted = input.size() - prefix - suffix;
        const qsizetype room = limit_ - (input.size() - inserted);
        if (room <= 0 && inserted > 0 && prefix + suffix == shown_.size()) return Invalid; // nothing fits
        const qsizetype kept = std::clamp<qsizetype>(room, 0, inserted);
        input.remove(prefix + kept, inserted - kept);
        position = static_cast<int>(prefix + kept);
        return Acceptable;
    }
    int limit() const { return limit_; }

  private:
    QLineEdit* edit_;
    int limit_;
    QString shown_;
};

QLineEdit* MakeEdit(QWidget* parent, QLineEdit*& member, const char* name, const QString& text,
                    int maxLength = 0) {
    Make(parent, member, name);
    member->setText(text);
    if (maxLength > 0) {
        member->setValidator(new LengthLimit(member, maxLength));
        member->setProperty("lengthLimit", maxLength);
    }
    return member;
}

// A drop-down list: the user can only pick one of its entries.
QComboBox* MakeList(QWidget* parent, QComboBox*& member, const char* name) {
    Make(parent, member, name)->setEditable(false);
    member->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    member->setMaxVisibleItems(16);
    return member;
}

// An editable combo box: shows its design text until an entry is selected.
QComboBox* MakeEditableCombo(QWidget* parent, QComboBox*& member, const char* name, const QString& text) {
    Make(parent, member, name)->setEditable(true);
    member->setInsertPolicy(QComboBox::NoInsert);
    member->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    member->setMaxVisibleItems(16);
    member->setEditText(text);
    return member;
}

// An editable box whose text must be one of its entries (parity, byte order): a typed character
// that leads to no entry is refused, and a text left unfinished goes back to the entry selected, so
// the box never shows a value that is not in force. A text that spells an entry (in any letter case)
// selects it as a pick does, on Enter or when the box is left.
class EntryOnly : public QValidator {
  public:
    explicit EntryOnly(QComboBox* box) : QValidator(box), box_(box) {}
    State validate(QString& input, int&) const override {
        if (box_->findText(input, Qt::MatchFixedString) >= 0) return Acceptable;
        for (int i = 0; i < box_->count(); ++i)
            if (box_->itemText(i).startsWith(input, Qt::CaseInsensitive)) return Intermediate;
        return Invalid;
    }
    void fixup(QString& input) const override {
        if (box_->currentIndex() >= 0) input = box_->itemText(box_->currentIndex());
    }

  private:
    QComboBox* box_;
};

QProgressBar* MakeProgress(QWidget* parent, QProgressBar*& member, const char* name, int maximum) {
    Make(parent, member, name)->setRange(0, maximum);
    member->setValue(0);
    return member;
}

CaptionPanel* MakePanel(QWidget* parent, CaptionPanel*& member, const char* name, const QString& caption) {
    Make(parent, member, name)->setCaption(caption);
    return member;
}

// Replaces the entries of a list, leaving no entry selected and the design text (if any) showing.
void FillList(QComboBox* box, const QStringList& entries) {
    const QString designText = box->isEditable() ? box->currentText() : QString();
    box->clear();
    box->addItems(entries);
    box->setCurrentIndex(-1);
    if (box->isEditable()) box->setEditText(designText);
}

QStringList Numbers(int first, int last, bool threeWide = false) {
    QStringList entries;
    for (int n = first; n <= last; ++n)
        entries << (threeWide ? QStringLiteral("%1").arg(n, 3, 10, QLatin1Char(' ')) : QString::number(n));
    return entries;
}

void SetHint(QWidget* control, const QString& hint, bool displayed = true) {
    control->setProperty("hint", hint);
    control->setToolTip(displayed ? hint : QString());
}

} // namespace

void TForm1::BuildControls() {
    setObjectName(QStringLiteral("Form1"));
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Form1Client"));
    setCentralWidget(central);
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
            BuildPageLive(page);
            break;
        case 1:
            BuildPageSensor(page);
            break;
        case 2:
            BuildPageLink(page);
            break;
        case 3:
            BuildPageSearch(page);
            break;
        case 4:
            BuildPageText(page);
            break;
        case 5:
            BuildPageMonitor(page);
            break;
        }
        TabbedNotebook1->addTab(page, pageCaptions[i]);
    }
    TabbedNotebook1->setCurrentIndex(4);
    shownPage = 4;
    main->addWidget(TabbedNotebook1, 1);

    // The link health line under the pages.
    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    MakeLabel(StatusBar1, Label52, "Label52", QString())->setTextFormat(Qt::PlainText);
    Label52->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // never widens the window
    StatusBar1->addWidget(Label52, 1);

    // Menu and file dialogs.
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    N1 = MainMenu1->addMenu(QStringLiteral("Файл"));
    N1->setObjectName(QStringLiteral("N1"));
    N2 = N1->addAction(QStringLiteral("Прочитать профиль настроек"));
    N2->setObjectName(QStringLiteral("N2"));
    N3 = N1->addAction(QStringLiteral("Записать профиль настроек"));
    N3->setObjectName(QStringLiteral("N3"));
    N4 = N1->addAction(QStringLiteral("Назначение портов…"));
    N4->setObjectName(QStringLiteral("N4"));
    BuildConfigurationMenu();
    BuildCalibrationMenu();

    const QStringList filters{QStringLiteral("Профиль настроек (*.prf)"), QStringLiteral("Все файлы (*)")};
    auto makeDialog = [&](QFileDialog*& member, const char* name, QFileDialog::AcceptMode mode) {
        Make(this, member, name);
        member->setOption(QFileDialog::DontUseNativeDialog, true);
        member->setAcceptMode(mode);
        member->setFileMode(QFileDialog::AnyFile); // the file name is typed or picked
        member->setNameFilters(filters);
        member->selectNameFilter(filters.first());
        member->setModal(true);
    };
    makeDialog(OpenDialog1, "OpenDialog1", QFileDialog::AcceptOpen);
    makeDialog(SaveDialog1, "SaveDialog1", QFileDialog::AcceptSave);

    // Timers: 1000 ms unless set otherwise; Timer4 runs every 500 ms. FormCreate starts all five once
    // start-up has finished, so that no tick is handled inside it (nor inside one of its boxes).
    for (auto [member, name] :
         {std::pair{&Timer1, "Timer1"}, std::pair{&Timer2, "Timer2"}, std::pair{&Timer3, "Timer3"},
          std::pair{&Timer4, "Timer4"}, std::pair{&Timer5, "Timer5"}}) {
        *member = new QTimer(this);
        (*member)->setObjectName(QString::fromLatin1(name));
        (*member)->setInterval(1000);
    }
    Timer4->setInterval(500);
    // The line monitor's timer runs only while it has something to do (listening, new own frames).
    Timer6 = new QTimer(this);
    Timer6->setObjectName(QStringLiteral("Timer6"));
    Timer6->setInterval(50);
    Timer5->setTimerType(Qt::PreciseTimer); // a Pause ends as soon after its time as possible

    // About 700 x 550, wide enough for every tab caption at its larger font.
    const int tabsWidth = TabbedNotebook1->tabBar()->sizeHint().width() + 2 * 8 + 24;
    resize(std::max(720, tabsWidth), 570);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm1::BuildPageLive(QWidget* page) {
    auto* grid = new QGridLayout(page);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);

    grid->addWidget(MakeLabel(page, Label2, "Label2", QStringLiteral("Измеренное значение")), 0, 0);
    MakePanel(page, Panel1, "Panel1", QStringLiteral(" "));
    Panel1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    QFont valueFont = Panel1->font();
    valueFont.setPixelSize(13);
    valueFont.setBold(true);
    Panel1->setFont(valueFont);
    // Room for the 48-point digits of a reading; a long message wraps instead of widening the column.
    QFont readingFont = valueFont;
    readingFont.setPointSize(48);
    Panel1->setMinimumHeight(QFontMetrics(readingFont).height() + 12);
    Panel1->captionLabel()->setWordWrap(true);
    // Shown only while the reading on the panel is old: a smaller line under the value.
    Make(Panel1, Label51, "Label51")->setAlignment(Qt::AlignCenter);
    QFont noteFont = QGuiApplication::font();
    noteFont.setPointSize(noteFont.pointSize() + 2);
    Label51->setFont(noteFont);
    Label51->hide();
    Panel1->addControl(Label51);
    grid->addWidget(Panel1, 1, 0);

    // Shown over the value until the first configuration read hides it.
    MakePanel(page, Panel5, "Panel5", QStringLiteral("Panel5"));
    Panel5->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    Panel5->setAutoFillBackground(true);
    Panel5->addControl(MakeProgress(Panel5, ProgressBar3, "ProgressBar3", 100));
    grid->addWidget(Panel5, 1, 0);

    grid->addWidget(MakeLabel(page, Label14, "Label14", QStringLiteral("Результат измерения")), 2, 0);
    Make(page, Memo2, "Memo2")->setPlainText(QStringLiteral(" "));
    grid->addWidget(Memo2, 3, 0);

    grid->addWidget(MakeLabel(page, Label4, "Label4", QStringLiteral("Состояние обмена")), 4, 0);
    Make(page, Memo3, "Memo3")->setPlainText(QStringLiteral(" "));
    Memo3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo3->installEventFilter(this); // Enter adds no line
    grid->addWidget(Memo3, 5, 0);

    auto* right = new QVBoxLayout();
    right->addWidget(MakeLabel(page, Label35, "Label35", QStringLiteral("Порядок байт")));
    auto* order = new QHBoxLayout();
    order->addWidget(MakeEditableCombo(page, ComboBox17, "ComboBox17", QStringLiteral("ComboBox17")));
    order->addWidget(MakeButton(page, Button9, "Button9", QStringLiteral("Применить")));
    order->addStretch(1);
    right->addLayout(order);
    right->addSpacing(12);
    right->addWidget(MakeLabel(page, Label36, "Label36", QStringLiteral("Запись в файл")));
    right->addWidget(MakeCheckBox(page, CheckBox11, "CheckBox11", QStringLiteral("Записать")));
    right->addSpacing(12);
    right->addWidget(MakeButton(page, Button10, "Button10", QStringLiteral("Спросить")));
    Button10->setVisible(false);
    right->addWidget(MakeLabel(page, Label20, "Label20", QStringLiteral(" ")));
    Label20->setVisible(false);
    BuildLiveTrend(page, right);
    grid->addLayout(right, 0, 1, 6, 1);
}

void TForm1::BuildPageSensor(QWidget* page) {
    auto* outer = new QVBoxLayout(page);
    auto* columns = new QHBoxLayout();
    outer->addLayout(columns);

    auto* left = new QGridLayout();
    int row = 0;
    auto addRow = [&](QGridLayout* grid, QLabel*& label, const char* name, const QString& caption,
                      QWidget* control) {
        grid->addWidget(MakeLabel(page, label, name, caption), row, 0);
        grid->addWidget(control, row, 1);
        ++row;
    };
    addRow(left, Label5, "Label5", QStringLiteral("Модель"), MakeEdit(page, Edit5, "Edit5", NoData, 8));
    addRow(left, Label6, "Label6", QStringLiteral("Код модели"), MakeEdit(page, Edit1, "Edit1", NoData, 8));
    addRow(left, Label7, "Label7", QStringLiteral("Максимум диапазона"),
           MakeEdit(page, Edit2, "Edit2", NoData, 10));
    addRow(left, Label8, "Label8", QStringLiteral("Минимум диапазона"),
           MakeEdit(page, Edit3, "Edit3", NoData, 10));
    addRow(left, Label9, "Label9", QStringLiteral("Заводской номер"),
           MakeEdit(page, Edit4, "Edit4", NoData, 8));
    addRow(left, Label10, "Label10", QStringLiteral("Демпфирование"), MakeList(page, ComboBox5, "ComboBox5"));
    auto* date = new QWidget(page);
    auto* dateRow = new QHBoxLayout(date);
    dateRow->setContentsMargins(0, 0, 0, 0);
    dateRow->addWidget(MakeList(date, ComboBox6, "ComboBox6"));
    dateRow->addWidget(MakeList(date, ComboBox7, "ComboBox7"));
    dateRow->addWidget(MakeList(date, ComboBox8, "ComboBox8"));
    dateRow->addStretch(1);
    addRow(left, Label11, "Label11", QStringLiteral("Дата выпуска"), date);
    left->setRowStretch(row, 1);
    columns->addLayout(left, 1);
    columns->addSpacing(16);

    auto* right = new QGridLayout();
    row = 0;
    addRow(right, Label15, "Label15", QStringLiteral("Единицы"), MakeList(page, ComboBox4, "ComboBox4"));
    addRow(right, Label19, "Label19", QStringLiteral("Единицы датчика"),
           MakeList(page, ComboBox11, "ComboBox11"));
    right->addWidget(MakeLabel(page, Label16, "Label16", QStringLiteral("Подстройка")), row++, 0, 1, 2);
    addRow(right, Label17, "Label17", QStringLiteral("Смещение"),
           MakeEdit(page, Edit6, "Edit6", QStringLiteral(" ") + NoData));
    addRow(right, Label18, "Label18", QStringLiteral("Диапазон"),
           MakeEdit(page, Edit7, "Edit7", QStringLiteral(" ") + NoData));
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(MakeButton(page, Button2, "Button2", QStringLiteral("Прочитать")));
    buttons->addWidget(MakeButton(page, Button3, "Button3", QStringLiteral("Записать")));
    buttons->addStretch(1);
    right->addLayout(buttons, row++, 0, 1, 2);
    right->setRowStretch(row, 1);
    columns->addLayout(right, 1);

    MakePanel(page, Panel3, "Panel3", QStringLiteral("Panel3"));
    Panel3->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    Panel3->addControl(MakeProgress(Panel3, ProgressBar1, "ProgressBar1", 7));
    Panel3->setVisible(false);
    outer->addWidget(Panel3);
}

void TForm1::BuildPageLink(QWidget* page) {
    auto* outer = new QVBoxLayout(page);
    auto* grid = new QGridLayout();
    grid->addWidget(MakeLabel(page, Label12, "Label12", QStringLiteral("Сетевой номер")), 0, 0);
    grid->addWidget(MakeList(page, ComboBox9, "ComboBox9"), 0, 1);
    grid->addWidget(MakeLabel(page, Label13, "Label13", QStringLiteral("Скорость обмена")), 1, 0);
    grid->addWidget(MakeList(page, ComboBox10, "ComboBox10"), 1, 1);
    grid->addWidget(MakeLabel(page, Label30, "Label30", QStringLiteral("Паритет")), 2, 0);
    grid->addWidget(MakeEditableCombo(page, ComboBox15, "ComboBox15", QStringLiteral("ComboBox15")), 2, 1);
    auto* orderCaption = new QVBoxLayout();
    orderCaption->setSpacing(0);
    orderCaption->addWidget(MakeLabel(page, Label31, "Label31", QStringLiteral("Порядок байт в ")));
    orderCaption->addWidget(MakeLabel(page, Label34, "Label34", QStringLiteral("измеренном значении")));
    grid->addLayout(orderCaption, 3, 0);
    grid->addWidget(MakeEditableCombo(page, ComboBox16, "ComboBox16", QStringLiteral("ComboBox16")), 3, 1);
    grid->addWidget(MakeButton(page, Button8, "Button8", QStringLiteral("Сменить при приеме")), 3, 2);
    Button8->setVisible(false);
    grid->setColumnStretch(3, 1);
    outer->addLayout(grid);
    outer->addSpacing(10);
    outer->addWidget(MakeCheckBox(page, CheckBox7, "CheckBox7", QStringLiteral("Запись обмена")));
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(MakeButton(page, Button1, "Button1", QStringLiteral("Записать")));
    buttons->addStretch(1);
    outer->addLayout(buttons);
    outer->addStretch(1);
    MakePanel(page, Panel4, "Panel4", QStringLiteral("Panel4"));
    Panel4->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    Panel4->addControl(MakeProgress(Panel4, ProgressBar2, "ProgressBar2", 100));
    Panel4->setVisible(false);
    outer->addWidget(Panel4);
}

void TForm1::BuildPageSearch(QWidget* page) {
    auto* outer = new QVBoxLayout(page);
    auto* columns = new QHBoxLayout();
    outer->addLayout(columns, 1);

    auto* found = new QVBoxLayout();
    found->addWidget(MakeLabel(page, Label23, "Label23", QStringLiteral("Найденные приборы")));
    Make(page, ListBox1, "ListBox1")->setUniformItemSizes(true);
    ListBox1->setStyleSheet(QStringLiteral("QListWidget::item { height: 20px; }"));
    found->addWidget(ListBox1, 1);
    columns->addLayout(found, 1);
    columns->addSpacing(12);

    auto* options = new QGridLayout();
    int row = 0;
    options->addWidget(MakeLabel(page, Label24, "Label24", QStringLiteral("Скорости для поиска")), row++, 0,
                       1, 3);
    options->addWidget(MakeCheckBox(page, CheckBox1, "CheckBox1", QStringLiteral("1200")), row, 0);
    options->addWidget(MakeCheckBox(page, CheckBox2, "CheckBox2", QStringLiteral("2400")), row, 1);
    options->addWidget(MakeCheckBox(page, CheckBox3, "CheckBox3", QStringLiteral("4800")), row++, 2);
    options->addWidget(MakeCheckBox(page, CheckBox4, "CheckBox4", QStringLiteral("9600")), row, 0);
    options->addWidget(MakeCheckBox(page, CheckBox5, "CheckBox5", QStringLiteral("19200")), row, 1);
    options->addWidget(MakeCheckBox(page, CheckBox6, "CheckBox6", QStringLiteral("38400")), row++, 2);
    options->addWidget(MakeLabel(page, Label33, "Label33", QStringLiteral("Паритет")), row++, 0, 1, 3);
    options->addWidget(MakeCheckBox(page, CheckBox8, "CheckBox8", QStringLiteral("нет")), row, 0);
    options->addWidget(MakeCheckBox(page, CheckBox9, "CheckBox9", QStringLiteral("нечетный")), row, 1);
    options->addWidget(MakeCheckBox(page, CheckBox10, "CheckBox10", QStringLiteral("четный")), row++, 2);
    options->addWidget(MakeLabel(page, Label25, "Label25", QStringLiteral("Диапазон адресов поиска")), row++,
                       0, 1, 3);
    auto* range = new QHBoxLayout();
    range->addWidget(MakeLabel(page, Label26, "Label26", QStringLiteral("Начало")));
    range->addWidget(MakeEditableCombo(page, ComboBox12, "ComboBox12", QStringLiteral(" ")));
    range->addSpacing(8);
    range->addWidget(MakeLabel(page, Label27, "Label27", QStringLiteral("Конец")));
    range->addWidget(MakeEditableCombo(page, ComboBox13, "ComboBox13", QStringLiteral(" ")));
    range->addStretch(1);
    options->addLayout(range, row++, 0, 1, 3);
    options->addWidget(MakeLabel(page, Label28, "Label28", QStringLiteral("Поиск")), row++, 0, 1, 3);
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(MakeButton(page, Button4, "Button4", QStringLiteral("Начать")));
    buttons->addWidget(MakeButton(page, Button5, "Button5", QStringLiteral("Остановить")));
    buttons->addStretch(1);
    options->addLayout(buttons, row++, 0, 1, 3);
    options->setRowStretch(row, 1);
    columns->addLayout(options, 1);

    MakePanel(page, Panel2, "Panel2", QString());
    Panel2->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    Panel2->captionLabel()->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette white = Panel2->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel2->setPalette(white);
    Panel2->setAutoFillBackground(true);
    Panel2->setMinimumHeight(Panel2->fontMetrics().lineSpacing() + 14);
    outer->addWidget(Panel2);
}

void TForm1::BuildPageText(QWidget* page) {
    auto* outer = new QVBoxLayout(page);
    outer->addWidget(MakeLabel(page, Label29, "Label29", QStringLiteral("Текст, хранящийся в приборе")));
    auto* textRow = new QHBoxLayout();
    MakeEdit(page, Edit8, "Edit8", NoData, 16);
    Edit8->setMinimumWidth(Edit8->fontMetrics().horizontalAdvance(QString(20, QLatin1Char('W'))));
    textRow->addWidget(Edit8);
    textRow->addStretch(1);
    outer->addLayout(textRow);
    outer->addSpacing(10);
    auto* grid = new QGridLayout();
    grid->addWidget(MakeLabel(page, Label37, "Label37", QStringLiteral("Модель")), 0, 0);
    grid->addWidget(MakeEdit(page, Edit9, "Edit9", NoData), 0, 1);
    grid->addWidget(MakeLabel(page, Label38, "Label38", QStringLiteral("Версия модуля")), 1, 0);
    grid->addWidget(MakeEdit(page, Edit10, "Edit10", NoData), 1, 1);
    grid->addWidget(MakeLabel(page, Label39, "Label39", QStringLiteral("Версия ПО модуля")), 2, 0);
    grid->addWidget(MakeEdit(page, Edit11, "Edit11", NoData), 2, 1);
    grid->setColumnStretch(2, 1);
    outer->addLayout(grid);
    outer->addSpacing(10);
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(MakeButton(page, Button6, "Button6", QStringLiteral("Прочитать")));
    buttons->addWidget(MakeButton(page, Button7, "Button7", QStringLiteral("Записать")));
    buttons->addStretch(1);
    outer->addLayout(buttons);
    outer->addStretch(1);
}

void TForm1::FillListsHintsAndCaption() {
    setWindowTitle(QStringLiteral("Mod Bus OLV 1.1.3.1"));

    QStringList rates;
    for (int rate : olv::device::BaudRates)
        rates << QString::number(rate);
    const QStringList units{
        QStringLiteral("МПа"),    QStringLiteral("кПа"),           QStringLiteral("Па"),
        QStringLiteral("кг/см2"), QStringLiteral("кг/м2"),         QStringLiteral("бар"),
        QStringLiteral("атм"),    QStringLiteral("мм вод столба"), QStringLiteral("мм ртутн столба"),
        QStringLiteral("psi")};
    const QStringList parities{QStringLiteral("Нет"), QStringLiteral("Нечетный"), QStringLiteral("Четный")};
    const QStringList byteOrders{QStringLiteral("0 1 2 3"), QStringLiteral("2 3 0 1"),
                                 QStringLiteral("1 0 3 2"), QStringLiteral("3 2 1 0")};
    QStringList ports;
    for (int n = 1; n <= 8; ++n)
        ports << QStringLiteral("COM %1").arg(n);

    FillList(ComboBox1, ports);
    FillList(ComboBox2, rates);
    FillList(ComboBox10, rates);
    FillList(ComboBox5, {QStringLiteral("нет"), QStringLiteral("2"), QStringLiteral("4"), QStringLiteral("9"),
                         QStringLiteral("16"), QStringLiteral("25"), QStringLiteral("36"),
                         QStringLiteral("49"), QStringLiteral("64")});
    FillList(ComboBox4, QStringList{QStringLiteral("%")} + units);
    FillList(ComboBox11, units);
    FillList(ComboBox6, Numbers(1, 31));
    FillList(ComboBox7, Numbers(1, 12));
    FillList(ComboBox8, Numbers(2000, 2015));
    const QStringList addresses = Numbers(0, 255, true);
    for (QComboBox* box : {ComboBox3, ComboBox9, ComboBox12, ComboBox13})
        FillList(box, addresses);
    FillList(ComboBox14, parities);
    FillList(ComboBox15, parities);
    FillList(ComboBox16, byteOrders);
    FillList(ComboBox17, byteOrders);
    for (QComboBox* box : {ComboBox14, ComboBox15, ComboBox16, ComboBox17})
        if (!box->validator()) box->setValidator(new EntryOnly(box));

    // Hints: edits, combo boxes, buttons, check boxes.
    SetHint(Edit5, QStringLiteral("Модель измерителя"));
    SetHint(Edit1, QStringLiteral("Код модели измерителя давления"));
    SetHint(Edit2, QStringLiteral("Максимум диапазона давления измерителя"));
    SetHint(Edit3, QStringLiteral("Минимум диапазона давления измерителя"));
    SetHint(Edit4, QStringLiteral("Заводской номер измерителя давления"));
    SetHint(Edit6, QStringLiteral("Число прибавляемое к измеренному значению"));
    SetHint(Edit7, QStringLiteral("Число на которое умножается измеренное значение"));
    SetHint(Edit8, QStringLiteral("Текст хранимый в приборе. 16 символов."));
    SetHint(Edit9,
            QStringLiteral("Модель прибора для опознования программами.Вводится как десятичное число."));
    SetHint(Edit10, QStringLiteral("Версия железа.Вводится как десятичное число."));
    SetHint(Edit11, QStringLiteral("Версия ПО.Вводится как десятичное число."));

    SetHint(ComboBox1, QStringLiteral("Номер порта"));
    SetHint(ComboBox2, QStringLiteral("Скорость обмена"));
    SetHint(ComboBox3, QStringLiteral("Сетевой номер прибора"));
    SetHint(ComboBox4, QStringLiteral("Единицы в которых будет передаваться значение по запросу компьютора"));
    SetHint(ComboBox5, QStringLiteral("Коэффициент усреднения"));
    SetHint(ComboBox6, QStringLiteral("Число месяца изготовления"));
    SetHint(ComboBox7, QStringLiteral("Месяц изготовления"));
    SetHint(ComboBox8, QStringLiteral("Год изготовления"));
    SetHint(ComboBox9, QStringLiteral("Сетевой номер датчика"));
    SetHint(ComboBox10, QStringLiteral("Скорость обмена датчика"));
    SetHint(ComboBox11, QStringLiteral("Единицы в которых производит измерение датчик"));
    SetHint(ComboBox12, QStringLiteral("Сетевой номер с которого начинается поиск приборов"));
    SetHint(ComboBox13, QStringLiteral("Сетевой номер которым заканчивается поиск"));
    SetHint(ComboBox14, QStringLiteral("Паритет при обмене с прибором"));
    SetHint(ComboBox15, QStringLiteral("Паритет при обмене с прибором"));
    SetHint(ComboBox16, QStringLiteral("Порядок байт в плавающем числе"));
    SetHint(ComboBox17, QStringLiteral("Порядок байт в плавающем числе"));

    SetHint(Button1, QStringLiteral("Записать параметры связи"));
    SetHint(Button2, QStringLiteral("Прочитать конфигурацию датчика"), false);
    SetHint(Button3, QStringLiteral("Записать конфигурацию датчика"), false);
    SetHint(Button4, QStringLiteral("Начать поиск приборов в сети"));
    SetHint(Button5, QStringLiteral("Закончить поиск приборов в сети"));
    SetHint(Button6, QStringLiteral("Прочитать текст из прибора"));
    SetHint(Button7, QStringLiteral("Записать текст в прибор"));
    SetHint(Button8, QStringLiteral("Сменить порядок байт в плавающем числе при приеме"));
    SetHint(Button9, QStringLiteral("Сменить порядок байт в плавающем числе при приеме"));

    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6})
        SetHint(box, QStringLiteral("На этой скорости будут искаться приборы в сети"));
    SetHint(CheckBox7, QStringLiteral("Будем записывать обмен в файл"));
    SetHint(CheckBox8, QStringLiteral("Будем искать без паритета"));
    SetHint(CheckBox9, QStringLiteral("Будем искать с нечетным паритетом"));
    SetHint(CheckBox10, QStringLiteral("Будем искать с четным паритетом"));
    SetHint(CheckBox11, QStringLiteral("Будем записывать результат измерения в файл"));
}

void TForm1::ConnectHandlers() {
    using Handler = void (TForm1::*)();
    auto onPick = [this](QComboBox* box, Handler handler) {
        // activated: a pick by the user, also of the entry already selected; never from code.
        connect(box, &QComboBox::activated, this, [this, box, handler] {
            Guarded(box, [&] {
                lastHandler = handler;
                (this->*handler)();
            });
        });
    };
    auto onEdit = [this](QLineEdit* edit, Handler handler) {
        // Any change of the text, typed or set from code.
        connect(edit, &QLineEdit::textChanged, this, [this, edit, handler] {
            Guarded(edit, [&] {
                lastHandler = handler;
                (this->*handler)();
            });
        });
    };
    auto onClick = [this](QPushButton* button, Handler handler) {
        connect(button, &QPushButton::clicked, this, [this, button, handler] {
            Guarded(button, [&] {
                lastHandler = handler;
                (this->*handler)();
            });
        });
    };
    auto onTick = [this](QTimer* timer, Handler handler) {
        connect(timer, &QTimer::timeout, this, [this, timer, handler] {
            Guarded(timer, [&] {
                lastHandler = handler;
                (this->*handler)();
            });
        });
    };

    onPick(ComboBox1, &TForm1::ComboBox1Change);
    onPick(ComboBox2, &TForm1::ComboBox2Change);
    onPick(ComboBox3, &TForm1::ComboBox3Change);
    onPick(ComboBox14, &TForm1::ComboBox14Change);
    onPick(ComboBox4, &TForm1::ComboBox4Change);
    onPick(ComboBox5, &TForm1::ComboBox5Change);
    onPick(ComboBox6, &TForm1::ComboBox6Change);
    onPick(ComboBox7, &TForm1::ComboBox7Change);
    onPick(ComboBox8, &TForm1::ComboBox8Change);
    onPick(ComboBox11, &TForm1::ComboBox11Change);
    onPick(ComboBox9, &TForm1::ComboBox9Change);
    onPick(ComboBox10, &TForm1::ComboBox10Change);
    onPick(ComboBox15, &TForm1::ComboBox15Change);
    onPick(ComboBox16, &TForm1::ComboBox16Change);

    onEdit(Edit1, &TForm1::Edit1Change);
    onEdit(Edit2, &TForm1::Edit2Change);
    onEdit(Edit3, &TForm1::Edit3Change);
    onEdit(Edit4, &TForm1::Edit4Change);
    onEdit(Edit5, &TForm1::Edit5Change);
    onEdit(Edit6, &TForm1::Edit6Change);
    onEdit(Edit7, &TForm1::Edit7Change);
    onEdit(Edit8, &TForm1::Edit8Change);
    onEdit(Edit9, &TForm1::Edit9Change);
    onEdit(Edit10, &TForm1::Edit10Change);
    onEdit(Edit11, &TForm1::Edit11Change);
    // The key filters of the float fields run in eventFilter.
    for (QLineEdit* edit : {Edit2, Edit3, Edit6, Edit7})
        edit->installEventFilter(this);

    onClick(Button1, &TForm1::Button1Click);
    onClick(Button2, &TForm1::Button2Click);
    onClick(Button3, &TForm1::Button3Click);
    onClick(Button4, &TForm1::Button4Click);
    onClick(Button5, &TForm1::Button5Click);
    onClick(Button6, &TForm1::Button6Click);
    onClick(Button7, &TForm1::Button7Click);
    onClick(Button8, &TForm1::Button8Click);
    onClick(Button9, &TForm1::Button9Click);
    onClick(Button10, &TForm1::Button10Click);
    onClick(Button11, &TForm1::Button11Click);
    onClick(Button12, &TForm1::Button12Click);
    onClick(Button13, &TForm1::Button13Click);
    onPick(ComboBox18, &TForm1::ComboBox18Change);

    // Ticking from code raises the handler too; the uiBusy guard makes that nothing.
    connect(CheckBox7, &QCheckBox::toggled, this, [this] {
        Guarded(CheckBox7, [this] {
            lastHandler = &TForm1::CheckBox7Click;
            CheckBox7Click();
        });
    });
    connect(CheckBox11, &QCheckBox::toggled, this, [this] {
        Guarded(CheckBox11, [this] {
            lastHandler = &TForm1::CheckBox11Click;
            CheckBox11Click();
        });
    });
    // A click on a line, or Enter (activated) on the line chosen with the keyboard.
    for (auto signal : {&QListWidget::clicked, &QListWidget::activated})
        connect(ListBox1, signal, this, [this] {
            Guarded(ListBox1, [this] {
                lastHandler = &TForm1::ListBox1Click;
                ListBox1Click();
            });
        });
    connect(N2, &QAction::triggered, this, [this] {
        Guarded(N2, [this] {
            lastHandler = &TForm1::N2Click;
            N2Click();
        });
    });
    connect(N3, &QAction::triggered, this, [this] {
        Guarded(N3, [this] {
            lastHandler = &TForm1::N3Click;
            N3Click();
        });
    });
    connect(N4, &QAction::triggered, this, [this] {
        Guarded(N4, [this] {
            lastHandler = &TForm1::N4Click;
            N4Click();
        });
    });

    connect(TabbedNotebook1, &QTabWidget::currentChanged, this, [this](int newPage) {
        Guarded(TabbedNotebook1, [this, newPage] {
            bool allowChange = true;
            TabbedNotebook1Change(newPage, allowChange);
        });
        shownPage = newPage;
    });

    onTick(Timer1, &TForm1::Timer1Timer);
    onTick(Timer2, &TForm1::Timer2Timer);
    onTick(Timer3, &TForm1::Timer3Timer);
    onTick(Timer4, &TForm1::Timer4Timer);
    onTick(Timer5, &TForm1::Timer5Timer);
    onTick(Timer6, &TForm1::Timer6Timer);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);

    if (watched == Memo3) return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;

    using KeyFilter = void (TForm1::*)(QChar&);
    KeyFilter filter = nullptr;
    if (watched == Edit2)
        filter = &TForm1::Edit2KeyPress;
    else if (watched == Edit3)
        filter = &TForm1::Edit3KeyPress;
    else if (watched == Edit6)
        filter = &TForm1::Edit6KeyPress;
    else if (watched == Edit7)
        filter = &TForm1::Edit7KeyPress;
    if (!filter || key->text().size() != 1) return QMainWindow::eventFilter(watched, event);

    // A typed character passes through the field's key filter, which may replace or drop it.
    const QChar typed = key->text().at(0);
    QChar passed = typed;
    Guarded(watched, [&] { (this->*filter)(passed); });
    if (passed == typed) return false;
    if (!passed.isNull()) static_cast<QLineEdit*>(watched)->insert(QString(passed));
    return true;
}
