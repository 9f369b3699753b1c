// What an engineer expects of the window beyond its pages: the keyboard (the menus' Alt letters and
// the frequent items' shortcuts), the units beside the numbers, fields and message panes of sensible
// widths on a large screen, and on a first start a word on where COM1 leads.
#include "ui/window/window_comfort.h"

#include "ui/window/form1_controls.h"
#include "ui/window/page_host.h"

#include "ui/widgets/caption_panel.h"

#include "link/link_settings.h"
#include "link/port_link.h"
#include "settings/ini_file.h"
#include "settings/station_settings.h"
#include "settings/window_geometry.h"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>

namespace {

// The grid cell right of `field`, searched for in the layouts under `layout`.
bool PlaceBeside(QLayout* layout, QWidget* field, QWidget* widget) {
    if (!layout) return false;
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        const int index = grid->indexOf(field);
        if (index >= 0) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(index, &row, &column, &rows, &columns);
            grid->addWidget(widget, row, column + columns);
            return true;
        }
    }
    for (int i = 0; i < layout->count(); ++i)
        if (PlaceBeside(layout->itemAt(i)->layout(), field, widget)) return true;
    return false;
}

QLabel* UnitLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

WindowComfort::WindowComfort(PageHost& host, QMainWindow& window, Form1Controls& ui)
    : host(host), window(window), ui(ui) {}

void WindowComfort::BuildWindowComfort() {
    // Alt with the first letter of a menu opens it through the menus' mnemonics ("&Файл"). Qt finds a
    // mnemonic only in the layout the letter is typed in, so the same keys of the Latin layout (Alt+A
    // under "Ф", Alt+C under "С") open the menus too. In the Russian layout Qt offers such a key as
    // well, beside the Cyrillic one: the shortcut is then ambiguous with the mnemonic and still opens.
    const auto opens = [this](QMenu* menu, const QKeySequence& key) {
        auto* shortcut = new QShortcut(key, &window);
        const auto open = [this, menu] {
            if (host.LineBusy()) return;
            ui.MainMenu1->setActiveAction(menu->menuAction());
        };
        connect(shortcut, &QShortcut::activated, this, open);
        connect(shortcut, &QShortcut::activatedAmbiguously, this, open);
        menuShortcuts << shortcut;
    };
    opens(ui.N1, QKeySequence(Qt::ALT | Qt::Key_A));
    opens(ui.N10, QKeySequence(Qt::ALT | Qt::Key_C));
    ui.N6->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O)); // "Открыть конфигурацию прибора…"
    ui.N5->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S)); // "Сохранить конфигурацию прибора…"
    ui.N7->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P)); // "Протокол настройки…"
    ui.N8->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J)); // "Журнал изменений…"

    // The units of the sensor beside its range and trim offset (the live page has those of the value
    // transmitted). Empty while unknown.
    QWidget* sensor = ui.TabbedNotebook1->widget(1);
    for (auto [field, label, name] :
         {std::tuple{ui.Edit2, &Label57, "Label57"}, std::tuple{ui.Edit3, &Label58, "Label58"},
          std::tuple{ui.Edit6, &Label59, "Label59"}}) {
        *label = UnitLabel(sensor, name);
        PlaceBeside(sensor->layout(), field, *label);
    }
    const auto showSensorUnits = [this] {
        const QString units = ui.ComboBox11->currentIndex() >= 0 ? ui.ComboBox11->currentText() : QString();
        for (QLabel* label : {Label57, Label58, Label59})
            label->setText(units);
    };
    connect(ui.ComboBox11, &QComboBox::currentIndexChanged, this, showSensorUnits);
    showSensorUnits();
    // Damping: what the coefficient does, beside the list.
    Label60 = UnitLabel(sensor, "Label60");
    PlaceBeside(sensor->layout(), ui.ComboBox5, Label60);
    const auto showDamping = [this] {
        const int code = ui.ComboBox5->currentIndex();
        Label60->setText(
            code < 0    ? QString()
            : code == 0 ? QStringLiteral("без усреднения")
                        : QStringLiteral("усреднение по %1 измерениям").arg(ui.ComboBox5->currentText()));
    };
    connect(ui.ComboBox5, &QComboBox::currentIndexChanged, this, showDamping);
    showDamping();

    // On a large screen the fields stay as wide as what they hold and the panes as wide as reads well.
    for (QLineEdit* field : {ui.Edit1, ui.Edit2, ui.Edit3, ui.Edit4, ui.Edit5, ui.Edit6, ui.Edit7, ui.Edit9,
                             ui.Edit10, ui.Edit11})
        field->setMaximumWidth(220);
    ui.Edit8->setMaximumWidth(std::max(320, ui.Edit8->minimumWidth()));
    for (QComboBox* list : {ui.ComboBox4, ui.ComboBox5, ui.ComboBox9, ui.ComboBox10, ui.ComboBox11,
                            ui.ComboBox15, ui.ComboBox16, ui.ComboBox17})
        list->setMaximumWidth(260);
    for (QPlainTextEdit* pane : {ui.Memo2, ui.Memo3})
        pane->setMaximumWidth(640);
    ui.Panel1->setMaximumWidth(640);

    // The first start's word on the port, under the top row.
    Label61 = new QLabel(window.centralWidget());
    Label61->setObjectName(QStringLiteral("Label61"));
    Label61->setTextFormat(Qt::PlainText);
    Label61->setWordWrap(true);
    Label61->setStyleSheet(QStringLiteral("color: #806000;"));
    Label61->hide();
    if (auto* column = qobject_cast<QBoxLayout*>(window.centralWidget()->layout()))
        column->insertWidget(1, Label61);
    connect(ui.N4, &QAction::triggered, Label61, &QWidget::hide);
}

void WindowComfort::ShowFirstStartNote() {
    const QString path = QString::fromStdString(host.Port().pathOf(host.Link().portNumber));
    Label61->setText(
        QStringLiteral("Первый запуск: файла dev.dat ещё нет. COM%1 ведёт к %2. Если прибор "
                       "подключён к другому устройству, выберите его: Файл → «Назначение портов…».")
            .arg(host.Link().portNumber)
            .arg(path.isEmpty() ? QStringLiteral("(устройство не найдено)") : path));
    Label61->show();
}

void WindowComfort::RestoreWindowGeometry() {
    const std::optional<olv::settings::WindowGeometry> kept =
        olv::settings::ReadWindowGeometry(olv::settings::IniFile(olv::settings::StationSettingsPath()));
    if (!kept) return;
    std::vector<QRect> screens;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screens.push_back(primary->availableGeometry());
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen()) screens.push_back(screen->availableGeometry());
    const olv::settings::WindowGeometry fitted =
        olv::settings::FitToScreens(*kept, screens, window.minimumSizeHint().expandedTo(QSize(320, 240)));
    window.setGeometry(fitted.frame);
    if (fitted.maximized) window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

std::vector<olv::settings::IniEntry> WindowComfort::WindowGeometryNow() const {
    // The normal geometry: a maximized window comes back maximized over the size it had before.
    const QRect frame = window.isMaximized() ? window.normalGeometry() : window.geometry();
    if (frame.isEmpty() || !window.isVisible()) return {}; // never shown (a test, a grab): nothing to keep
    return olv::settings::WindowGeometryEntries({frame, window.isMaximized()});
}
