#pragma once

#include "device/register_map.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace olv::device {

struct PendingDeviceLink;

// What an instrument must never be given, whoever proposes it: the sensor page, the communication page
// or a configuration file. A value is refused when the instrument would hold nonsense afterwards (a
// range whose minimum is not below its maximum, a trim multiplier of 0, a float that is no finite
// number), a code its lists do not have, a date that does not exist, or a link value it does not take.

// The fields the rules judge.
enum class CheckedField {
    Date,
    RangeMax,
    RangeMin,
    TrimOffset,
    TrimMultiplier,
    Damping,
    Units,
    SensorUnits,
    ByteOrder,
    Address,
    BaudRate,
    Parity,
};

// Where a field lives: a register and the bits of it that hold the field.
struct FieldBits {
    int reg;
    uint16_t mask;
};

// The registers of a field, the first one first (a float's high half, register 8 for the address and
// the baud code, 1034 for the parity).
std::vector<FieldBits> BitsOf(CheckedField field);

// One refused value. `fields` holds the field to put right first, then any other the rule compared it
// with (a range minimum not below its maximum names both, the minimum first).
struct Refusal {
    std::vector<CheckedField> fields;
    QString
        reason; // in words, lower case, no full stop: "минимум диапазона 5.0000 не меньше максимума 1.6000"
};

// Registers 0..62 as a configuration write sends them. Codes that are not set (a date of day 0 and
// month 0, sensor units 0) are taken as the instrument's "nothing recorded" and pass.
std::vector<Refusal> ConfigurationRefusals(const std::array<uint16_t, reg::ImageSize>& words);

// The communication settings as the link write sends them: the address byte (0 is the broadcast
// address, which no instrument answers), the baud code 0..5 (-1 for a rate that has none), the parity
// code 0..2 and the byte order code 0..3.
struct LinkValues {
    int address = 0;
    int baudCode = 0;
    int parity = 0;
    int byteOrder = 0;
};
std::vector<Refusal> LinkRefusals(const LinkValues& link);

// The link values the communication page proposes; a rate none of the six gives baud code -1.
LinkValues LinkValuesOf(const PendingDeviceLink& pending);

// The refusal with its first letter capitalised and a full stop: the text of a message box.
QString RefusalSentence(const Refusal& refusal);

} // namespace olv::device
