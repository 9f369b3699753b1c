#pragma once

#include "records/instrument_state.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace olv::cli {

// The stable English key of a field as records::FieldsOf names it ("Максимум диапазона" → range_max);
// the name itself when it has none.
QString FieldKey(const QString& name);

// The instrument's fields as one JSON object: model, model_code, serial_number, range_min, range_max,
// units, units_code, sensor_units, sensor_units_code, damping, damping_code, manufactured
// (YYYY-MM-DD), trim_offset, trim_multiplier, text, module_model, module_hardware, module_software,
// address, baud_rate, parity (N, O, E), byte_order. Numbers are JSON numbers; a code the instrument's
// lists do not have gives null for its name (and for baud_rate, parity).
QByteArray StateJson(const records::InstrumentState& state);

// The registers a configuration file holds, as a JSON object "register": word.
QByteArray RegistersJson(const records::InstrumentState& state);

// The fields as the pages name them, one "name: value" line each, the range with its units first.
QStringList StateLines(const records::InstrumentState& state);

} // namespace olv::cli
