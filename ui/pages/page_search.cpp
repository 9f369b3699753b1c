// Page 3, "Поиск приборов": the device search, its building, wiring and handlers.
#include "ui/pages/page_search.h"

#include "ui/widgets/caption_panel.h"
#include "ui/window/control_makers.h"
#include "ui/window/form1_controls.h"
#include "ui/window/page_host.h"

#include "device/live_value.h"
#include "device/pending_device_link.h"
#include "link/line_state.h"
#include "link/link_settings.h"
#include "link/port_link.h"
#include "link/port_master.h"
#include "link/tcp_port.h"
#include "messages/message_boxes.h"
#include "search/device_search.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace {

constexpr int AddressCount = 256; // ComboBox12 and ComboBox13 hold the addresses 0..255

} // namespace

void Form1Controls::setupSearchPage(QWidget* page) {
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

    // The search's progress: probes made of all it will make, over the line of what it tries now.
    Make(page, ProgressBar4, "ProgressBar4");
    ProgressBar4->setRange(0, 1);
    ProgressBar4->setValue(0);
    ProgressBar4->setTextVisible(true);
    ProgressBar4->setFormat(QString());
    ProgressBar4->hide();
    outer->addWidget(ProgressBar4);

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

SearchPage::SearchPage(PageHost& host, Form1Controls& ui) : host(host), ui(ui) {}

void SearchPage::FillListsAndHints() {
    const QStringList addresses = Numbers(0, AddressCount - 1, true);
    FillList(ui.ComboBox12, addresses);
    FillList(ui.ComboBox13, addresses);
    SetHint(ui.ComboBox12, QStringLiteral("Сетевой номер с которого начинается поиск приборов"));
    SetHint(ui.ComboBox13, QStringLiteral("Сетевой номер которым заканчивается поиск"));
    SetHint(ui.Button4, QStringLiteral("Начать поиск приборов в сети"));
    SetHint(ui.Button5, QStringLiteral("Закончить поиск приборов в сети"));
    for (QCheckBox* box :
         {ui.CheckBox1, ui.CheckBox2, ui.CheckBox3, ui.CheckBox4, ui.CheckBox5, ui.CheckBox6})
        SetHint(box, QStringLiteral("На этой скорости будут искаться приборы в сети"));
    SetHint(ui.CheckBox8, QStringLiteral("Будем искать без паритета"));
    SetHint(ui.CheckBox9, QStringLiteral("Будем искать с нечетным паритетом"));
    SetHint(ui.CheckBox10, QStringLiteral("Будем искать с четным паритетом"));
}

void SearchPage::Wire() {
    host.On(ui.Button4, &QPushButton::clicked, this, &SearchPage::Button4Click);
    host.On(ui.Button5, &QPushButton::clicked, this, &SearchPage::Button5Click);
    // A click on a line, or Enter (activated) on the line chosen with the keyboard.
    host.On(ui.ListBox1, &QListWidget::clicked, this, &SearchPage::ListBox1Click);
    host.On(ui.ListBox1, &QListWidget::activated, this, &SearchPage::ListBox1Click);
}

bool SearchPage::SearchAddressOf(const QComboBox* box, int& address) {
    // The entries read "%3u", so the text of a selected entry is its address too; reading the text
    // also covers a number typed into the box that matches no entry's spelling ("7" for "  7").
    const QString text = box->currentText().trimmed();
    bool ok = false;
    const int typed = text.toInt(&ok, 10);
    if (ok && typed >= 0 && typed < AddressCount && !text.startsWith(u'+') && !text.startsWith(u'-')) {
        address = typed;
        return true;
    }
    return false;
}

// Shows the search settings and an empty list of found instruments.
void SearchPage::ClearSearchResults() {
    searchRunning = 0;
    foundDevices.fill(olv::search::FoundDevice{});
    ShowSearchState();
}

// Enables or disables the link controls that a running search must not change.
void SearchPage::SetLinkControlsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui.CheckBox1,  ui.CheckBox2,  ui.CheckBox3,  ui.CheckBox4,  ui.CheckBox5,
             ui.CheckBox6,  ui.CheckBox7,  ui.CheckBox8,  ui.CheckBox9,  ui.CheckBox10,
             ui.ComboBox1,  ui.ComboBox2,  ui.ComboBox3,  ui.ComboBox12, ui.ComboBox13,
             ui.ComboBox14, ui.ComboBox15, ui.ComboBox16, ui.ComboBox17, ui.Button4})
        control->setEnabled(enabled);
    // "Остановить" only while there is a search to stop.
    ui.Button5->setEnabled(!enabled);
}

// Takes the search options from the page into the search settings. An address box holding text that
// is no address leaves its address as it was (Button4Click refuses to search with it).
void SearchPage::CollectSearchSettings() {
    const std::array<QCheckBox*, 6> rates{ui.CheckBox1, ui.CheckBox2, ui.CheckBox3,
                                          ui.CheckBox4, ui.CheckBox5, ui.CheckBox6};
    const std::array<QCheckBox*, 3> parities{ui.CheckBox8, ui.CheckBox9, ui.CheckBox10};
    for (size_t i = 0; i < rates.size(); ++i)
        searchSettings.baudEnabled[i] = rates[i]->isChecked() ? 1 : 0;
    for (size_t i = 0; i < parities.size(); ++i)
        searchSettings.parityEnabled[i] = parities[i]->isChecked() ? 1 : 0;
    SearchAddressOf(ui.ComboBox12, searchSettings.firstAddress);
    SearchAddressOf(ui.ComboBox13, searchSettings.lastAddress);
}

// Shows the search settings and the found instruments.
void SearchPage::ShowSearchState() {
    const std::array<QCheckBox*, 6> rates{ui.CheckBox1, ui.CheckBox2, ui.CheckBox3,
                                          ui.CheckBox4, ui.CheckBox5, ui.CheckBox6};
    const std::array<QCheckBox*, 3> parities{ui.CheckBox8, ui.CheckBox9, ui.CheckBox10};
    for (size_t i = 0; i < rates.size(); ++i)
        rates[i]->setChecked(searchSettings.baudEnabled[i] == 1);
    for (size_t i = 0; i < parities.size(); ++i)
        parities[i]->setChecked(searchSettings.parityEnabled[i] == 1);
    // An address the lists do not hold leaves the box as it is.
    if (searchSettings.firstAddress >= 0 && searchSettings.firstAddress < AddressCount)
        ui.ComboBox12->setCurrentIndex(searchSettings.firstAddress);
    if (searchSettings.lastAddress >= 0 && searchSettings.lastAddress < AddressCount)
        ui.ComboBox13->setCurrentIndex(searchSettings.lastAddress);
    ui.ListBox1->clear();
    ui.ListBox1->addItems(olv::search::FoundDeviceLines(
        foundDevices, olv::link::IsTcpPath(host.Port().pathOf(host.Link().portNumber))));
}

// Probes every chosen combination of rate, address and parity.
void SearchPage::RunDeviceSearch() {
    olv::search::SearchHooks hooks;
    hooks.openProbePort = [this](int baudRate, int parity) {
        return host.Port().openPort(host.Link().portNumber, baudRate, 8, parity, host.Link().stopBits,
                                    host.Link().timeoutMs);
    };
    hooks.openLinkPort = [this] { host.OpenPort(); };
    hooks.probe = [this](uint8_t& exceptionCode) {
        // The probe is the live read, into a reading of its own: the instrument that answers is not
        // the one the live page shows.
        olv::device::LiveReading probed;
        return olv::device::ReadLiveValue(host.Master(), host.Link().byteOrder, probed, exceptionCode);
    };
    // Who answered: model and serial number (registers 0..3), so that two meters are told apart.
    hooks.identify = [this](uint16_t& model, int32_t& serial) {
        std::array<uint16_t, 4> words{};
        uint8_t exceptionCode = 0;
        if (!olv::link::Succeeded(host.Master().readHoldingRegisters(0, 4, words.data(), exceptionCode),
                                  exceptionCode))
            return false;
        model = words[0];
        serial = static_cast<int32_t>((uint32_t{words[2]} << 16) | words[3]);
        return true;
    };
    hooks.clockMs = [this] { return host.NowMs(); }; // the window's clock (tests step it)
    hooks.showFigures = [this](const olv::search::SearchProgress& progress) {
        ui.ProgressBar4->setRange(0, std::max(1, progress.total));
        ui.ProgressBar4->setValue(progress.done);
        ui.ProgressBar4->setFormat(olv::search::ProgressFiguresText(progress));
        ui.ProgressBar4->show();
        ui.ProgressBar4->repaint();
    };
    hooks.processEvents = [] { QCoreApplication::processEvents(); };
    hooks.showProgress = [this](const QString& line) {
        ui.Panel2->setCaption(line);
        ui.Panel2->repaint();
    };
    hooks.showSearchState = [this] { ShowSearchState(); };
    hooks.setLinkControlsEnabled = [this](bool enabled) { SetLinkControlsEnabled(enabled); };
    hooks.addressesOnly = olv::link::IsTcpPath(host.Port().pathOf(host.Link().portNumber));
    olv::search::RunDeviceSearch(searchSettings, searchRunning, host.Link(), foundDevices, hooks,
                                 host.Boxes());
}

// "Начать": runs the search. An address box holding text that is no address starts nothing.
void SearchPage::Button4Click() {
    int address = 0;
    for (auto [box, text] :
         {std::pair{ui.ComboBox12,
                    QStringLiteral("Начальный сетевой номер поиска должен быть целым числом от 0 до 255.")},
          std::pair{ui.ComboBox13,
                    QStringLiteral("Конечный сетевой номер поиска должен быть целым числом от 0 до 255.")}}) {
        if (!SearchAddressOf(box, address)) {
            host.Boxes().show({text,
                               olv::search::SearchCaption(),
                               olv::messages::BoxIcon::Warning,
                               olv::messages::BoxButtons::Ok,
                               {}});
            host.FocusRefusedField(box);
            return;
        }
    }
    const std::unique_ptr<OperationHold> operation = host.BeginOperation();
    if (!operation->started()) return;
    CollectSearchSettings();
    searchRunning = 1;
    host.SetLineState(olv::link::LineState::Searching);
    RunDeviceSearch();
    host.SetLineState(olv::link::LineState::Operation);
}

// "Остановить": the running search stops after its next probe.
void SearchPage::Button5Click() {
    searchRunning = 0;
}

// Switches the link to the instrument picked in the list (a click, or Enter on the selected line): its
// address, rate and parity.
void SearchPage::ListBox1Click() {
    if (host.LineBusy()) return; // the link an operation began with stays until its end
    if (!olv::search::ChooseFoundDevice(foundDevices, ui.ListBox1->currentRow(), host.Link())) return;
    host.OpenPort();
    // The communication page proposes the link now in use, as after a change in the top row.
    host.PendingLink().pendingAddress = host.Link().address;
    host.PendingLink().pendingBaudRate = host.Link().baudRate;
    host.PendingLink().pendingParity = host.Link().parity;
    host.ShowLinkSettings(0);
}
