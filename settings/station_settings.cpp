#include "settings/station_settings.h"

#include "settings/ini_file.h"

#include <QDir>
#include <QFile>

#include <array>
#include <cstdint>
#include <type_traits>

namespace olv::settings {

namespace {

const QString ComSettings = QStringLiteral("COM_SETTINGS");
const QString Device = QStringLiteral("DEVICE");
const QString Settings = QStringLiteral("SETTINGS");
const QString Log = QStringLiteral("LOG");
const QString Reg = QStringLiteral("REG");
const QString Diffrent = QStringLiteral("DIFFRENT");

const QString DefaultLineSettings = QStringLiteral("19200,E,8,2");
const QString DefaultTraceFile = QStringLiteral("COM.txt");
const QString DefaultRegFile = QStringLiteral("REG.txt");

constexpr std::array<int, 6> Rates{1200, 2400, 4800, 9600, 19200, 38400};

const QString LinkCaption = QStringLiteral("Проверьте параметры установления связи с прибором");

link::Box LinkWarning(const QString& text, link::BoxIcon icon) {
    link::Box box;
    box.text = text;
    box.caption = LinkCaption;
    box.icon = icon;
    box.buttons = link::BoxButtons::Ok;
    return box;
}

QString InWorkingDirectory(const QString& name) {
    QString dir = QDir::currentPath();
    if (!dir.endsWith(u'/')) dir += u'/';
    return dir + name;
}

// The speed named in a "Settings" text: the last of the six rates that occurs in it, else 19200.
int RateOf(const QString& text) {
    int rate = 19200;
    for (int candidate : Rates)
        if (text.contains(QString::number(candidate))) rate = candidate;
    return rate;
}

// The parity named in a "Settings" text: the last of the letters N, O, E (tested in that order,
// case-sensitive) that occurs anywhere in it, else none.
int ParityOf(const QString& text) {
    int parity = 0;
    if (text.contains(u'N')) parity = 0;
    if (text.contains(u'O')) parity = 1;
    if (text.contains(u'E')) parity = 2;
    return parity;
}

} // namespace

QString StationSettingsPath() {
    return InWorkingDirectory(QStringLiteral("dev.dat"));
}

QString LineSettingsText(int baudRate, int parity) {
    int rate = 19200;
    for (int candidate : Rates)
        if (candidate == baudRate) rate = candidate;
    const char* letter = parity == 1 ? "O," : parity == 2 ? "E," : "N,";
    return QString::number(rate) + u',' + QLatin1String(letter) + QStringLiteral("8,2");
}

void LoadStationSettings(link::LinkSettings& link, device::PendingDeviceLink& pending, QString& regFileName,
                         link::MessageBoxes& boxes) {
    IniFile ini(StationSettingsPath());
    // A dev.dat that is there but cannot be read (a FIFO, a device, a folder) gives every setting its
    // default; it is left alone and the refused write is reported once the defaults are in place.
    const bool unreadable = !ini.readable();
    const auto writeBack = [&](const QString& section, const char* key, const auto& value) {
        if (unreadable) return;
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, QString>)
            ini.writeString(section, QString::fromLatin1(key), value);
        else
            ini.writeInteger(section, QString::fromLatin1(key), value);
    };

    if (!ini.exists()) {
        ini.writeInteger(ComSettings, "Number", 1);
        ini.writeString(ComSettings, "Settings", DefaultLineSettings);
        ini.writeInteger(Device, "EnableNetAdrr", 1);
        ini.writeInteger(Device, "NetAdrr", 1);
        ini.writeInteger(Settings, "NOfReadings", 2);
        ini.writeInteger(Settings, "TimeOut", 1000);
        ini.writeInteger(Log, "UseLogFile", 1);
        ini.writeString(Log, "LogFileName", DefaultTraceFile);
        ini.writeString(Reg, "RegFileName", DefaultRegFile);
    }

    link.portNumber = ini.readInteger(ComSettings, "Number", 1);
    writeBack(ComSettings, "Number", link.portNumber);

    const QString lineSettings = ini.readString(ComSettings, "Settings", DefaultLineSettings);
    link.baudRate = RateOf(lineSettings);
    pending.pendingBaudRate = link.baudRate;
    link.parity = ParityOf(lineSettings);
    pending.pendingParity = link.parity;
    writeBack(ComSettings, "Settings", lineSettings);

    link.address = ini.readInteger(Device, "NetAdrr", 1);
    pending.pendingAddress = link.address;
    writeBack(Device, "NetAdrr", link.address);

    link.timeoutMs = ini.readInteger(Settings, "TimeOut", 1000);
    writeBack(Settings, "TimeOut", link.timeoutMs);

    link.traceEnabled = ini.readInteger(Log, "UseLogFile", 1);
    writeBack(Log, "UseLogFile", link.traceEnabled);

    link.traceFileName = ini.readString(Log, "LogFileName", DefaultTraceFile);
    writeBack(Log, "LogFileName", link.traceFileName);

    regFileName = ini.readString(Reg, "RegFileName", DefaultRegFile);
    writeBack(Reg, "RegFileName", regFileName);

    if (unreadable) throw IniWriteError(ini.path());

    if (link.portNumber > 8)
        boxes.show(LinkWarning(QStringLiteral("Слишком большой номер COM порта."), link::BoxIcon::Warning));
    if (static_cast<uint32_t>(link.timeoutMs) > 4000u)
        boxes.show(LinkWarning(QStringLiteral("Задан большой тайм аут. Работать будет можно, но неудобно."),
                               link::BoxIcon::Information));
}

void SaveStationSettings(const link::LinkSettings& link) {
    IniFile ini(StationSettingsPath());
    const QString lineSettings = LineSettingsText(link.baudRate, link.parity);

    if (!ini.exists()) {
        // The creation set in its order, with the current values where the writes below set them anyway.
        ini.writeInteger(ComSettings, "Number", link.portNumber);
        ini.writeString(ComSettings, "Settings", lineSettings);
        ini.writeInteger(Device, "EnableNetAdrr", 1);
        ini.writeInteger(Device, "NetAdrr", link.address);
        ini.writeInteger(Settings, "NOfReadings", 0);
        ini.writeInteger(Settings, "TimeOut", link.timeoutMs);
        ini.writeInteger(Log, "UseLogFile", link.traceEnabled);
        ini.writeString(Log, "LogFileName", DefaultTraceFile);
        ini.writeInteger(Diffrent, "ValReg3", 1);
        ini.writeInteger(Diffrent, "ValReg", 1);
        ini.writeInteger(Diffrent, "BegAdr3", 0);
        ini.writeInteger(Diffrent, "BegAdr", 0);
    }

    ini.writeInteger(Settings, "NOfReadings", 0);
    ini.writeInteger(ComSettings, "Number", link.portNumber);
    ini.writeString(ComSettings, "Settings", lineSettings);
    ini.writeInteger(Device, "NetAdrr", link.address);
    ini.writeInteger(Settings, "TimeOut", link.timeoutMs);
    ini.writeInteger(Log, "UseLogFile", link.traceEnabled);
    ini.writeInteger(Diffrent, "BegAdr3", 0);
    ini.writeInteger(Diffrent, "BegAdr", 0);
}

std::string ResolvePortPath(int portNumber) {
    const int port = (portNumber >= 1 && portNumber <= 8) ? portNumber : 1;
    const IniFile ini(StationSettingsPath());
    const QString configured =
        ini.readString(QStringLiteral("PORTS"), QStringLiteral("COM%1").arg(port), QString());
    // The file system's own encoding of the name, as for every other file the program opens.
    if (!configured.isEmpty()) return QFile::encodeName(configured).toStdString();
    return "/dev/ttyS" + std::to_string(port - 1);
}

} // namespace olv::settings
