#pragma once

#include <QString>

#include <functional>
#include <optional>

class QCommandLineParser;

// What the command line asks of the program besides its window.
struct CommandLine {
    QString dataFolder;  // --data-dir DIR: the working folder, made when missing
    bool listen = false; // --listen: start without transmitting, listening on the line monitor
};

// Options another program on the window adds to its command line (the screenshot program's): `add`
// puts them into the parser before it reads the arguments, `take` reads them afterwards and gives
// what is wrong with them (empty when nothing), which refuses the command line like an unknown option.
struct ExtraOptions {
    std::function<void(QCommandLineParser& parser)> add;
    std::function<QString(const QCommandLineParser& parser)> take;
};

// Reads the command line before the application object exists, so that --help and --version work
// without a display. Prints the help or the version to stdout, or the complaint and the usage text to
// stderr for anything it does not know, and then gives the exit code; gives nothing when the window
// should open.
std::optional<int> ParseCommandLine(int argc, char** argv, CommandLine& options,
                                    const ExtraOptions& extra = {});

// The folder of --data-dir: "xdg" stands for $XDG_DATA_HOME/modbus-olv (by default
// ~/.local/share/modbus-olv), the desktop entry's folder; anything else is a path.
QString DataFolderPath(const QString& value);

// Makes the folder when missing and makes it the working folder. On failure prints why to stderr and
// gives false.
bool EnterDataFolder(const QString& folder);
