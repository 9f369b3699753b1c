#include "settings/profile.h"

#include "settings/ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>
#include <vector>

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

// The creation set in its order.
std::vector<IniEntry> CreationSet() {
    std::vector<IniEntry> entries{{Izm, "izm_name", "izm.txt"},
                                  {Izm, "write_file", "1"},
                                  {Definition, "txt0", QStringLiteral("Прибор ОЛВ 20 ModBus RTU.")},
                                  {Definition, "txt1", "19200"},
                                  {Definition, "txt2", QString()},
                                  {Definition, "txt3", QString()}};
    for (const SwitchKey& s : RateKeys)
        entries.push_back({Seach, s.key, QString::number(s.created)});
    entries.push_back({Seach, "beg", "1"});
    entries.push_back({Seach, "end", "5"});
    for (const SwitchKey& s : ParityKeys)
        entries.push_back({Seach, s.key, QString::number(s.created)});
    entries.push_back({Format, "fl", "0"});
    for (int i = 0; i < 10; ++i)
        entries.push_back({Txt, TextKey(i), QString::number(TwoBlanks)});
    entries.push_back({Model, "mdl", "256"});
    entries.push_back({Model, "verh", "0"});
    entries.push_back({Model, "vers", "107"});
    return entries;
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
    ProfileValues loaded = values;
    // The values as far as the load had got when its first write-back changed the file: when the
    // write is refused, the load counts as stopped at that key, as a key-by-key write would have.
    std::optional<ProfileValues> atFirstChange;
    bool unreadable = false;
    bool refusedBeforeThePage = false;
    int wantedPage = 1;
    int writtenPage = currentPage;
    const auto update = [&](IniSnapshot& file) {
        // A profile that is there but cannot be read (a FIFO, a device, a folder) gives every value its
        // default; it is left alone and the refused write is reported once the defaults are in place.
        unreadable = !file.readable();
        const auto writeBack = [&](const QString& section, const QString& key, const QString& value) {
            if (!unreadable && file.write({section, key, value}) && !atFirstChange) atFirstChange = loaded;
        };
        const auto readBack = [&](const QString& section, const QString& key, int32_t def) {
            const int32_t value = file.readInteger(section, key, def);
            writeBack(section, key, QString::number(value));
            return value;
        };
        // All keys go to the disk in one write when the load ends, the creation set of a missing file
        // included.
        if (!file.exists() && !unreadable)
            for (const IniEntry& entry : CreationSet())
                writeBack(entry.section, entry.key, entry.value);
        refusedBeforeThePage = atFirstChange.has_value();

        // The window is asked to show the page once the file is read and let go (see below); the index
        // written back is the page it will show.
        wantedPage = file.readInteger(Tab, "num", 1);
        if (wantedPage >= 0 && wantedPage <= 5 && showPage) writtenPage = wantedPage;
        loaded.page = writtenPage;
        writeBack(Tab, "num", QString::number(writtenPage));

        loaded.logFileName = file.readString(Izm, "izm_name", "izm.txt");
        writeBack(Izm, "izm_name", loaded.logFileName);
        loaded.logEnabled = readBack(Izm, "write_file", 1);

        for (size_t i = 0; i < RateKeys.size(); ++i)
            loaded.search.baudEnabled[i] = readBack(Seach, RateKeys[i].key, RateKeys[i].readDefault);
        loaded.search.firstAddress = readBack(Seach, "beg", 1);
        loaded.search.lastAddress = readBack(Seach, "end", 5);
        for (size_t i = 0; i < ParityKeys.size(); ++i)
            loaded.search.parityEnabled[i] = readBack(Seach, ParityKeys[i].key, ParityKeys[i].readDefault);

        loaded.byteOrder = readBack(Format, "fl", 0);

        loaded.definitionLines.clear();
        loaded.definitionLines << file.readString(Definition, DefinitionKey(0),
                                                  QStringLiteral("Плата сопряжения с ОЛВ."));
        for (int i = 1; i < DefinitionLineCount; ++i)
            loaded.definitionLines << file.readString(Definition, DefinitionKey(i), QString());

        for (int i = 0; i < 10; ++i) {
            const auto word =
                static_cast<uint16_t>(static_cast<uint32_t>(file.readInteger(Txt, TextKey(i), TwoBlanks)));
            loaded.textWords[static_cast<size_t>(i)] = word;
            writeBack(Txt, TextKey(i), QString::number(word));
        }

        loaded.model = readBack(Model, "mdl", 256);
        loaded.hardware = readBack(Model, "verh", 0);
        loaded.software = readBack(Model, "vers", 107);
    };
    // The page change runs the window's handling: it happens with the file no longer locked.
    const auto showWantedPage = [&] {
        if (wantedPage < 0 || wantedPage > 5 || !showPage) return;
        loaded.page = showPage(wantedPage);
        if (atFirstChange) atFirstChange->page = loaded.page;
    };
    try {
        ini.update(update);
    } catch (const IniWriteError&) {
        if (!refusedBeforeThePage || unreadable) showWantedPage();
        values = atFirstChange && !unreadable ? *atFirstChange : loaded;
        throw;
    }
    showWantedPage();
    values = loaded;
    if (unreadable) throw IniWriteError(ini.path());
    // A window that shows another page than the one asked for: that one is written back.
    if (loaded.page != writtenPage) ini.writeString(Tab, "num", QString::number(loaded.page));
}

void SaveProfile(const QString& path, const ProfileValues& values) {
    IniFile ini(path);
    // Make a read-only profile writable; when this fails (no such file yet, not ours) the writes tell.
    const QFileInfo info(ini.path());
    if (info.exists())
        QFile::setPermissions(ini.path(),
                              info.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);

    std::vector<IniEntry> entries{{Tab, "num", QString::number(values.page)}};
    for (int i = 0; i < DefinitionLineCount; ++i)
        entries.push_back({Definition, DefinitionKey(i), StoredLine(values.definitionLines, i)});
    for (size_t i = 0; i < RateKeys.size(); ++i)
        entries.push_back({Seach, RateKeys[i].key, QString::number(values.search.baudEnabled[i])});
    entries.push_back({Seach, "beg", QString::number(values.search.firstAddress)});
    entries.push_back({Seach, "end", QString::number(values.search.lastAddress)});
    for (size_t i = 0; i < ParityKeys.size(); ++i)
        entries.push_back({Seach, ParityKeys[i].key, QString::number(values.search.parityEnabled[i])});
    entries.push_back({Format, "fl", QString::number(values.byteOrder)});
    entries.push_back({Izm, "write_file", QString::number(values.logEnabled)});
    for (int i = 0; i < 10; ++i)
        entries.push_back({Txt, TextKey(i), QString::number(values.textWords[static_cast<size_t>(i)])});
    entries.push_back({Model, "mdl", QString::number(values.model)});
    entries.push_back({Model, "verh", QString::number(values.hardware)});
    entries.push_back({Model, "vers", QString::number(values.software)});
    // One write for the whole profile.
    ini.writeStrings(entries);
}

QString ProfileSaveName(const QString& chosen, bool firstFilterSelected) {
    if (!firstFilterSelected || QFileInfo::exists(chosen) ||
        chosen.endsWith(QStringLiteral(".prf"), Qt::CaseInsensitive))
        return chosen;
    return chosen + QStringLiteral(".prf");
}

} // namespace olv::settings
