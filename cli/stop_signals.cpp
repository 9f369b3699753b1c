#include "cli/stop_signals.h"

#include <algorithm>
#include <csignal>
#include <thread>

namespace olv::cli {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal) {
    if (stopSignal == 0) stopSignal = signal;
}

} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a sleep ends early, the ports resume their own waits
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() {
    return stopSignal != 0;
}

int StopSignal() {
    return stopSignal;
}

void RequestStop(int signal) {
    stopSignal = signal;
}

void ClearStop() {
    stopSignal = 0;
}

bool SleepUntil(std::chrono::steady_clock::time_point until) {
    using namespace std::chrono;
    for (;;) {
        if (StopRequested()) return false;
        const auto now = steady_clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min<steady_clock::duration>(until - now, milliseconds(100)));
    }
}

} // namespace olv::cli
