#include "monitor/monitor_texts.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace olv::monitor {

MonitorSettings MonitorSettingsOf(int frames, int captureFileMb) {
    MonitorSettings settings;
    settings.frames = std::clamp(frames, MonitorSettings::FewestFrames, MonitorSettings::MostFrames);
    settings.spoolBytes =
        int64_t{std::clamp(captureFileMb, int(FewestSpoolBytes >> 20), int(MostSpoolBytes >> 20))} << 20;
    return settings;
}

QString CountsText(const Counts& n) {
    return QStringLiteral("кадров %1, без ответа %2, ошибок CRC %3, исключений %4")
        .arg(n.frames)
        .arg(n.unanswered)
        .arg(n.crcErrors)
        .arg(n.exceptions);
}

QString CaptureTotalsText(const Counters& counters, int64_t droppedFrames, const QString& ownPort) {
    const QString own = ownPort.isEmpty() ? QString() : QStringLiteral("Обмен программы через %1. ").arg(ownPort);
    return own + QStringLiteral("Всего: ") + CountsText(counters.total) +
           (droppedFrames > 0
                ? QStringLiteral("; старых кадров не сохранено в файле записи: %1").arg(droppedFrames)
                : QString());
}

QString CaptureAddressesText(const Counters& counters) {
    QStringList perAddress;
    for (size_t a = 0; a < counters.byAddress.size(); ++a)
        if (counters.byAddress[a].frames > 0)
            perAddress << QStringLiteral("адрес %1: ").arg(a) + CountsText(counters.byAddress[a]);
    return perAddress.join(QStringLiteral("; "));
}

QString SpoolFailureReason(int error) {
    return error == EINVAL ? QStringLiteral("это не обычный файл (папка, канал или устройство)")
                           : QString::fromLocal8Bit(std::strerror(error));
}

} // namespace olv::monitor
