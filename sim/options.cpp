#include "sim/options.h"

#include "sim/text_values.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace olv::sim {

namespace {
constexpr size_t MaxStateFileSize = 1024 * 1024;
} // namespace

const char* const UsageText =
    "usage: modbus-olv-sim [options]\n"
    "A virtual pressure meter (Modbus RTU slave) on a pseudo-terminal, or behind a Modbus TCP gateway.\n"
    "The first line of stdout is the path of the line; commands are read from stdin, one per line, and\n"
    "answered with one line.\n"
    "\n"
    "  --link PATH              keep a symlink PATH pointing at the line\n"
    "  --device PATH            serve a real serial port instead of a pseudo-terminal\n"
    "  --baud B, --parity N|O|E the instrument's rate and parity (and the real port's)\n"
    "  --address A              the instrument's Modbus address (default 1)\n"
    "  --byte-order N           byte order code 0..3 of the live value\n"
    "  --state FILE             key=value lines of the starting state (see `dump`)\n"
    "  --set KEY=VALUE          one state key, e.g. --set text=Hello --set range_max=2.5\n"
    "  --value F, --value-raw HEX, --status N   a fixed live value, its raw bits, a status word\n"
    "  --sensor-error zero=Z,gain=G,hysteresis=H,noise=S,settle=T[,seed=N]\n"
    "                           errors of every instrument's sensor: zero, hysteresis and noise (standard\n"
    "                           deviation) in % of span, gain in %, settle a first-order time constant in\n"
    "                           seconds; keys left out are 0. It measures P x (1 + G/100) + Z/100 x span\n"
    "                           (descending readings H % of span above ascending ones), and sends that\n"
    "                           x trim multiplier + trim offset\n"
    "  --instrument K=V,K=V     one instrument of several on the line (addr=, baud=, parity=, any key)\n"
    "  --instruments-range A-B  one instrument at every address A..B\n"
    "  --fault 'NAME ARG [once]'  a fault switch from the start, as the `fault` command\n"
    "  --control FIFO           also read commands from FIFO (a line and a gateway alike)\n"
    "  --tap PATH               a further terminal on the same line (repeatable), linked at PATH: every\n"
    "                           byte any party sends reaches the instruments and every other party\n"
    "                           that has its terminal open; a tap nobody has open hears nothing\n"
    "  --no-line-check          answer at any rate and parity the master's side shows\n"
    "  --usb-latency MS         hand the line's bytes to the terminal as a USB adapter's chip does: in\n"
    "                           packets, sent when MS ms (1..255) have passed since the last one or 62\n"
    "                           bytes wait; bytes then take their time on the wire\n"
    "  --mbtcp HOST:PORT        be a Modbus TCP gateway to the instruments instead of a line: listen at\n"
    "                           HOST:PORT (port 0: any free one; [IPv6] in brackets), print\n"
    "                           mbtcp://HOST:PORT first; unit = address, exception 11 for a unit that\n"
    "                           does not answer; a malformed header drops the connection\n"
    "  --gateway-silent         with --mbtcp: say nothing instead of exception 11\n"
    "  --quiet                  no log line per request on stderr\n"
    "\n"
    "Commands ([@ADDR] picks an instrument, default the first):\n"
    "  ping | dump | get REG | set KEY=VALUE | value F|raw HEX|live | status N|auto | instruments\n"
    "  apply P|live   the pressure applied to the sensor, in the instrument's units; live: the slow swing\n"
    "  sensor-error zero=Z,gain=G,hysteresis=H,noise=S,settle=T[,seed=N]|off   the sensor's errors from now\n"
    "  fault noreply|crc|collide on|off|once   fault "
    "delay|truncate|extra|address|function|exception|garbage|gap "
    "N|off [once]\n"
    "  fault list | fault clear | unplug | replug | bus | usb | quit\n";

bool LoadState(const std::string& text, Instrument& instrument, std::string& error) {
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        if (line == "end") continue; // a saved dump ends with it
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            error = "line " + std::to_string(number) + ": expected key=value";
            return false;
        }
        std::string key = line.substr(first, eq - first);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
            key.pop_back();
        std::string why;
        if (!instrument.setKey(key, line.substr(eq + 1), why)) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    return true;
}

bool LoadStateFile(const std::string& path, Instrument& instrument, std::string& error) {
    // Only a regular file: a FIFO would block the start, a device never end, a folder read as empty.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > static_cast<off_t>(MaxStateFileSize)) {
        ::close(fd);
        error = path + " is not a state file (a regular file of at most 1 MB)";
        return false;
    }
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() <= MaxStateFileSize)
        text.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    if (n < 0) {
        error = "cannot read " + path;
        return false;
    }
    if (!LoadState(text, instrument, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool CheckPaths(const Options& options, std::string& error) {
    struct stat st {};
    // The control path is made a FIFO when it is missing; anything else there is not ours to read
    // (a plain file would read as endless end-of-file).
    if (!options.control.empty() && ::stat(options.control.c_str(), &st) == 0 && !S_ISFIFO(st.st_mode)) {
        error = "--control " + options.control + " exists and is not a FIFO";
        return false;
    }
    // The link is replaced at start and removed at the end: only a link to a line may be there already
    // (the one an earlier run left behind), never a file or a link to something else.
    std::vector<std::pair<std::string, std::string>> links{{"--link", options.link}};
    for (const std::string& tap : options.taps)
        links.emplace_back("--tap", tap);
    for (const auto& [option, path] : links) {
        if (path.empty() || ::lstat(path.c_str(), &st) != 0) continue;
        char target[4096];
        const ssize_t n = S_ISLNK(st.st_mode) ? ::readlink(path.c_str(), target, sizeof target - 1) : -1;
        const std::string points = n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
        const bool earlierLink =
            points.rfind("/dev/pts/", 0) == 0 || (!options.device.empty() && points == options.device);
        if (!earlierLink) {
            error = option + " " + path + " exists and is not a link to a line";
            return false;
        }
    }
    return true;
}

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    Instrument base;
    std::vector<std::string> instrumentTexts;
    int rangeFirst = 0, rangeLast = -1;
    std::string statePath;
    std::vector<std::pair<std::string, std::string>> settings; // applied in order after the state file

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--quiet") {
            options.quiet = true;
        } else if (a == "--mbtcp") {
            if (!value(options.mbtcp)) return false;
        } else if (a == "--gateway-silent") {
            options.gatewaySilent = true;
        } else if (a == "--no-line-check") {
            options.lineCheck = false;
        } else if (a == "--usb-latency") {
            if (!value(v)) return false;
            long long ms = 0;
            if (!ParseInteger(v, ms) || ms < 1 || ms > 255) {
                error = "--usb-latency takes a latency timer of 1..255 ms: " + v;
                return false;
            }
            options.usbLatencyMs = static_cast<int>(ms);
        } else if (a == "--link") {
            if (!value(options.link)) return false;
        } else if (a == "--device") {
            if (!value(options.device)) return false;
        } else if (a == "--control") {
            if (!value(options.control)) return false;
        } else if (a == "--tap") {
            if (!value(v)) return false;
            options.taps.push_back(v);
        } else if (a == "--state") {
            if (!value(statePath)) return false;
        } else if (a == "--baud" || a == "--parity" || a == "--address" || a == "--byte-order" ||
                   a == "--value" || a == "--value-raw" || a == "--status" || a == "--sensor-error") {
            if (!value(v)) return false;
            std::string key = a.substr(2);
            for (char& c : key)
                if (c == '-') c = '_';
            settings.emplace_back(key, v);
        } else if (a == "--set") {
            if (!value(v)) return false;
            const size_t eq = v.find('=');
            if (eq == std::string::npos || eq == 0) {
                error = "--set takes KEY=VALUE: " + v;
                return false;
            }
            settings.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--instrument") {
            if (!value(v)) return false;
            instrumentTexts.push_back(v);
        } else if (a == "--instruments-range") {
            if (!value(v)) return false;
            const auto parts = Split(v, '-');
            long long first = 0, last = 0;
            if (parts.size() != 2 || !ParseInteger(parts[0], first) || !ParseInteger(parts[1], last) ||
                first < 1 || last > 255 || first > last) {
                error = "--instruments-range takes FIRST-LAST within 1..255: " + v;
                return false;
            }
            rangeFirst = static_cast<int>(first);
            rangeLast = static_cast<int>(last);
        } else if (a == "--fault") {
            if (!value(v)) return false;
            options.faultCommands.push_back("fault " + v);
        } else {
            error = "unknown option " + a;
            return false;
        }
    }

    if (!options.mbtcp.empty() &&
        (!options.link.empty() || !options.device.empty() || !options.taps.empty())) {
        error = "--mbtcp serves no line: --link, --device and --tap do not go with it";
        return false;
    }
    if (!options.mbtcp.empty() && options.usbLatencyMs > 0) {
        error = "--usb-latency plays an adapter on a line, which --mbtcp does not serve";
        return false;
    }
    if (!CheckPaths(options, error)) return false;
    if (!statePath.empty() && !LoadStateFile(statePath, base, error)) return false;
    for (const auto& [key, v] : settings)
        if (!base.setKey(key, v, error)) return false;

    options.instruments.clear();
    for (int a = rangeFirst; a <= rangeLast; ++a) {
        Instrument inst = base;
        inst.setKey("address", std::to_string(a), error);
        inst.setPhase(3.0 * a);
        options.instruments.push_back(inst);
    }
    for (const auto& entry : instrumentTexts) {
        Instrument inst = base;
        for (const auto& item : Split(entry, ',')) {
            const size_t eq = item.find('=');
            if (eq == std::string::npos || eq == 0) {
                error = "--instrument takes KEY=VALUE,...: " + entry;
                return false;
            }
            if (!inst.setKey(item.substr(0, eq), item.substr(eq + 1), error)) return false;
        }
        inst.setPhase(3.0 * inst.address());
        options.instruments.push_back(inst);
    }
    if (options.instruments.empty()) options.instruments.push_back(base);

    for (size_t i = 0; i < options.instruments.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (options.instruments[i].address() == options.instruments[j].address()) {
                error = "two instruments at address " + std::to_string(options.instruments[i].address());
                return false;
            }
    error.clear();
    return true;
}

} // namespace olv::sim
