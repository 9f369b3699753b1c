// `modbus-olv-cli value --count 100 --interval 0` at 19200 bit/s against the virtual instrument with a
// tap on its line, so that request and reply take their time on the wire as on RS-485. Prints the whole
// run against its floor (100 reads of wire time plus the interval time-out that ends each reply, and
// the same for the one read of the units before them), and how long after the program's start its first
// byte reached the line. Figures only; nothing fails.
#include "link/link_settings.h"
#include "link/port_master.h"
#include "link/termios_port.h"
#include "tests/support/sim_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Runs = 5;
constexpr int Count = 100;
constexpr int Baud = 19200;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Run {
    double totalMs = -1;
    double firstByteMs = -1; // from fork to the first byte seen on the tap, less its own character time
    int lines = 0;
};

Run Once(const std::string& line, const std::string& tap, const std::vector<std::string>& extra) {
    Run run;
    const int listener = ::open(tap.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (listener < 0) return run;
    termios t{};
    tcgetattr(listener, &t);
    cfmakeraw(&t);
    tcsetattr(listener, TCSANOW, &t);
    tcflush(listener, TCIFLUSH);
    int out[2];
    if (pipe(out) != 0) return run;
    std::vector<std::string> args{OLV_BIN_DIR "/modbus-olv-cli", "value", "--port", line, "--count",
                                  std::to_string(Count), "--interval", "0", "--baud", std::to_string(Baud)};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    // The tap hears the first byte of the first request.
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, 5000) > 0) {
        const auto heard = Clock::now();
        const double character = 11.0 * 1000.0 / Baud; // start, 8 data, parity, stop
        run.firstByteMs = Ms(heard - start) - character;
    }
    char buffer[65536];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            run.lines += buffer[i] == '\n';
    int status = 0;
    waitpid(pid, &status, 0);
    run.totalMs = Ms(Clock::now() - start);
    close(out[0]);
    close(listener);
    return run;
}

// The same 100 reads by the core's master inside this process: what the line and the simulator cost
// on this machine now, without the program around them.
double InProcessMs(const std::string& line) {
    olv::link::TermiosPort port;
    std::string error;
    if (!port.open(line, olv::link::LineSettings{Baud, 8, 2}, error)) return -1;
    olv::link::LinkSettings settings;
    settings.address = 1;
    settings.baudRate = Baud;
    olv::link::PortMaster master(port, settings);
    const auto start = Clock::now();
    for (int i = 0; i < Count; ++i) {
        uint16_t values[3];
        uint8_t exceptionCode = 0;
        master.readHoldingRegisters(15, 3, values, exceptionCode);
    }
    return Ms(Clock::now() - start);
}

} // namespace

int main() {
    olv::test::SimInstrument sim;
    const std::string tap = "/tmp/olv-cli-bench-tap-" + std::to_string(getpid());
    if (!sim.start({"--quiet", "--tap", tap})) {
        std::printf("the simulator did not start\n");
        return 0;
    }
    // Floor of one read: request (8 bytes) and reply (11 bytes) on the wire, then the interval time-out.
    const double wireMs = 19 * 11.0 * 1000.0 / Baud;
    const double intervalMs = olv::link::ReadTimeoutsFor(Baud, 1000).intervalMs;
    const double readFloor = wireMs + intervalMs;
    std::printf("value --count %d --interval 0 at %d bit/s against the simulator (a tap on its line), %d runs\n",
                Count, Baud, Runs);
    std::printf("  floor of one read   %.3f ms (wire %.3f ms for 19 characters + interval time-out %.0f ms)\n",
                readFloor, wireMs, intervalMs);
    std::printf("  floor of the run    %.1f ms for %d reads (%.1f ms with the read of units and byte order)\n",
                Count * readFloor, Count, (Count + 1) * readFloor);
    for (int i = 0; i < Runs; ++i) {
        const double ms = InProcessMs(sim.path());
        std::printf("  the core's master in this process, %d reads: %7.1f ms, %+5.2f %% over %d x floor\n", Count, ms,
                    (ms / (Count * readFloor) - 1) * 100, Count);
    }
    for (const auto& [label, extra] :
         std::vector<std::pair<const char*, std::vector<std::string>>>{{"byte order from the meter", {}},
                                                                       {"--byte-order 0", {"--byte-order", "0"}}}) {
        std::printf("  %s:\n", label);
        for (int i = 0; i < Runs; ++i) {
            const Run run = Once(sim.path(), tap, extra);
            std::printf("    run %d: %7.1f ms, %3d readings, %+5.2f %% over %d x floor, first byte after %.1f ms\n",
                        i + 1, run.totalMs, run.lines, (run.totalMs / (Count * readFloor) - 1) * 100, Count,
                        run.firstByteMs);
        }
    }
    sim.stop();
    return 0;
}
