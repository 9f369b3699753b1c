// What an engineer expects of the window beyond its pages: the keyboard (the menus' Alt letters and
// the frequent items' shortcuts), the units beside the numbers, fields and message panes of sensible
// widths on a large screen, and on a first start a word on where COM1 leads.
#include "ui/window/form1.h"

#include "ui/widgets/caption_panel.h"

#include "settings/ini_file.h"
#include "settings/station_settings.h"
#include "settings/window_geometry.h"

#include <QAction>
#include <QBoxLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
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

void TForm1::BuildWindowComfort() {
    // Alt with the first letter of a menu opens it through the menus' mnemonics ("&Файл"). Qt finds a
    // mnemonic only in the layout the letter is typed in, so the same keys of the Latin layout (Alt+A
    // under "Ф", Alt+C under "С") open the menus too. In the Russian layout Qt offers such a key as
    // well, beside the Cyrillic one: the shortcut is then ambiguous with the mnemonic and still opens.
    const auto opens = [this](QMenu* menu, const QKeySequence& key) {
        auto* shortcut = new QShortcut(key, this);
        const auto open = [this, menu] {
            if (operationRunning || LineWaiting()) return;
            MainMenu1->setActiveAction(menu->menuAction());
        };
        connect(shortcut, &QShortcut::activated, this, open);
        connect(shortcut, &QShortcut::activatedAmbiguously, this, open);
        menuShortcuts << shortcut;
    };
    opens(N1, QKeySequence(Qt::ALT | Qt::Key_A));
    opens(N10, QKeySequence(Qt::ALT | Qt::Key_C));
    N6->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O)); // "Открыть конфигурацию прибора…"
    N5->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S)); // "Сохранить конфигурацию прибора…"
    N7->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P)); // "Протокол настройки…"
    N8->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J)); // "Журнал изменений…"

    // The units of the sensor beside its range and trim offset (the live page has those of the value
    // transmitted). Empty while unknown.
    QWidget* sensor = TabbedNotebook1->widget(1);
    for (auto [field, label, name] : {std::tuple{Edit2, &Label57, "Label57"}, std::tuple{Edit3, &Label58, "Label58"},
                                      std::tuple{Edit6, &Label59, "Label59"}}) {
        *label = UnitLabel(sensor, name);
        PlaceBeside(sensor->layout(), field, *label);
    }
    const auto showSensorUnits = [this] {
        const QString units = ComboBox11->currentIndex() >= 0 ? ComboBox11->currentText() : QString();
        for (QLabel* label : {Label57, Label58, Label59})
            label->setText(units);
    };
    connect(ComboBox11, &QComboBox::currentIndexChanged, this, showSensorUnits);
    showSensorUnits();
    // Damping: what the coefficient does, beside the list.
    Label60 = UnitLabel(sensor, "Label60");
    PlaceBeside(sensor->layout(), ComboBox5, Label60);
    const auto showDamping = [this] {
        const int code = ComboBox5->currentIndex();
        Label60->setText(code < 0    ? QString()
                         : code == 0 ? QStringLiteral("без усреднения")
                                     : QStringLiteral("усреднение по %1 измерениям").arg(ComboBox5->currentText()));
    };
    connect(ComboBox5, &QComboBox::currentIndexChanged, this, showDamping);
    showDamping();

    // On a large screen the fields stay as wide as what they hold and the panes as wide as reads well.
    for (QLineEdit* field : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit9, Edit10, Edit11})
        field->setMaximumWidth(220);
    Edit8->setMaximumWidth(std::max(320, Edit8->minimumWidth()));
    for (QComboBox* list : {ComboBox4, ComboBox5, ComboBox9, ComboBox10, ComboBox11, ComboBox15, ComboBox16,
                            ComboBox17})
        list->setMaximumWidth(260);
    for (QPlainTextEdit* pane : {Memo2, Memo3})
        pane->setMaximumWidth(640);
    Panel1->setMaximumWidth(640);

    // The first start's word on the port, under the top row.
    Label61 = new QLabel(centralWidget());
    Label61->setObjectName(QStringLiteral("Label61"));
    Label61->setTextFormat(Qt::PlainText);
    Label61->setWordWrap(true);
    Label61->setStyleSheet(QStringLiteral("color: #806000;"));
    Label61->hide();
    if (auto* column = qobject_cast<QBoxLayout*>(centralWidget()->layout())) column->insertWidget(1, Label61);
    connect(N4, &QAction::triggered, Label61, &QWidget::hide);
}

void TForm1::ShowFirstStartNote() {
    const QString path = QString::fromStdString(portLink.pathOf(linkSettings.portNumber));
    Label61->setText(QStringLiteral("Первый запуск: файла dev.dat ещё нет. COM%1 ведёт к %2. Если прибор "
                                    "подключён к другому устройству, выберите его: Файл → «Назначение портов…».")
                         .arg(linkSettings.portNumber)
                         .arg(path.isEmpty() ? QStringLiteral("(устройство не найдено)") : path));
    Label61->show();
}

void TForm1::RestoreWindowGeometry() {
    const std::optional<olv::settings::WindowGeometry> kept =
        olv::settings::ReadWindowGeometry(olv::settings::IniFile(olv::settings::StationSettingsPath()));
    if (!kept) return;
    std::vector<QRect> screens;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) screens.push_back(primary->availableGeometry());
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen()) screens.push_back(screen->availableGeometry());
    const olv::settings::WindowGeometry fitted =
        olv::settings::FitToScreens(*kept, screens, minimumSizeHint().expandedTo(QSize(320, 240)));
    setGeometry(fitted.frame);
    if (fitted.maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

std::vector<olv::settings::IniEntry> TForm1::WindowGeometryNow() const {
    // The normal geometry: a maximized window comes back maximized over the size it had before.
    const QRect frame = isMaximized() ? normalGeometry() : geometry();
    if (frame.isEmpty() || !isVisible()) return {}; // never shown (a test, a grab): nothing to keep
    return olv::settings::WindowGeometryEntries({frame, isMaximized()});
}
