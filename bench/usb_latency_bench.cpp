// A 3-register read against the virtual instrument, first with bytes as they come and then behind a USB
// adapter with a latency timer of 1 ms (the low latency the program asks for) and of 16 ms (the FTDI
// default, where the driver refuses), at 19200 and 38400 bit/s. Behind the adapter the request and the
// reply also take their time on the wire, which the pseudo-terminal alone does not; today's floor on a
// line is therefore the pseudo-terminal's read plus the 19 characters of request and reply. A read behind
// the 16 ms timer may take up to one packet delay more than that floor, and no poll may be lost although
// many replies come in two packets. Prints figures only.
#include "link/link_settings.h"
#include "link/port_master.h"
#include "link/termios_port.h"
#include "tests/support/sim_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace olv::link;

namespace {

constexpr int Runs = 200;
constexpr double PacketDelayMs = 16;

struct Figures {
    std::vector<double> ms; // sorted
    int lost = 0;
    int split = -1; // replies the simulator handed over in more than one packet (with --usb-latency)
    double median() const { return ms[ms.size() / 2]; }
    double p95() const { return ms[ms.size() * 95 / 100]; }
};

bool Measure(int baudRate, const std::vector<std::string>& simOptions, Figures& figures) {
    olv::test::SimInstrument sim;
    std::vector<std::string> args{"--quiet", "--no-line-check"};
    args.insert(args.end(), simOptions.begin(), simOptions.end());
    if (!sim.start(args)) return false;
    TermiosPort port;
    std::string error;
    if (!port.open(sim.path(), LineSettings{baudRate, 8, 0}, error)) return false;
    LinkSettings settings;
    settings.address = 1;
    settings.baudRate = baudRate;
    settings.timeoutMs = 1000;
    PortMaster master(port, settings);
    for (int i = 0; i < Runs; ++i) {
        // Polls come once a second, at any phase of the chip's timer: a pause of its own before each.
        std::this_thread::sleep_for(std::chrono::microseconds(i * 5300 % 16000));
        uint16_t values[3];
        uint8_t exc = 0;
        const auto start = std::chrono::steady_clock::now();
        const ResultFlags flags = master.readHoldingRegisters(15, 3, values, exc);
        figures.ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (flags != 0 || exc != 0) ++figures.lost;
    }
    std::sort(figures.ms.begin(), figures.ms.end());
    int packets = 0;
    std::sscanf(sim.command("usb").c_str(), "ok latency=%*d packets=%d split=%d", &packets, &figures.split);
    return true;
}

} // namespace

int main() {
    std::printf("3-register read against the virtual instrument, %d polls per row\n", Runs);
    std::printf("%-8s %-24s %9s %9s %9s %6s %6s\n", "bit/s", "line", "median", "p95", "max", "lost", "split");
    for (int baudRate : {19200, 38400}) {
        Figures plain, low, usb;
        if (!Measure(baudRate, {}, plain) || !Measure(baudRate, {"--usb-latency", "1"}, low) ||
            !Measure(baudRate, {"--usb-latency", "16"}, usb)) {
            std::printf("the virtual instrument could not be started or opened\n");
            return 0;
        }
        const auto row = [baudRate](const char* line, const Figures& f) {
            const std::string split = f.split >= 0 ? std::to_string(f.split) : "-";
            std::printf("%-8d %-24s %6.2f ms %6.2f ms %6.2f ms %6d %6s\n", baudRate, line, f.median(), f.p95(),
                        f.ms.back(), f.lost, split.c_str());
        };
        row("bytes as they come", plain);
        row("USB, 1 ms timer", low);
        row("USB, 16 ms timer", usb);
        const double wire = 19 * 11000.0 / baudRate;
        const double floor = plain.median() + wire;
        const double bound = PacketDelayMs + floor;
        const auto over = std::count_if(usb.ms.begin(), usb.ms.end(), [&](double ms) { return ms > bound; });
        std::printf("%-8s floor on a line %.2f ms (+ %.2f ms on the wire); 16 ms timer: median %+.2f ms over "
                    "it, %ld of %d reads above floor + packet delay (%.2f ms)\n",
                    "", floor, wire, usb.median() - floor, static_cast<long>(over), Runs, bound);
    }
    return 0;
}
