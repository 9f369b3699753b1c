#include "device/live_value.h"

#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "files/plain_file.h"

#include <QTime>

#include <algorithm>

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

QString StaleReadingText(std::optional<std::chrono::seconds> sinceLastReading) {
    if (!sinceLastReading) return QStringLiteral("нет связи");
    const long long seconds = std::max<long long>(sinceLastReading->count(), 0);
    QString age;
    if (seconds < 120)
        age = QStringLiteral("данные %1 с назад").arg(seconds);
    else if (seconds < 2 * 3600)
        age = QStringLiteral("данные %1 мин назад").arg(seconds / 60);
    else
        age = QStringLiteral("данные %1 ч назад").arg(seconds / 3600);
    return QStringLiteral("нет связи, ") + age;
}

} // namespace olv::device
