// Time of one 3-register read of the live value (registers 15..17, address 1, 19200 bit/s, even
// parity) against the virtual instrument, made by our RTU master over the termios port, in the same
// process for every run. bench/resources.sh sets Debian's mbpoll on the same simulator beside it.
// Prints figures only.
//
//   olv_bench_resources_read [runs]     (default 100)
#include "tests/support/sim_fixture.h"

#include "link/link_settings.h"
#include "link/port_master.h"
#include "link/termios_port.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace olv::link;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    olv::test::SimInstrument sim;
    if (!sim.start({"--quiet"})) {
        std::printf("the virtual instrument did not start\n");
        return 0;
    }
    TermiosPort port;
    std::string error;
    if (!port.open(sim.path(), LineSettings{19200, 8, 2}, error)) {
        std::printf("cannot open %s: %s\n", sim.path().c_str(), error.c_str());
        return 0;
    }
    LinkSettings settings;
    settings.address = 1;
    PortMaster master(port, settings);

    std::vector<double> times;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        uint16_t values[3];
        uint8_t exc = 0;
        const auto start = std::chrono::steady_clock::now();
        const ResultFlags flags = master.readHoldingRegisters(15, 3, values, exc);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (flags != 0 || exc != 0) ++failures;
    }
    std::sort(times.begin(), times.end());
    std::printf("3-register read against the simulator, our master, %d runs (%d failed)\n", runs, failures);
    std::printf("  median   %8.3f ms   min/max %.3f / %.3f ms\n", times[times.size() / 2], times.front(),
                times.back());
    return 0;
}
