#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace olv::settings {

// A serial device present on the machine, as the port assignment shows it.
struct SerialDevice {
    std::string path;         // /dev/ttyUSB0
    std::string description;  // what the device says it is
    std::string manufacturer; // its maker, when it tells
    std::string serialNumber; // its serial number, when it tells
    std::string stableName;   // /dev/serial/by-id/... that points at it, empty when there is none
};

// The device paths of COM1..COM8, index 0 for COM1.
using PortPaths = std::array<std::string, 8>;

// The name under which a device is best assigned: its /dev/serial/by-id name, which survives a replug
// into another socket and the order in which adapters are found; else its own path.
std::string AssignedName(const SerialDevice& device);

// The /dev/serial/by-id entry (in byIdFolder) that leads to devicePath, or "" when none does.
std::string StableNameOf(const std::string& devicePath, const std::string& byIdFolder = "/dev/serial/by-id");

// The paths COM1..COM8 map to now (ResolvePortPath for each).
PortPaths CurrentPortPaths();

// Which of COM1..COM8 start without transmitting (index 0 for COM1): the program opens such a port,
// goes straight to the line monitor and sends nothing until the user asks, for a line that already has
// a master. Kept as [PORTS]/ListenCOM<n>=1 of dev.dat, next to the port's path.
using ListenChoices = std::array<bool, 8>;

// Whether COM<portNumber> starts without transmitting (any number outside 1..8 stands for port 1, as
// the port opening does). Reads only, at every call; anything but 1 is no.
bool ListensAtStart(int portNumber);
// The same for every port.
ListenChoices CurrentListenChoices();

// Writes [PORTS]/COM<n> of dev.dat for every port whose path differs from what it maps to now, and
// nothing else: every other byte of the file stays. An empty path is not written. The paths are stored
// as the file system spells them, byte for byte, whatever the encoding of the rest of the file, and
// all in one write. In the same write goes [PORTS]/ListenCOM<n> (1, or 0 where it was 1) for every port
// with a choice in listen that differs from the file's; a port without one is left as it is. Returns
// the port numbers (1..8) written. Throws IniWriteError when a write is refused.
using ListenChanges = std::array<std::optional<bool>, 8>;
std::vector<int> SavePortPaths(const PortPaths& paths, const ListenChanges& listen = {});

// The longest path a settings line holds whole: the settings reader takes no more.
constexpr size_t MaxPortPathLength = 1023;

// Why a path cannot be stored in dev.dat so that it reads back byte for byte (too long; a line break,
// a NUL byte, blanks at either end or quotes around it), in the window's words; empty when it can.
std::string PortPathProblem(const std::string& path);

} // namespace olv::settings
