#pragma once

#include "device/pending_device_link.h"
#include "device/register_image.h"
#include "link/modbus_master.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace olv::records {

// Everything the program reads of one instrument: the configuration blocks (registers 0..62 as the
// configuration read moves them), the module words of registers 1024, 1027 and 1028, and the parity
// of its line (register 1034).
struct InstrumentState {
    device::RegisterImage image; // image.source is not used here
    uint16_t parity = 0;         // register 1034
};

// The configuration (seven blocks), the versions (pause(100) between their two reads) and the parity,
// in that order; the first failure ends it with its flags and code. The state is complete only when
// it returns 0.
link::ResultFlags ReadInstrumentState(link::ModbusMaster& master, InstrumentState& state,
                                      uint8_t& exceptionCode, const std::function<void(int ms)>& pause);

// The state an instrument in `before` is meant to be in once a configuration write of `image` went
// through: the words of the seven written blocks are the image's. What it is in is what the write's
// read-back shows (records/page_write_record.h).
InstrumentState WithConfigurationWritten(const InstrumentState& before, const device::RegisterImage& image);

// The state meant by the communication settings write of `pending`: registers 11, 8, 1034.
InstrumentState WithLinkWritten(const InstrumentState& before, const device::PendingDeviceLink& pending);

// The groups the shown fields belong to, as bits: what a write may or may not change.
enum FieldGroup : unsigned {
    IdentityFields = 1, // model, serial number, date of manufacture: a replacement keeps its own
    SensorFields = 2,   // model code, range, damping, units, sensor units, trim
    LinkFields = 4,     // address, baud rate, parity, byte order
    TextFields = 8,     // the stored text
    VersionFields = 16, // the module's model number and versions
    AllFields = 31,
};

// One field of the sensor, communication and text pages as an engineer reads it.
struct FieldValue {
    QString name;
    FieldGroup group;
    QString text;
    QByteArray raw; // the register bits behind it: two values differ exactly when these do
    bool number = false; // a float: the journal writes it as a spreadsheet reads a number
};

// The fields of a state in the order of the pages: sensor page, communication page, text page.
std::vector<FieldValue> FieldsOf(const InstrumentState& state);

// One row of a comparison of an instrument with a file.
struct CompareRow {
    QString name;
    QString device;
    QString file;
    bool differs = false;
    FieldGroup group = SensorFields;
    bool number = false; // a float (FieldValue::number)
};

// Every field of both, side by side. Floats that differ but show the same four decimals are shown
// with every digit, so that a difference is never marked between two equal texts.
std::vector<CompareRow> CompareRows(const InstrumentState& device, const InstrumentState& file);

// The names of the fields of the groups given that differ between the two.
QStringList DifferingFields(const InstrumentState& a, const InstrumentState& b, unsigned groups);

// A field whose value a write changes: its name, the old value and the new one, in words.
struct FieldChange {
    QString name;
    QString oldValue;
    QString newValue;
    bool number = false; // the values are floats: the journal writes them with a decimal comma
};
std::vector<FieldChange> ChangedFields(const InstrumentState& before, const InstrumentState& after,
                                       unsigned groups);

// The measuring range in words: "0.0000 … 1.6000 МПа" (minimum, maximum, transmitted units).
QString RangeText(const InstrumentState& state);

// The serial number as the sensor page shows it (signed 32-bit decimal).
QString SerialText(const InstrumentState& state);

// Parity codes 0..2 by name, as the communication page lists them.
QString ParityName(int code);

} // namespace olv::records
