#include "settings/station_settings.h"

#include "device/register_map.h"
#include "settings/ini_file.h"
#include "text/cp1251.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <optional>
#include <sys/stat.h>
#include <vector>

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

const QString LinkCaption = QStringLiteral("Проверьте параметры установления связи с прибором");

messages::Box LinkWarning(const QString& text, messages::BoxIcon icon) {
    messages::Box box;
    box.text = text;
    box.caption = LinkCaption;
    box.icon = icon;
    box.buttons = messages::BoxButtons::Ok;
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
    for (int candidate : device::BaudRates)
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
    for (int candidate : device::BaudRates)
        if (candidate == baudRate) rate = candidate;
    const char* letter = parity == 1 ? "O," : parity == 2 ? "E," : "N,";
    return QString::number(rate) + u',' + QLatin1String(letter) + QStringLiteral("8,2");
}

namespace {

// The creation set of the load, in its order.
std::vector<IniEntry> LoadCreationSet() {
    return {{ComSettings, "Number", "1"},
            {ComSettings, "Settings", DefaultLineSettings},
            {Device, "EnableNetAdrr", "1"},
            {Device, "NetAdrr", "1"},
            {Settings, "NOfReadings", "2"},
            {Settings, "TimeOut", "1000"},
            {Log, "UseLogFile", "1"},
            {Log, "LogFileName", DefaultTraceFile},
            {Reg, "RegFileName", DefaultRegFile}};
}

// What the load fills.
struct StationValues {
    link::LinkSettings link;
    device::PendingDeviceLink pending;
    QString regFileName;
};

} // namespace

void LoadStationSettings(link::LinkSettings& link, device::PendingDeviceLink& pending, QString& regFileName,
                         messages::MessageBoxes& boxes) {
    IniFile ini(StationSettingsPath());
    StationValues loaded{link, pending, regFileName};
    // The values as far as the load had got when its first write-back changed the file: when the
    // write is refused, the load counts as stopped at that key, as a key-by-key write would have.
    std::optional<StationValues> atFirstChange;
    bool unreadable = false;
    const auto update = [&](IniSnapshot& file) {
        // A dev.dat that is there but cannot be read (a FIFO, a device, a folder) gives every setting its
        // default; it is left alone and the refused write is reported once the defaults are in place.
        unreadable = !file.readable();
        const auto writeBack = [&](const QString& section, const QString& key, const QString& value) {
            if (!unreadable && file.write({section, key, value}) && !atFirstChange) atFirstChange = loaded;
        };
        // All keys go to the disk in one write when the load ends, the creation set of a missing file
        // included.
        if (!file.exists() && !unreadable)
            for (const IniEntry& entry : LoadCreationSet())
                writeBack(entry.section, entry.key, entry.value);

        loaded.link.portNumber = file.readInteger(ComSettings, "Number", 1);
        writeBack(ComSettings, "Number", QString::number(loaded.link.portNumber));

        const QString lineSettings = file.readString(ComSettings, "Settings", DefaultLineSettings);
        loaded.link.baudRate = RateOf(lineSettings);
        loaded.pending.pendingBaudRate = loaded.link.baudRate;
        loaded.link.parity = ParityOf(lineSettings);
        loaded.pending.pendingParity = loaded.link.parity;
        writeBack(ComSettings, "Settings", lineSettings);

        loaded.link.address = file.readInteger(Device, "NetAdrr", 1);
        loaded.pending.pendingAddress = loaded.link.address;
        writeBack(Device, "NetAdrr", QString::number(loaded.link.address));

        loaded.link.timeoutMs = file.readInteger(Settings, "TimeOut", 1000);
        writeBack(Settings, "TimeOut", QString::number(loaded.link.timeoutMs));

        loaded.link.traceEnabled = file.readInteger(Log, "UseLogFile", 1);
        writeBack(Log, "UseLogFile", QString::number(loaded.link.traceEnabled));

        loaded.link.traceFileName = file.readString(Log, "LogFileName", DefaultTraceFile);
        writeBack(Log, "LogFileName", loaded.link.traceFileName);

        loaded.regFileName = file.readString(Reg, "RegFileName", DefaultRegFile);
        writeBack(Reg, "RegFileName", loaded.regFileName);
    };
    try {
        ini.update(update);
    } catch (const IniWriteError&) {
        const StationValues& kept = atFirstChange && !unreadable ? *atFirstChange : loaded;
        link = kept.link;
        pending = kept.pending;
        regFileName = kept.regFileName;
        throw;
    }
    link = loaded.link;
    pending = loaded.pending;
    regFileName = loaded.regFileName;
    if (unreadable) throw IniWriteError(ini.path());

    if (link.portNumber > 8)
        boxes.show(
            LinkWarning(QStringLiteral("Слишком большой номер COM порта."), messages::BoxIcon::Warning));
    if (static_cast<uint32_t>(link.timeoutMs) > 4000u)
        boxes.show(LinkWarning(QStringLiteral("Задан большой тайм аут. Работать будет можно, но неудобно."),
                               messages::BoxIcon::Information));
}

link::LinkSettings StationLinkIn(const IniSnapshot& file) {
    link::LinkSettings link;
    link.portNumber = file.readInteger(ComSettings, "Number", 1);
    const QString lineSettings = file.readString(ComSettings, "Settings", DefaultLineSettings);
    link.baudRate = RateOf(lineSettings);
    link.parity = ParityOf(lineSettings);
    link.address = file.readInteger(Device, "NetAdrr", 1);
    link.timeoutMs = file.readInteger(Settings, "TimeOut", 1000);
    return link;
}

void SaveStationSettings(const link::LinkSettings& link, const std::vector<IniEntry>& window) {
    IniFile ini(StationSettingsPath());
    const QString lineSettings = LineSettingsText(link.baudRate, link.parity);
    const QString portNumber = QString::number(link.portNumber);
    const QString address = QString::number(link.address);
    const QString timeout = QString::number(link.timeoutMs);
    const QString trace = QString::number(link.traceEnabled);

    // One write holds the whole link, so that two windows saving at once leave one window's link.
    ini.update([&](IniSnapshot& file) {
        if (!file.exists()) {
            // The creation set in its order, with the current values where the writes below set them.
            for (const IniEntry& entry :
                 std::initializer_list<IniEntry>{{ComSettings, "Number", portNumber},
                                                 {ComSettings, "Settings", lineSettings},
                                                 {Device, "EnableNetAdrr", "1"},
                                                 {Device, "NetAdrr", address},
                                                 {Settings, "NOfReadings", "0"},
                                                 {Settings, "TimeOut", timeout},
                                                 {Log, "UseLogFile", trace},
                                                 {Log, "LogFileName", DefaultTraceFile},
                                                 {Diffrent, "ValReg3", "1"},
                                                 {Diffrent, "ValReg", "1"},
                                                 {Diffrent, "BegAdr3", "0"},
                                                 {Diffrent, "BegAdr", "0"}})
                file.write(entry);
        }
        for (const IniEntry& entry : std::initializer_list<IniEntry>{{Settings, "NOfReadings", "0"},
                                                                     {ComSettings, "Number", portNumber},
                                                                     {ComSettings, "Settings", lineSettings},
                                                                     {Device, "NetAdrr", address},
                                                                     {Settings, "TimeOut", timeout},
                                                                     {Log, "UseLogFile", trace},
                                                                     {Diffrent, "BegAdr3", "0"},
                                                                     {Diffrent, "BegAdr", "0"}})
            file.write(entry);
        for (const IniEntry& entry : window)
            file.write(entry);
    });
}

std::string PortPathIn(const IniSnapshot& file, int portNumber) {
    const int port = (portNumber >= 1 && portNumber <= 8) ? portNumber : 1;
    const QByteArray configured =
        file.readBytes(QStringLiteral("PORTS"), QStringLiteral("COM%1").arg(port)).value_or(QByteArray());
    if (configured.isEmpty()) return "/dev/ttyS" + std::to_string(port - 1);
    // The bytes as they stand in the file are the name, whatever they read as.
    struct stat st {};
    if (::stat(configured.constData(), &st) == 0 || QString::fromUtf8(configured).toUtf8() == configured)
        return configured.toStdString();
    // Bytes that are no UTF-8 and name nothing: typed text that an earlier version stored in
    // Windows-1251; the file system spells that text in its own encoding.
    const QByteArray spelled = QFile::encodeName(text::FromCp1251(configured));
    return (::stat(spelled.constData(), &st) == 0 ? spelled : configured).toStdString();
}

std::string ResolvePortPath(int portNumber) {
    return PortPathIn(IniFile(StationSettingsPath()).snapshot(), portNumber);
}

} // namespace olv::settings
