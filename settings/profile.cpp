#include "settings/profile.h"

#include "settings/ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace olv::settings {

namespace {

const QString Tab = QStringLiteral("TAB");
const QString Izm = QStringLiteral("IZM");
const QString Definition = QStringLiteral("Definition");
const QString Seach = QStringLiteral("Seach");
const QString Format = QStringLiteral("Format");
const QString Txt = QStringLiteral("TXT");
const QString Model = QStringLiteral("MODEL");

constexpr int DefinitionLineCount = 4;
constexpr int TwoBlanks = 8224; // 0x2020

// The search switches in file order: key, default when read, value in a new profile.
struct SwitchKey {
    const char* key;
    int readDefault;
    int created;
};
constexpr std::array<SwitchKey, 6> RateKeys{{
    {"1200", 0, 0},
    {"2400", 0, 0},
    {"4800", 0, 0},
    {"9600", 0, 1},
    {"19200", 1, 1},
    {"38400", 1, 1},
}};
constexpr std::array<SwitchKey, 3> ParityKeys{{
    {"parity_non", 0, 0},
    {"parity_odd", 0, 0},
    {"parity_ev", 1, 1},
}};

QString TextKey(int index) {
    return QStringLiteral("ch%1").arg(index);
}

QString DefinitionKey(int index) {
    return QStringLiteral("txt%1").arg(index);
}

// Reads an integer and writes the value obtained back to the same key, unless the file is one that
// cannot be read (then every read gives its default and nothing is written).
int32_t ReadBack(IniFile& ini, bool unreadable, const QString& section, const QString& key, int32_t def) {
    const int32_t value = ini.readInteger(section, key, def);
    if (!unreadable) ini.writeInteger(section, key, value);
    return value;
}

void WriteCreationSet(IniFile& ini) {
    ini.writeString(Izm, "izm_name", "izm.txt");
    ini.writeInteger(Izm, "write_file", 1);
    ini.writeString(Definition, "txt0", QStringLiteral("Прибор ОЛВ 20 ModBus RTU."));
    ini.writeString(Definition, "txt1", "19200");
    ini.writeString(Definition, "txt2", QString());
    ini.writeString(Definition, "txt3", QString());
    for (const SwitchKey& s : RateKeys)
        ini.writeInteger(Seach, s.key, s.created);
    ini.writeInteger(Seach, "beg", 1);
    ini.writeInteger(Seach, "end", 5);
    for (const SwitchKey& s : ParityKeys)
        ini.writeInteger(Seach, s.key, s.created);
    ini.writeInteger(Format, "fl", 0);
    for (int i = 0; i < 10; ++i)
        ini.writeInteger(Txt, TextKey(i), TwoBlanks);
    ini.writeInteger(Model, "mdl", 256);
    ini.writeInteger(Model, "verh", 0);
    ini.writeInteger(Model, "vers", 107);
}

// A description line as stored: without a trailing line break.
QString StoredLine(const QStringList& lines, int index) {
    if (index >= lines.size()) return QString();
    QString line = lines[index];
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    return line;
}

} // namespace

QString RecentProfilePath() {
    QString dir = QDir::currentPath();
    if (!dir.endsWith(u'/')) dir += u'/';
    return dir + QStringLiteral("recent.prf");
}

void LoadProfile(const QString& path, ProfileValues& values, const std::function<int(int)>& showPage,
                 int currentPage) {
    IniFile ini(path);
    if (!ini.exists()) WriteCreationSet(ini);
    // A profile that is there but cannot be read (a FIFO, a device, a folder) gives every value its
    // default; it is left alone and the refused write is reported once the defaults are in place.
    const bool unreadable = !ini.readable();

    const int32_t wantedPage = ini.readInteger(Tab, "num", 1);
    int shownPage = currentPage;
    if (wantedPage >= 0 && wantedPage <= 5 && showPage) shownPage = showPage(wantedPage);
    values.page = shownPage;
    if (!unreadable) ini.writeInteger(Tab, "num", shownPage);

    values.logFileName = ini.readString(Izm, "izm_name", "izm.txt");
    if (!unreadable) ini.writeString(Izm, "izm_name", values.logFileName);
    values.logEnabled = ReadBack(ini, unreadable, Izm, "write_file", 1);

    for (size_t i = 0; i < RateKeys.size(); ++i)
        values.search.baudEnabled[i] =
            ReadBack(ini, unreadable, Seach, RateKeys[i].key, RateKeys[i].readDefault);
    values.search.firstAddress = ReadBack(ini, unreadable, Seach, "beg", 1);
    values.search.lastAddress = ReadBack(ini, unreadable, Seach, "end", 5);
    for (size_t i = 0; i < ParityKeys.size(); ++i)
        values.search.parityEnabled[i] =
            ReadBack(ini, unreadable, Seach, ParityKeys[i].key, ParityKeys[i].readDefault);

    values.byteOrder = ReadBack(ini, unreadable, Format, "fl", 0);

    values.definitionLines.clear();
    values.definitionLines << ini.readString(Definition, DefinitionKey(0),
                                             QStringLiteral("Плата сопряжения с ОЛВ."));
    for (int i = 1; i < DefinitionLineCount; ++i)
        values.definitionLines << ini.readString(Definition, DefinitionKey(i), QString());

    for (int i = 0; i < 10; ++i) {
        const auto word =
            static_cast<uint16_t>(static_cast<uint32_t>(ini.readInteger(Txt, TextKey(i), TwoBlanks)));
        values.textWords[static_cast<size_t>(i)] = word;
        if (!unreadable) ini.writeInteger(Txt, TextKey(i), word);
    }

    values.model = ReadBack(ini, unreadable, Model, "mdl", 256);
    values.hardware = ReadBack(ini, unreadable, Model, "verh", 0);
    values.software = ReadBack(ini, unreadable, Model, "vers", 107);
    if (unreadable) throw IniWriteError(ini.path());
}

void SaveProfile(const QString& path, const ProfileValues& values) {
    IniFile ini(path);
    // Make a read-only profile writable; when this fails (no such file yet, not ours) the writes tell.
    const QFileInfo info(ini.path());
    if (info.exists())
        QFile::setPermissions(ini.path(),
                              info.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);

    ini.writeInteger(Tab, "num", values.page);
    for (int i = 0; i < DefinitionLineCount; ++i)
        ini.writeString(Definition, DefinitionKey(i), StoredLine(values.definitionLines, i));
    for (size_t i = 0; i < RateKeys.size(); ++i)
        ini.writeInteger(Seach, RateKeys[i].key, values.search.baudEnabled[i]);
    ini.writeInteger(Seach, "beg", values.search.firstAddress);
    ini.writeInteger(Seach, "end", values.search.lastAddress);
    for (size_t i = 0; i < ParityKeys.size(); ++i)
        ini.writeInteger(Seach, ParityKeys[i].key, values.search.parityEnabled[i]);
    ini.writeInteger(Format, "fl", values.byteOrder);
    ini.writeInteger(Izm, "write_file", values.logEnabled);
    for (int i = 0; i < 10; ++i)
        ini.writeInteger(Txt, TextKey(i), values.textWords[static_cast<size_t>(i)]);
    ini.writeInteger(Model, "mdl", values.model);
    ini.writeInteger(Model, "verh", values.hardware);
    ini.writeInteger(Model, "vers", values.software);
}

QString ProfileSaveName(const QString& chosen, bool firstFilterSelected) {
    if (!firstFilterSelected || QFileInfo::exists(chosen) ||
        chosen.endsWith(QStringLiteral(".prf"), Qt::CaseInsensitive))
        return chosen;
    return chosen + QStringLiteral(".prf");
}

} // namespace olv::settings
