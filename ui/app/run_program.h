#pragma once

#include "ui/app/command_line.h"

#include <functional>

class TForm1;

// The program: its command line read, one window on the serial port, closed by its close button or by
// SIGTERM, SIGINT or SIGHUP (the settings are saved either way); gives the exit code. `extra` adds a
// program's own options to the command line; `shown` runs once the window is on the screen (the
// screenshot program grabs its pages from there).
int RunProgram(int argc, char** argv, const ExtraOptions& extra = {},
               const std::function<void(TForm1& window)>& shown = {});
