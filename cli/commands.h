#pragma once

#include "cli/options.h"

namespace olv::cli {

// Each job: its output on stdout, its exit code returned; a job that cannot be done throws Failure.
int RunValue(const Options& options);
int RunInfo(const Options& options);
int RunSearch(const Options& options);
int RunConfigRead(const Options& options);
int RunConfigCompare(const Options& options);
int RunMonitor(const Options& options);
int RunConfigWrite(const Options& options);
int RunLink(const Options& options);
int RunBatch(const Options& options);
int RunCalibrate(const Options& options);

// The whole program: parses the command line, says --help and --version, runs the job, and says a
// failure as one line on stderr. Returns the exit code.
int RunProgram(const QStringList& arguments);

} // namespace olv::cli
