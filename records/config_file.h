#pragma once

#include "device/sensor_configuration.h"
#include "device/value_rules.h"
#include "records/instrument_state.h"
#include "settings/ini_file.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace olv::records {

// An instrument's configuration as a file (*.cfg): an INI file with the register words as numbers, the
// identity of the instrument and of the read, and the same values in words for a person with a text
// editor. Only the numbers are read back.
struct ConfigFile {
    QString path; // the file it was read from
    InstrumentState state;
    QString port;       // "COM1"
    QString devicePath; // what the port opened
    int address = 0;    // the address it was read at
    QDateTime readAt;   // local time of the read
    QString program;    // "Mod Bus OLV 1.1.3.1"
};

// The largest file taken for a configuration file.
inline constexpr qint64 MaxConfigFileSize = 1024 * 1024;

// Writes the file through the INI layer in one write (all keys or none); other lines of an existing
// file stay. A refused write throws settings::IniWriteError.
void SaveConfigFile(const QString& path, const ConfigFile& file);

// Reads a configuration file. Nothing, with the reason in words, for a file that is missing, not a
// regular file, larger than MaxConfigFileSize, unreadable, not a configuration file, short of a
// register, or holding a value the instrument must not be given (StateRefusals): the file is refused
// as a whole, and the reason names the field, its register and the line it is on
// ("строка 57, r20: минимум диапазона 5.0000 не меньше максимума 1.6000").
std::optional<ConfigFile> LoadConfigFile(const QString& path, QString& reason);

// The same reading of contents already read (LoadConfigFile's once the file is had): nothing, with
// the reason, for contents not readable or not a configuration, short of a register or holding a
// value the instrument must not be given. The path is left empty.
std::optional<ConfigFile> ReadConfigFile(const settings::IniSnapshot& ini, QString& reason);

// Whether a save may go to this name: nothing there yet, an empty file, or a configuration file. Any
// other file (a profile picked by mistake) is never written over.
bool MayHoldConfiguration(const QString& path);

// Every value of a state that the instrument must not be given: those of the configuration write and
// those of the communication settings write (address, baud code, parity), in that order.
std::vector<device::Refusal> StateRefusals(const InstrumentState& state);

// The reason of the first of them; empty when there is none.
QString StateProblem(const InstrumentState& state);

// The registers a configuration file holds, in their order: the configuration blocks as read, then
// 1024, 1027, 1028 and 1034.
const std::vector<int>& ConfigFileRegisters();

// The words a configuration write from a file must take from the instrument it goes into: the
// registers the pages do not show (4, 10, 36..47), the byte order (11, a communication setting written
// on its own) and, unless withIdentity, the model (0), serial number (2, 3) and date of manufacture (5).
device::WordMasks InstrumentKeepsOnFileWrite(bool withIdentity);

} // namespace olv::records
