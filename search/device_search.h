#pragma once

#include "link/result_flags.h"
#include "messages/message_boxes.h"
#include "search/search_settings.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace olv::link {
struct LinkSettings;
}

namespace olv::search {

inline constexpr int SearchBaudCount = 6;
inline constexpr int SearchParityCount = 3;

// Texts of parity codes 0..2: in the progress line and in the list of instruments found.
QString ProgressParityText(int parity);
QString FoundParityText(int parity);

// "Проверяется скорость 9600 без паритета номер прибора 5"
QString ProgressLine(int baudRate, int parity, int address);

// Over a gateway: "Проверяется номер прибора 5 за шлюзом"
QString GatewayProgressLine(int address);

// "Скорость 9600 без парит. Сет. номер 1"; over a gateway "Сет. номер 1 за шлюзом"; then, once read,
// ", модель 150, зав. № 123456".
QString FoundDeviceLine(const FoundDevice& device, bool gateway = false);
// One line per entry, in table order, up to the first entry whose baudRate is 0.
QStringList FoundDeviceLines(const FoundDevices& found, bool gateway = false);

// Choosing the found instrument at index: its address, rate (a rate that is not one of the six becomes
// 19200) and parity go into the link settings, so the instrument is then addressed as it answered.
// Returns false, changing nothing, when the index is outside the table or its entry is empty; true
// means the port must be reopened.
bool ChooseFoundDevice(const FoundDevices& found, int index, link::LinkSettings& settings);

// How far a search is: probes made of the probes it will make in all, instruments found, and the
// time left as the probes made so far took (empty before the first).
struct SearchProgress {
    int done = 0;
    int total = 0;
    int found = 0;
    std::optional<int64_t> leftMs;
};

// The number of probes a search of these settings makes (over a gateway: one per address).
int ProbeCount(const SearchSettings& settings, bool addressesOnly);

// "Проверено 12 из 768, найдено 1, осталось около 3 мин" (seconds below a minute; no time before the
// first probe).
QString ProgressFiguresText(const SearchProgress& progress);

// What the search needs of the window.
struct SearchHooks {
    // Reopens the port at this rate and parity code (the link's port, time-out and stop bits). On a
    // failure the opener has shown its own message box and returns false.
    std::function<bool(int baudRate, int parity)> openProbePort;
    // Reopens the port with the link settings.
    std::function<void()> openLinkPort;
    // One read of the live value at the link settings' address (which the search has set).
    std::function<link::ResultFlags(uint8_t& exceptionCode)> probe;
    // Processes pending window messages; the stop button clears searchRunning during it.
    std::function<void()> processEvents;
    // Shows the progress line and repaints at once.
    std::function<void(const QString& line)> showProgress;
    // Reads model and serial number of the instrument that has just answered the probe (at the link
    // settings' address); false when that read failed. Not set: nothing is read.
    std::function<bool(uint16_t& model, int32_t& serial)> identify;
    // The figures of the progress, after each probe; not set: not shown.
    std::function<void(const SearchProgress& progress)> showFigures;
    // Milliseconds of a steady clock, for the time left; not set: no time left is told.
    std::function<int64_t()> clockMs;
    // Shows the search settings and the table of instruments found.
    std::function<void()> showSearchState;
    std::function<void(bool enabled)> setLinkControlsEnabled;
    // The line is reached through a gateway (tcp://, mbtcp://), whose own rate and parity hold on its
    // serial side: only the addresses are tried, at the link's rate and parity, over one connection.
    bool addressesOnly = false;
};

// The line that replaces the progress line when a search has ended.
QString FoundCountLine(int count);

// Texts of the ends of a search (caption "Ход поиска").
QString SearchCaption();
QString SearchDoneText();
QString SearchStoppedText();
QString SearchTooManyText();

// Tries every chosen combination: the rate slowest (1200 first), then the address (up from firstAddress,
// to lastAddress and never beyond 255; only firstAddress when it is above lastAddress), the parity
// fastest (none, odd, even). No switch on in a group means all of that group. The settings are read
// anew at every step (a profile loaded while messages are processed may change them). A negative
// firstAddress (no entry selected) starts at 0, and one above 255 at 255.
//
// With addressesOnly the rates and parities are not tried: every address once, with the link's rate
// and parity, the port opened once before the first.
//
// Does nothing when searchRunning is 0. Empties `found` and lists there every combination whose probe
// succeeded. Ends when all is tried, when searchRunning has been cleared (looked at after each
// combination), at the 33rd instrument found, or when the port cannot be opened for a probe. Every end
// clears searchRunning, puts the link settings' address and parity back, reopens the port with the
// link settings, shows its message box (information icon, OK) and enables the link controls again.
void RunDeviceSearch(const SearchSettings& settings, int& searchRunning, link::LinkSettings& linkSettings,
                     FoundDevices& found, const SearchHooks& hooks, messages::MessageBoxes& boxes);

} // namespace olv::search
