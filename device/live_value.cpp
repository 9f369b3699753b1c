#include "device/live_value.h"

#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "files/plain_file.h"

#include <QTime>

namespace olv::device {

link::ResultFlags ReadLiveValue(link::ModbusMaster& master, int byteOrder, LiveReading& reading,
                                uint8_t& exceptionCode) {
    uint16_t words[LiveBlock.count] = {};
    const link::ResultFlags flags =
        master.readHoldingRegisters(LiveBlock.start, LiveBlock.count, words, exceptionCode);
    if (!link::Succeeded(flags, exceptionCode)) return flags;

    reading.liveStatus = words[0];
    bool implausible = false;
    reading.liveValue = DecodeFloat(words[1], words[2], byteOrder, implausible);
    reading.liveImplausible = implausible;
    return flags;
}

QByteArray MeasurementLogLine(int hours, int minutes, int seconds, float value, uint16_t status) {
    return FormatC("%02u:%02u:%02u \t %8.4f \t %02x \n", static_cast<unsigned>(hours),
                   static_cast<unsigned>(minutes), static_cast<unsigned>(seconds), static_cast<double>(value),
                   static_cast<unsigned>(status));
}

bool ShouldLogMeasurement(bool readSucceeded, const LiveReading& reading) {
    return readSucceeded && !reading.liveImplausible;
}

bool AppendMeasurementLog(const QString& fileName, const LiveReading& reading) {
    const QTime now = QTime::currentTime();
    const QByteArray line =
        MeasurementLogLine(now.hour(), now.minute(), now.second(), reading.liveValue, reading.liveStatus);
    // Only a regular file: a FIFO or a device under the log's name would block the poll.
    return files::AppendToPlainFile(fileName, line.constData(), static_cast<size_t>(line.size()));
}

} // namespace olv::device
