#pragma once

#include "sim/instrument.h"

#include <string>
#include <vector>

namespace olv::sim {

// The simulator's command line, parsed.
struct Options {
    std::string link;      // --link: a symlink that always points at the line being served
    std::string device;    // --device: a real serial port instead of a pseudo-terminal
    std::string control;   // --control: a FIFO that takes commands like stdin
    std::vector<std::string> taps; // --tap: symlinks to further terminals on the same line
    std::string mbtcp;             // --mbtcp HOST:PORT: serve the instruments as a Modbus TCP gateway there
    bool gatewaySilent = false;    // --gateway-silent: no exception 11 for a unit that does not answer
    int usbLatencyMs = 0;          // --usb-latency: a USB adapter's latency timer, ms (0: no adapter)
    bool quiet = false;    // --quiet: no log line per request
    bool lineCheck = true; // --no-line-check: answer whatever rate and parity the master uses
    bool help = false;
    std::vector<Instrument> instruments;    // at least one
    std::vector<std::string> faultCommands; // "fault ..." lines to run before serving
};

// Reads key=value lines into the instrument ('#' starts a comment line, blank lines are skipped).
bool LoadState(const std::string& text, Instrument& instrument, std::string& error);
bool LoadStateFile(const std::string& path, Instrument& instrument, std::string& error);

// Refuses a --control path that exists and is no FIFO, and a --link or --tap path that exists and is not a
// symbolic link to a line (a pseudo-terminal, or the --device port).
bool CheckPaths(const Options& options, std::string& error);

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

extern const char* const UsageText;

} // namespace olv::sim
