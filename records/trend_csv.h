#pragma once

#include "device/live_trend.h"

#include <QByteArray>

#include <cstdint>

namespace olv::records {

// The trend's readings taken from fromMs to toMs (both included) as a table for a spreadsheet, written
// as the journal is (CsvRecord: UTF-8 after a byte order mark, ';', CR LF): a header line, then per
// reading, oldest first and of every series kept (earlier instruments' too), its date (dd.MM.yyyy) and
// local time (hh:mm:ss) of timeMs as milliseconds since the epoch, the value (SpreadsheetNumber), its
// units, the status word (0x and four hexadecimal digits), and the instrument it was read from: port,
// device, address, model and serial number (empty while unknown). With `zoomed` a line before the
// header says that the table is the part of the chart shown, from when to when.
QByteArray TrendCsv(const device::LiveTrend& trend, int64_t fromMs, int64_t toMs, bool zoomed = false);

} // namespace olv::records
