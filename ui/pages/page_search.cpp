// Page 3, "Поиск приборов": the device search.
#include "ui/window/form1.h"

#include "ui/widgets/caption_panel.h"

#include "device/live_value.h"
#include "link/tcp_port.h"
#include "messages/message_boxes.h"
#include "search/device_search.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QListWidget>
#include <QPushButton>

#include <QProgressBar>

#include <algorithm>
#include <array>

namespace {

constexpr int AddressCount = 256; // ComboBox12 and ComboBox13 hold the addresses 0..255

} // namespace

bool TForm1::SearchAddressOf(const QComboBox* box, int& address) {
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
void TForm1::ClearSearchResults() {
    searchRunning = 0;
    foundDevices.fill(olv::search::FoundDevice{});
    ShowSearchState();
}

// Enables or disables the link controls that a running search must not change.
void TForm1::SetLinkControlsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             CheckBox1,  CheckBox2,  CheckBox3,  CheckBox4,  CheckBox5,  CheckBox6, CheckBox7,
             CheckBox8,  CheckBox9,  CheckBox10, ComboBox1,  ComboBox2,  ComboBox3, ComboBox12,
             ComboBox13, ComboBox14, ComboBox15, ComboBox16, ComboBox17, Button4})
        control->setEnabled(enabled);
    // "Остановить" only while there is a search to stop.
    Button5->setEnabled(!enabled);
}

// Takes the search options from the page into the search settings. An address box holding text that
// is no address leaves its address as it was (Button4Click refuses to search with it).
void TForm1::CollectSearchSettings() {
    const std::array<QCheckBox*, 6> rates{CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6};
    const std::array<QCheckBox*, 3> parities{CheckBox8, CheckBox9, CheckBox10};
    for (size_t i = 0; i < rates.size(); ++i)
        searchSettings.baudEnabled[i] = rates[i]->isChecked() ? 1 : 0;
    for (size_t i = 0; i < parities.size(); ++i)
        searchSettings.parityEnabled[i] = parities[i]->isChecked() ? 1 : 0;
    SearchAddressOf(ComboBox12, searchSettings.firstAddress);
    SearchAddressOf(ComboBox13, searchSettings.lastAddress);
}

// Shows the search settings and the found instruments.
void TForm1::ShowSearchState() {
    const std::array<QCheckBox*, 6> rates{CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6};
    const std::array<QCheckBox*, 3> parities{CheckBox8, CheckBox9, CheckBox10};
    for (size_t i = 0; i < rates.size(); ++i)
        rates[i]->setChecked(searchSettings.baudEnabled[i] == 1);
    for (size_t i = 0; i < parities.size(); ++i)
        parities[i]->setChecked(searchSettings.parityEnabled[i] == 1);
    // An address the lists do not hold leaves the box as it is.
    if (searchSettings.firstAddress >= 0 && searchSettings.firstAddress < AddressCount)
        ComboBox12->setCurrentIndex(searchSettings.firstAddress);
    if (searchSettings.lastAddress >= 0 && searchSettings.lastAddress < AddressCount)
        ComboBox13->setCurrentIndex(searchSettings.lastAddress);
    ListBox1->clear();
    ListBox1->addItems(olv::search::FoundDeviceLines(
        foundDevices, olv::link::IsTcpPath(portLink.pathOf(linkSettings.portNumber))));
}

// Probes every chosen combination of rate, address and parity.
void TForm1::RunDeviceSearch() {
    olv::search::SearchHooks hooks;
    hooks.openProbePort = [this](int baudRate, int parity) {
        return portLink.openPort(linkSettings.portNumber, baudRate, 8, parity, linkSettings.stopBits,
                                   linkSettings.timeoutMs);
    };
    hooks.openLinkPort = [this] { OpenPort(); };
    hooks.probe = [this](uint8_t& exceptionCode) {
        // The probe is the live read, into a reading of its own: the instrument that answers is not
        // the one the live page shows.
        olv::device::LiveReading probed;
        return olv::device::ReadLiveValue(master, linkSettings.byteOrder, probed, exceptionCode);
    };
    // Who answered: model and serial number (registers 0..3), so that two meters are told apart.
    hooks.identify = [this](uint16_t& model, int32_t& serial) {
        std::array<uint16_t, 4> words{};
        uint8_t exceptionCode = 0;
        if (!olv::link::Succeeded(master.readHoldingRegisters(0, 4, words.data(), exceptionCode), exceptionCode))
            return false;
        model = words[0];
        serial = static_cast<int32_t>((uint32_t{words[2]} << 16) | words[3]);
        return true;
    };
    hooks.clockMs = clock; // the window's clock (tests step it)
    hooks.showFigures = [this](const olv::search::SearchProgress& progress) {
        ProgressBar4->setRange(0, std::max(1, progress.total));
        ProgressBar4->setValue(progress.done);
        ProgressBar4->setFormat(olv::search::ProgressFiguresText(progress));
        ProgressBar4->show();
        ProgressBar4->repaint();
    };
    hooks.processEvents = [] { QCoreApplication::processEvents(); };
    hooks.showProgress = [this](const QString& line) {
        Panel2->setCaption(line);
        Panel2->repaint();
    };
    hooks.showSearchState = [this] { ShowSearchState(); };
    hooks.setLinkControlsEnabled = [this](bool enabled) { SetLinkControlsEnabled(enabled); };
    hooks.addressesOnly = olv::link::IsTcpPath(portLink.pathOf(linkSettings.portNumber));
    olv::search::RunDeviceSearch(searchSettings, searchRunning, linkSettings, foundDevices, hooks, *boxes);
}

// "Начать": runs the search. An address box holding text that is no address starts nothing.
void TForm1::Button4Click() {
    int address = 0;
    for (auto [box, text] :
         {std::pair{ComboBox12,
                    QStringLiteral("Начальный сетевой номер поиска должен быть целым числом от 0 до 255.")},
          std::pair{ComboBox13,
                    QStringLiteral("Конечный сетевой номер поиска должен быть целым числом от 0 до 255.")}}) {
        if (!SearchAddressOf(box, address)) {
            boxes->show({text,
                         olv::search::SearchCaption(),
                         olv::messages::BoxIcon::Warning,
                         olv::messages::BoxButtons::Ok,
                         {}});
            FocusRefusedField(box);
            return;
        }
    }
    const InstrumentOperation operation(*this);
    if (!operation.started()) return;
    CollectSearchSettings();
    searchRunning = 1;
    RunDeviceSearch();
}

// "Остановить": the running search stops after its next probe.
void TForm1::Button5Click() {
    searchRunning = 0;
}

// Switches the link to the instrument picked in the list (a click, or Enter on the selected line): its
// address, rate and parity.
void TForm1::ListBox1Click() {
    if (operationRunning || LineWaiting()) return; // the link an operation began with stays until its end
    if (!olv::search::ChooseFoundDevice(foundDevices, ListBox1->currentRow(), linkSettings)) return;
    OpenPort();
    // The communication page proposes the link now in use, as after a change in the top row.
    pendingLink.pendingAddress = linkSettings.address;
    pendingLink.pendingBaudRate = linkSettings.baudRate;
    pendingLink.pendingParity = linkSettings.parity;
    ShowLinkSettings(0);
}
