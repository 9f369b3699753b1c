#pragma once

#include <QString>

#include <optional>

// What the command line asks of the program besides its window.
struct CommandLine {
    QString grabPagesFolder; // --grab-pages DIR: a picture of every page into DIR, then quit
    int grabLiveMs = 2500;   // --grab-live-seconds S: how long the live page polls before it is grabbed
    QString dataFolder;      // --data-dir DIR: the working folder, made when missing
};

// Reads the command line before the application object exists, so that --help and --version work
// without a display. Prints the help or the version to stdout, or the complaint and the usage text to
// stderr for anything it does not know, and then gives the exit code; gives nothing when the window
// should open.
std::optional<int> ParseCommandLine(int argc, char** argv, CommandLine& options);

// The folder of --data-dir: "xdg" stands for $XDG_DATA_HOME/modbus-olv (by default
// ~/.local/share/modbus-olv), the desktop entry's folder; anything else is a path.
QString DataFolderPath(const QString& value);

// Makes the folder when missing and makes it the working folder. On failure prints why to stderr and
// gives false.
bool EnterDataFolder(const QString& folder);
