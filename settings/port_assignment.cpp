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

namespace {

QString ListenKey(int portNumber) {
    return QStringLiteral("ListenCOM%1").arg(portNumber >= 1 && portNumber <= 8 ? portNumber : 1);
}

bool ListensIn(const IniSnapshot& file, int portNumber) {
    return file.readInteger(QStringLiteral("PORTS"), ListenKey(portNumber), 0) == 1;
}

} // namespace

bool ListensAtStart(int portNumber) {
    return ListensIn(IniFile(StationSettingsPath()).snapshot(), portNumber);
}

ListenChoices CurrentListenChoices() {
    const IniSnapshot file = IniFile(StationSettingsPath()).snapshot();
    ListenChoices choices{};
    for (int n = 1; n <= 8; ++n)
        choices[size_t(n - 1)] = ListensIn(file, n);
    return choices;
}

std::vector<int> SavePortPaths(const PortPaths& paths, const ListenChanges& listen) {
    std::vector<int> written;
    IniFile(StationSettingsPath()).update([&](IniSnapshot& file) {
        for (int n = 1; n <= 8; ++n) {
            bool changed = false;
            const std::string& path = paths[size_t(n - 1)];
            if (!path.empty() && path != PortPathIn(file, n)) {
                file.writeBytes(QStringLiteral("PORTS"), QStringLiteral("COM%1").arg(n),
                                QByteArray::fromStdString(path));
                changed = true;
            }
            const std::optional<bool>& quiet = listen[size_t(n - 1)];
            if (quiet && *quiet != ListensIn(file, n)) {
                file.writeBytes(QStringLiteral("PORTS"), ListenKey(n), *quiet ? "1" : "0");
                changed = true;
            }
            if (changed) written.push_back(n);
        }
    });
    return written;
}

std::string PortPathProblem(const std::string& path) {
    if (path.size() > MaxPortPathLength)
        return "он длиннее " + std::to_string(MaxPortPathLength) + " байт, а из файла читается не больше";
    const QByteArray bytes = QByteArray::fromStdString(path);
    IniSnapshot probe;
    probe.writeBytes(QStringLiteral("PORTS"), QStringLiteral("COM1"), bytes);
    if (bytes.contains('\0') || probe.readBytes(QStringLiteral("PORTS"), QStringLiteral("COM1")) != bytes)
        return "строка файла не сохранит его таким, как он набран (перевод строки, нулевой байт, пробелы по "
               "краям или кавычки вокруг)";
    return {};
}

} // namespace olv::settings
