#include "search/device_search.h"

#include "device/register_map.h"
#include "link/link_settings.h"

#include <algorithm>
#include <optional>

namespace olv::search {

namespace {

constexpr int MaxAddress = 255;

bool AnyOn(const auto& switches) {
    return std::any_of(switches.begin(), switches.end(), [](int s) { return s == 1; });
}

// A group with no switch on is searched whole.
bool Chosen(const auto& switches, int index) {
    return !AnyOn(switches) || switches[index] == 1;
}

int FirstAddress(const SearchSettings& settings) {
    return std::clamp(settings.firstAddress, 0, MaxAddress);
}

int ParityIndex(int parity) {
    return (parity == 0 || parity == 1) ? parity : 2;
}

// Every end: the progress line gives way to the count of instruments found before the box says how
// the search ended, so that nothing reads as if the search still went on.
void ShowEnd(messages::MessageBoxes& boxes, const SearchHooks& hooks, const QString& text, int foundCount) {
    hooks.showProgress(FoundCountLine(foundCount));
    boxes.show(
        messages::Box{text, SearchCaption(), messages::BoxIcon::Information, messages::BoxButtons::Ok, {}});
}

} // namespace

QString ProgressParityText(int parity) {
    static const QString texts[SearchParityCount] = {"без паритета", "нечетный паритет", "четный паритет"};
    return texts[ParityIndex(parity)];
}

QString FoundParityText(int parity) {
    static const QString texts[SearchParityCount] = {"без парит.", "нечёт. пар.", "чет. пар."};
    return texts[ParityIndex(parity)];
}

QString ProgressLine(int baudRate, int parity, int address) {
    return QStringLiteral("Проверяется скорость ") + QString::number(baudRate) + u' ' +
           ProgressParityText(parity) + QStringLiteral(" номер прибора ") + QString::number(address);
}

QString GatewayProgressLine(int address) {
    return QStringLiteral("Проверяется номер прибора %1 за шлюзом").arg(address);
}

QString FoundDeviceLine(const FoundDevice& device, bool gateway) {
    QString line = gateway ? QStringLiteral("Сет. номер %1 за шлюзом").arg(device.address)
                           : QStringLiteral("Скорость ") + QString::number(device.baudRate) + u' ' +
                                 FoundParityText(device.parity) + QStringLiteral(" Сет. номер ") +
                                 QString::number(device.address);
    if (device.model) line += QStringLiteral(", модель %1").arg(*device.model);
    if (device.serial) line += QStringLiteral(", зав. № %1").arg(*device.serial);
    return line;
}

int ProbeCount(const SearchSettings& settings, bool addressesOnly) {
    const int first = FirstAddress(settings);
    const int last = std::min(settings.lastAddress, MaxAddress);
    const int addresses = last > first ? last - first + 1 : 1;
    if (addressesOnly) return addresses;
    int rates = 0, parities = 0;
    for (int i = 0; i < SearchBaudCount; ++i)
        rates += Chosen(settings.baudEnabled, i) ? 1 : 0;
    for (int i = 0; i < SearchParityCount; ++i)
        parities += Chosen(settings.parityEnabled, i) ? 1 : 0;
    return rates * addresses * parities;
}

QString ProgressFiguresText(const SearchProgress& progress) {
    QString text = QStringLiteral("Проверено %1 из %2, найдено %3").arg(progress.done).arg(progress.total).arg(progress.found);
    if (progress.leftMs) {
        const int64_t seconds = (std::max<int64_t>(0, *progress.leftMs) + 999) / 1000;
        text += seconds < 60 ? QStringLiteral(", осталось около %1 с").arg(seconds)
                             : QStringLiteral(", осталось около %1 мин").arg((seconds + 59) / 60);
    }
    return text;
}

QStringList FoundDeviceLines(const FoundDevices& found, bool gateway) {
    QStringList lines;
    for (const FoundDevice& device : found) {
        if (device.baudRate == 0) break;
        lines << FoundDeviceLine(device, gateway);
    }
    return lines;
}

bool ChooseFoundDevice(const FoundDevices& found, int index, link::LinkSettings& settings) {
    if (index < 0 || index >= MaxFoundDevices || found[index].baudRate == 0) return false;
    const FoundDevice& device = found[index];
    settings.address = device.address;
    const auto& rates = device::BaudRates;
    settings.baudRate =
        std::find(rates.begin(), rates.end(), device.baudRate) != rates.end() ? device.baudRate : 19200;
    // An instrument found at another parity would never answer at the link's old one.
    settings.parity = ParityIndex(device.parity);
    return true;
}

QString FoundCountLine(int count) {
    return QStringLiteral("Поиск окончен. Найдено приборов: %1").arg(count);
}

QString SearchCaption() {
    return QStringLiteral("Ход поиска");
}
QString SearchDoneText() {
    return QStringLiteral("Процедура поиска завершена.");
}
QString SearchStoppedText() {
    return QStringLiteral("Процедура поиска завершена пользователем.");
}
QString SearchTooManyText() {
    return QStringLiteral("Процедура поиска завершена.На линии слишком много приборов.");
}

void RunDeviceSearch(const SearchSettings& settings, int& searchRunning, link::LinkSettings& linkSettings,
                     FoundDevices& found, const SearchHooks& hooks, messages::MessageBoxes& boxes) {
    if (searchRunning == 0) return;

    hooks.setLinkControlsEnabled(false);
    const int savedAddress = linkSettings.address;
    const int savedParity = linkSettings.parity;

    // Every end puts address and parity back before the port is reopened, so the port is opened with
    // the link settings as they were before the search.
    auto restore = [&] {
        searchRunning = 0;
        linkSettings.address = savedAddress;
        linkSettings.parity = savedParity;
    };

    // Over a gateway: one pass over the addresses at the link's own rate and parity.
    const bool gateway = hooks.addressesOnly;
    const int baudCount = gateway ? 1 : SearchBaudCount;
    const int parityCount = gateway ? 1 : SearchParityCount;
    const int gatewayRate = linkSettings.baudRate > 0 ? linkSettings.baudRate : 19200;

    int foundCount = 0;
    int address = FirstAddress(settings);
    int baudIndex = 0;
    int parityIndex = 0;

    found.fill(FoundDevice{});
    hooks.showSearchState();
    searchRunning = 1;

    // The figures after each probe: the total as the settings stand now (a profile loaded meanwhile may
    // change them), the time left as the probes so far took.
    int probesDone = 0;
    const int64_t startMs = hooks.clockMs ? hooks.clockMs() : 0;
    const auto showFigures = [&] {
        if (!hooks.showFigures) return;
        SearchProgress progress;
        progress.done = probesDone;
        progress.total = std::max(probesDone, ProbeCount(settings, gateway));
        progress.found = foundCount;
        if (hooks.clockMs && probesDone > 0) {
            const int64_t elapsed = std::max<int64_t>(0, hooks.clockMs() - startMs);
            progress.leftMs = elapsed * (progress.total - probesDone) / probesDone;
        }
        hooks.showFigures(progress);
    };
    showFigures();

    while (baudIndex < baudCount) {
        if (!gateway && !Chosen(settings.baudEnabled, baudIndex)) {
            address = FirstAddress(settings);
            ++baudIndex;
            continue;
        }

        if (gateway || Chosen(settings.parityEnabled, parityIndex)) {
            const int rate = gateway ? gatewayRate : device::BaudRates[baudIndex];
            const int parity = gateway ? ParityIndex(savedParity) : parityIndex;
            const bool open = !gateway || address == FirstAddress(settings);
            if (open && !hooks.openProbePort(rate, parity)) {
                // The opener has said why; trying the next thousands of combinations would only repeat
                // its message with no way to stop, so this ends the search as a stop does.
                restore();
                hooks.openLinkPort();
                ShowEnd(boxes, hooks, SearchDoneText(), foundCount);
                hooks.setLinkControlsEnabled(true);
                return;
            }
            hooks.showProgress(gateway ? GatewayProgressLine(address) : ProgressLine(rate, parity, address));

            linkSettings.address = address;
            uint8_t exceptionCode = 0;
            const link::ResultFlags flags = hooks.probe(exceptionCode);
            ++probesDone;
            if (link::Succeeded(flags, exceptionCode)) {
                found[foundCount] = FoundDevice{rate, address, parity, std::nullopt, std::nullopt};
                // Which instrument it is, so that two on one line are told apart before one is chosen.
                uint16_t model = 0;
                int32_t serial = 0;
                if (hooks.identify && hooks.identify(model, serial)) {
                    found[foundCount].model = model;
                    found[foundCount].serial = serial;
                }
                hooks.showSearchState();
                ++foundCount;
                if (foundCount >= MaxFoundDevices) {
                    showFigures();
                    restore();
                    ShowEnd(boxes, hooks, SearchTooManyText(), foundCount);
                    hooks.openLinkPort();
                    hooks.setLinkControlsEnabled(true);
                    return;
                }
            }
            showFigures();
        }

        if (searchRunning == 0) {
            restore();
            hooks.openLinkPort();
            ShowEnd(boxes, hooks, SearchStoppedText(), foundCount);
            hooks.setLinkControlsEnabled(true);
            return;
        }

        if (++parityIndex < parityCount) continue;
        parityIndex = 0;
        ++address;
        if (address <= settings.lastAddress && address <= MaxAddress) {
            hooks.processEvents();
            continue;
        }
        address = FirstAddress(settings);
        ++baudIndex;
    }

    restore();
    ShowEnd(boxes, hooks, SearchDoneText(), foundCount);
    hooks.openLinkPort();
    hooks.setLinkControlsEnabled(true);
}

} // namespace olv::search
