#pragma once

#include "link/modbus_master.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

namespace olv::device {

// The last reading of the live page.
struct LiveReading {
    float liveValue = 0;
    uint16_t liveStatus = 0;
    bool liveImplausible = false; // the last value failed IsImplausibleReading; liveValue is then 0
};

// Reads the status and the value (registers 15..17) and decodes the value with byteOrder. The reading
// changes only when the transaction succeeded. The search uses the same read as its probe.
link::ResultFlags ReadLiveValue(link::ModbusMaster& master, int byteOrder, LiveReading& reading,
                                uint8_t& exceptionCode);

// One line of the measurement log: "%02u:%02u:%02u \t %8.4f \t %02x \n", the point as separator.
QByteArray MeasurementLogLine(int hours, int minutes, int seconds, float value, uint16_t status);

// Whether a polling step has a measurement to log: only a successful read of a plausible value.
// A failed read has no new measurement (logging would repeat the previous one with a new time) and an
// implausible one has no number (logging it as 0.0000 would record a pressure that was never measured).
bool ShouldLogMeasurement(bool readSucceeded, const LiveReading& reading);

// The line under the value after a failed poll: "нет связи" before any reading succeeded, else with how
// old the last good reading is: seconds for the first two minutes, then whole minutes up to two hours,
// then whole hours ("нет связи, данные 5 с назад", "… 3 мин назад", "… 2 ч назад"). A negative age,
// which a steady clock never gives, counts as none.
QString StaleReadingText(std::optional<std::chrono::seconds> sinceLastReading);

// Opens fileName for appending (creating it), writes one line stamped with the local time, closes it.
// Returns false, without a message, when the file cannot be opened or written.
bool AppendMeasurementLog(const QString& fileName, const LiveReading& reading);

} // namespace olv::device
