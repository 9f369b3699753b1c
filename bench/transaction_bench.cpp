// Time of one 3-register read against a peer on a pseudo-terminal that answers at once, at 19200 bit/s.
// A full reply ends the read by the inter-byte silence (12 ms at this rate), so that is the floor; the
// rest is our own overhead. Prints figures only.
#include "link/link_settings.h"
#include "link/port_master.h"
#include "link/termios_port.h"
#include "tests/support/pty_peer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace olv::link;

int main() {
    olv::test::PtyPair pty;
    if (!pty.ok()) {
        std::printf("no pseudo-terminal available\n");
        return 0;
    }
    const std::vector<uint8_t> reply = {0x01, 0x03, 0x06, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x69, 0x43};
    olv::test::PtyResponder peer(pty.masterFd(), [&](const std::vector<uint8_t>&) { return reply; });

    TermiosPort port;
    std::string error;
    if (!port.open(pty.slavePath(), LineSettings{19200, 8, 0}, error)) {
        std::printf("cannot open %s: %s\n", pty.slavePath().c_str(), error.c_str());
        return 0;
    }
    LinkSettings settings;
    settings.address = 1;
    settings.baudRate = 19200;
    settings.parity = 0;
    settings.timeoutMs = 1000;
    settings.traceEnabled = 0;
    PortMaster master(port, settings);

    constexpr int runs = 200;
    std::vector<double> times;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        uint16_t values[3];
        uint8_t exc = 0;
        const auto start = std::chrono::steady_clock::now();
        const ResultFlags flags = master.readHoldingRegisters(15, 3, values, exc);
        const auto end = std::chrono::steady_clock::now();
        if (flags != 0 || exc != 0) ++failures;
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double floor = ReadTimeoutsFor(19200, 1000).intervalMs;
    std::printf("3-register read at 19200 bit/s, %d runs (%d failed)\n", runs, failures);
    std::printf("  median   %8.3f ms\n", median);
    std::printf("  min/max  %8.3f / %.3f ms\n", times.front(), times.back());
    std::printf("  floor    %8.3f ms (inter-byte time-out)\n", floor);
    std::printf("  overhead %8.3f ms above the floor (aim: below 0.5 ms)\n", median - floor);
    return 0;
}
