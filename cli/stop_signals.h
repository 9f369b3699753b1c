#pragma once

#include <chrono>

namespace olv::cli {

// SIGINT and SIGTERM ask the job to stop: it ends at its next safe point (after the reading, the
// block, the meter under way) and reports cleanly. A second one while it gets there changes nothing.
void InstallStopSignals();
bool StopRequested();
// The signal that asked, 0 for none.
int StopSignal();
// For tests: as if the signal had come, or as if none had.
void RequestStop(int signal);
void ClearStop();

// Sleeps until `until`, waking at least every 100 ms to see whether a stop was asked. True when the time
// was reached, false when a stop came first.
bool SleepUntil(std::chrono::steady_clock::time_point until);

} // namespace olv::cli
