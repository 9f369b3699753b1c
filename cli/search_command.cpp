// search: the window's device search, one line per instrument found.
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/line.h"
#include "cli/output.h"
#include "cli/stop_signals.h"

#include "device/live_value.h"
#include "search/device_search.h"

#include <unistd.h>

namespace olv::cli {

int RunSearch(const Options& options) {
    Line line(ResolveLine(options.line));
    link::LinkSettings& settings = line.settings();
    const bool gateway = line.gateway();
    const bool progress = isatty(STDERR_FILENO) == 1;

    search::SearchSettings searchSettings;
    searchSettings.baudEnabled = options.bauds;
    searchSettings.parityEnabled = options.parities;
    searchSettings.firstAddress = options.firstAddress;
    searchSettings.lastAddress = options.lastAddress;

    search::FoundDevices found{};
    int printed = 0;
    int searchRunning = 1;
    QString openFailure;
    KeptBoxes boxes;

    search::SearchHooks hooks;
    hooks.openProbePort = [&](int baudRate, int parity) {
        QString why;
        if (line.reopen(baudRate, parity, why)) return true;
        openFailure = why;
        return false;
    };
    hooks.openLinkPort = [] {}; // the job ends with the search: nothing to go back to
    hooks.probe = [&](uint8_t& exceptionCode) {
        device::LiveReading reading;
        return device::ReadLiveValue(line.master(), settings.byteOrder, reading, exceptionCode);
    };
    hooks.processEvents = [&] {
        if (StopRequested()) searchRunning = 0;
    };
    hooks.showProgress = [&](const QString& text) {
        if (StopRequested()) searchRunning = 0;
        if (progress) PrintNote(QStringLiteral("\r\x1b[K") + text);
    };
    hooks.showSearchState = [&] {
        for (; printed < search::MaxFoundDevices && found[static_cast<size_t>(printed)].baudRate != 0; ++printed) {
            const search::FoundDevice& device = found[static_cast<size_t>(printed)];
            if (progress) PrintNote(QStringLiteral("\r\x1b[K"));
            if (options.json) {
                JsonObject json;
                json.add("address", device.address);
                if (gateway)
                    json.addNull("baud_rate").addNull("parity");
                else
                    json.add("baud_rate", device.baudRate).add("parity", ParityLetter(device.parity));
                PrintLine(json.text());
            } else {
                PrintLine(search::FoundDeviceLine(device, gateway));
            }
        }
    };
    hooks.setLinkControlsEnabled = [](bool) {};
    hooks.addressesOnly = gateway;
    search::RunDeviceSearch(searchSettings, searchRunning, settings, found, hooks, boxes);
    if (progress) PrintNote(QStringLiteral("\r\x1b[K"));

    if (!openFailure.isEmpty()) throw Failure(LineFault, openFailure);
    if (boxes.last && progress) PrintNote(boxes.last->text + u'\n');
    if (StopRequested()) {
        PrintError(search::SearchStoppedText());
        return CheckFailed;
    }
    if (printed == 0)
        throw Failure(LineFault, QStringLiteral("%1: ни один прибор не ответил").arg(line.resolved().portName));
    return Done;
}

} // namespace olv::cli
