#pragma once

#include "device/pending_device_link.h"
#include "link/link_settings.h"
#include "messages/message_boxes.h"
#include "settings/ini_file.h"

#include <QString>

#include <string>
#include <vector>

namespace olv::settings {

class IniSnapshot;

// dev.dat in the current working directory, asked for anew at every call.
QString StationSettingsPath();

// Reads dev.dat (creating it with the default set first when it is missing) into the link settings,
// seeds the proposed address, rate and parity, and keeps the register file name. Every key read is
// written back, so missing keys are added and malformed integers replaced by their defaults. Then
// warns, in this order, about a port number above 8 and a reply time-out above 4000 ms; nothing is
// corrected. Throws IniWriteError when a write is refused; keys and fields handled before it stay.
void LoadStationSettings(link::LinkSettings& link, device::PendingDeviceLink& pending, QString& regFileName,
                         messages::MessageBoxes& boxes);

// The link settings a dev.dat holds, read as LoadStationSettings reads them (port number, rate and parity of
// "Settings", address, reply time-out), each key's default where it is missing; nothing is written. For
// programs that take a station's settings without changing them.
link::LinkSettings StationLinkIn(const IniSnapshot& file);

// Writes the link settings to dev.dat in the current working directory; a missing file is created
// first. The trace file name, the register file name and EnableNetAdrr are never rewritten here.
// Throws IniWriteError when a write is refused.
// With `window`, the window's place ([WINDOW], WindowGeometryEntries) goes in the same one write.
void SaveStationSettings(const link::LinkSettings& link, const std::vector<IniEntry>& window = {});

// The "Settings" text for a rate and a parity: "9600,O,8,2". A rate other than the six the window
// offers is written as 19200, which is also what the load falls back to.
QString LineSettingsText(int baudRate, int parity);

// The device path of serial port 1..8 (COM1..COM8): [PORTS]/COM<n> of dev.dat in the working
// directory when present and not empty, else "/dev/ttyS<n-1>". Any other number stands for port 1,
// as the port opening does. Reads only, at every call. The value's bytes reach the file system exactly
// as they stand in the file, whole; only bytes that are no UTF-8 and name nothing, while their
// Windows-1251 reading names a file, are taken as that reading (what an earlier version stored for a
// typed path).
std::string ResolvePortPath(int portNumber);
// The same, from contents already read.
std::string PortPathIn(const IniSnapshot& file, int portNumber);

} // namespace olv::settings
