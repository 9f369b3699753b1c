#include "settings/port_assignment.h"

#include "settings/ini_file.h"
#include "settings/station_settings.h"

#include <QDir>
#include <QFileInfo>

namespace olv::settings {

std::string AssignedName(const SerialDevice& device) {
    return device.stableName.empty() ? device.path : device.stableName;
}

std::string StableNameOf(const std::string& devicePath, const std::string& byIdFolder) {
    const QString target = QFileInfo(QString::fromStdString(devicePath)).canonicalFilePath();
    if (target.isEmpty()) return {};
    const QDir folder(QString::fromStdString(byIdFolder));
    // Sorted by name, so that a device with several entries always gets the same one.
    for (const QFileInfo& entry : folder.entryInfoList(QDir::System | QDir::Files, QDir::Name))
        if (entry.isSymLink() && entry.canonicalFilePath() == target) return entry.filePath().toStdString();
    return {};
}

PortPaths CurrentPortPaths() {
    PortPaths paths;
    for (int n = 1; n <= 8; ++n)
        paths[size_t(n - 1)] = ResolvePortPath(n);
    return paths;
}

std::vector<int> SavePortPaths(const PortPaths& paths) {
    const PortPaths current = CurrentPortPaths();
    std::vector<int> written;
    IniFile ini(StationSettingsPath());
    for (int n = 1; n <= 8; ++n) {
        const std::string& path = paths[size_t(n - 1)];
        if (path.empty() || path == current[size_t(n - 1)]) continue;
        ini.writeString(QStringLiteral("PORTS"), QStringLiteral("COM%1").arg(n),
                        QString::fromStdString(path));
        written.push_back(n);
    }
    return written;
}

} // namespace olv::settings
