// Page 1, "Параметры датчика": its controls, lists, hints and wiring.
#include "ui/pages/sensor/sensor_page.h"

#include "ui/widgets/caption_panel.h"
#include "ui/window/control_makers.h"
#include "ui/window/form1_controls.h"
#include "ui/window/page_host.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

void Form1Controls::setupSensorPage(QWidget* page) {
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

SensorPage::SensorPage(PageHost& host, Form1Controls& ui) : host(host), ui(ui) {}

void SensorPage::FillListsAndHints() {
    const QStringList units{
        QStringLiteral("МПа"),    QStringLiteral("кПа"),           QStringLiteral("Па"),
        QStringLiteral("кг/см2"), QStringLiteral("кг/м2"),         QStringLiteral("бар"),
        QStringLiteral("атм"),    QStringLiteral("мм вод столба"), QStringLiteral("мм ртутн столба"),
        QStringLiteral("psi")};
    FillList(ui.ComboBox5, {QStringLiteral("нет"), QStringLiteral("2"), QStringLiteral("4"),
                            QStringLiteral("9"), QStringLiteral("16"), QStringLiteral("25"),
                            QStringLiteral("36"), QStringLiteral("49"), QStringLiteral("64")});
    FillList(ui.ComboBox4, QStringList{QStringLiteral("%")} + units);
    FillList(ui.ComboBox11, units);
    FillList(ui.ComboBox6, Numbers(1, 31));
    FillList(ui.ComboBox7, Numbers(1, 12));
    FillList(ui.ComboBox8, Numbers(2000, 2015));

    SetHint(ui.Edit5, QStringLiteral("Модель измерителя"));
    SetHint(ui.Edit1, QStringLiteral("Код модели измерителя давления"));
    SetHint(ui.Edit2, QStringLiteral("Максимум диапазона давления измерителя"));
    SetHint(ui.Edit3, QStringLiteral("Минимум диапазона давления измерителя"));
    SetHint(ui.Edit4, QStringLiteral("Заводской номер измерителя давления"));
    SetHint(ui.Edit6, QStringLiteral("Число прибавляемое к измеренному значению"));
    SetHint(ui.Edit7, QStringLiteral("Число на которое умножается измеренное значение"));
    SetHint(ui.ComboBox4,
            QStringLiteral("Единицы в которых будет передаваться значение по запросу компьютора"));
    SetHint(ui.ComboBox5, QStringLiteral("Коэффициент усреднения"));
    SetHint(ui.ComboBox6, QStringLiteral("Число месяца изготовления"));
    SetHint(ui.ComboBox7, QStringLiteral("Месяц изготовления"));
    SetHint(ui.ComboBox8, QStringLiteral("Год изготовления"));
    SetHint(ui.ComboBox11, QStringLiteral("Единицы в которых производит измерение датчик"));
    SetHint(ui.Button2, QStringLiteral("Прочитать конфигурацию датчика"), false);
    SetHint(ui.Button3, QStringLiteral("Записать конфигурацию датчика"), false);
}

void SensorPage::Wire() {
    // activated: a pick by the user, also of the entry already selected; never from code.
    for (auto [box, handler] : {std::pair{ui.ComboBox4, &SensorPage::ComboBox4Change},
                                std::pair{ui.ComboBox5, &SensorPage::ComboBox5Change},
                                std::pair{ui.ComboBox6, &SensorPage::ComboBox6Change},
                                std::pair{ui.ComboBox7, &SensorPage::ComboBox7Change},
                                std::pair{ui.ComboBox8, &SensorPage::ComboBox8Change},
                                std::pair{ui.ComboBox11, &SensorPage::ComboBox11Change}})
        host.On(box, &QComboBox::activated, this, handler);
    // Any change of the text, typed or set from code.
    for (auto [edit, handler] :
         {std::pair{ui.Edit1, &SensorPage::Edit1Change}, std::pair{ui.Edit2, &SensorPage::Edit2Change},
          std::pair{ui.Edit3, &SensorPage::Edit3Change}, std::pair{ui.Edit4, &SensorPage::Edit4Change},
          std::pair{ui.Edit5, &SensorPage::Edit5Change}, std::pair{ui.Edit6, &SensorPage::Edit6Change},
          std::pair{ui.Edit7, &SensorPage::Edit7Change}})
        host.On(edit, &QLineEdit::textChanged, this, handler);
    for (QLineEdit* edit : {ui.Edit2, ui.Edit3, ui.Edit6, ui.Edit7})
        edit->installEventFilter(this);
    host.On(ui.Button2, &QPushButton::clicked, this, &SensorPage::Button2Click);
    host.On(ui.Button3, &QPushButton::clicked, this, &SensorPage::Button3Click);
}

bool SensorPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    using KeyFilter = void (SensorPage::*)(QChar&);
    KeyFilter filter = nullptr;
    if (watched == ui.Edit2)
        filter = &SensorPage::Edit2KeyPress;
    else if (watched == ui.Edit3)
        filter = &SensorPage::Edit3KeyPress;
    else if (watched == ui.Edit6)
        filter = &SensorPage::Edit6KeyPress;
    else if (watched == ui.Edit7)
        filter = &SensorPage::Edit7KeyPress;
    if (!filter || key->text().size() != 1) return QObject::eventFilter(watched, event);

    // A typed character passes through the field's key filter, which may replace or drop it.
    const QChar typed = key->text().at(0);
    QChar passed = typed;
    host.Guarded(watched, [&] { (this->*filter)(passed); });
    if (passed == typed) return false;
    if (!passed.isNull()) static_cast<QLineEdit*>(watched)->insert(QString(passed));
    return true;
}
