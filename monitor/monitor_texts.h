#pragma once

#include "monitor/capture.h"
#include "monitor/capture_session.h"

#include <QString>

#include <cstdint>

namespace olv::monitor {

// What the monitor page keeps, from [MONITOR] of dev.dat: the rows of its table and the bound of a
// capture's spool file. Values outside the limits are brought to the nearest limit.
struct MonitorSettings {
    static constexpr int DefaultFrames = 100000;
    static constexpr int FewestFrames = 1000;
    static constexpr int MostFrames = 10000000;
    static constexpr int DefaultSpoolMb = int(DefaultSpoolBytes >> 20);
    int frames = DefaultFrames;
    int64_t spoolBytes = DefaultSpoolBytes;
};
// The settings from the keys as read: Frames (rows) and CaptureFileMB (megabytes).
MonitorSettings MonitorSettingsOf(int frames, int captureFileMb);

// One line of counts: "кадров 12, без ответа 1, ошибок CRC 0, исключений 2".
QString CountsText(const Counts& counts);
// The counters of the whole capture (Label41): the port of the program's own exchanges when that is
// what the table shows (empty otherwise), the totals, and the frames a file's markers or the spool's
// bound left out of the saved record.
QString CaptureTotalsText(const Counters& counters, int64_t droppedFrames, const QString& ownPort);
// The counts of each address that has sent frames, in address order (Label43); empty when none has.
QString CaptureAddressesText(const Counters& counters);
// Why the spool file could not be written, for the box's details: errno's text, or for EINVAL that the
// path is no regular file.
QString SpoolFailureReason(int error);

} // namespace olv::monitor
