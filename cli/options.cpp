#include "cli/options.h"

#include "device/number_text.h"
#include "device/register_map.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>

namespace olv::cli {

namespace {

constexpr unsigned Bit(Command command) {
    return 1u << static_cast<unsigned>(command);
}

constexpr unsigned AllCommands = ~0u;
constexpr unsigned ConfigFileCommands = Bit(Command::ConfigWrite) | Bit(Command::ConfigCompare) | Bit(Command::Batch);

// Decimal digits only (no sign, no blanks), within lo..hi.
std::optional<int> Number(const QString& text, int lo, int hi) {
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        return std::nullopt;
    const std::optional<int32_t> value = device::ParseInteger(text);
    if (!value || *value < lo || *value > hi) return std::nullopt;
    return *value;
}

std::optional<int> Rate(const QString& text) {
    const std::optional<int> rate = Number(text, 1, 1000000);
    if (!rate || std::find(device::BaudRates.begin(), device::BaudRates.end(), *rate) == device::BaudRates.end())
        return std::nullopt;
    return rate;
}

std::optional<int> ParityCode(const QString& text) {
    const QString letter = text.toUpper();
    if (letter == u"N") return 0;
    if (letter == u"O") return 1;
    if (letter == u"E") return 2;
    return std::nullopt;
}

// "A-B" or "A", each an instrument address.
std::optional<std::pair<int, int>> AddressRange(const QString& text) {
    const QStringList parts = text.split(u'-');
    if (parts.size() > 2) return std::nullopt;
    const std::optional<int> first = Number(parts.front(), 1, 247);
    const std::optional<int> last = Number(parts.back(), 1, 247);
    if (!first || !last || *first > *last) return std::nullopt;
    return std::pair{*first, *last};
}

QString Quoted(const QString& text) {
    return QStringLiteral("«%1»").arg(text);
}

const QString RatesText = QStringLiteral("1200, 2400, 4800, 9600, 19200 или 38400");

using Apply = std::function<QString(Options&, const QString& value)>;

struct Rule {
    const char* name;
    char shortName;
    bool takesValue;
    unsigned commands;
    Apply apply;
};

template <typename T>
QString Store(std::optional<T> parsed, T& target, const QString& complaint) {
    if (!parsed) return complaint;
    target = *parsed;
    return {};
}

template <typename T>
QString Store(std::optional<T> parsed, std::optional<T>& target, const QString& complaint) {
    if (!parsed) return complaint;
    target = parsed;
    return {};
}

const std::vector<Rule>& Rules() {
    static const std::vector<Rule> rules{
        {"help", 'h', false, AllCommands, [](Options& o, const QString&) { o.help = true; return QString(); }},
        {"version", 0, false, AllCommands,
         [](Options& o, const QString&) {
             o.version = true;
             return QString();
         }},
        {"json", 0, false, AllCommands, [](Options& o, const QString&) { o.json = true; return QString(); }},
        {"port", 0, true, AllCommands,
         [](Options& o, const QString& v) {
             if (v.trimmed().isEmpty()) return QStringLiteral("--port: пустое имя порта");
             o.line.port = v;
             return QString();
         }},
        {"address", 0, true, AllCommands,
         [](Options& o, const QString& v) {
             return Store(Number(v, 1, 247), o.line.address,
                          QStringLiteral("--address: нужен сетевой номер от 1 до 247, а не %1").arg(Quoted(v)));
         }},
        {"baud", 0, true, AllCommands,
         [](Options& o, const QString& v) {
             return Store(Rate(v), o.line.baudRate,
                          QStringLiteral("--baud: скорость %1, а не %2").arg(RatesText, Quoted(v)));
         }},
        {"parity", 0, true, AllCommands,
         [](Options& o, const QString& v) {
             return Store(ParityCode(v), o.line.parity,
                          QStringLiteral("--parity: N, O или E, а не %1").arg(Quoted(v)));
         }},
        {"timeout", 0, true, AllCommands,
         [](Options& o, const QString& v) {
             return Store(Number(v, 1, 60000), o.line.timeoutMs,
                          QStringLiteral("--timeout: от 1 до 60000 мс, а не %1").arg(Quoted(v)));
         }},
        {"byte-order", 0, true, AllCommands,
         [](Options& o, const QString& v) {
             return Store(Number(v, 0, 3), o.line.byteOrder,
                          QStringLiteral("--byte-order: код от 0 до 3, а не %1").arg(Quoted(v)));
         }},
        {"data-dir", 0, true, AllCommands,
         [](Options& o, const QString& v) {
             if (v.isEmpty()) return QStringLiteral("--data-dir: пустое имя папки");
             o.line.dataDir = v;
             return QString();
         }},
        {"count", 0, true, Bit(Command::Value),
         [](Options& o, const QString& v) {
             return Store(Number(v, 0, 100000000), o.count,
                          QStringLiteral("--count: число показаний (0 — до остановки), а не %1").arg(Quoted(v)));
         }},
        {"interval", 0, true, Bit(Command::Value) | Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             return Store(Number(v, 0, 86400000), o.intervalMs,
                          QStringLiteral("--interval: мс от 0 до 86400000, а не %1").arg(Quoted(v)));
         }},
        {"addresses", 0, true, Bit(Command::Search),
         [](Options& o, const QString& v) {
             const auto range = AddressRange(v);
             if (!range)
                 return QStringLiteral("--addresses: нужен диапазон ПЕРВЫЙ-ПОСЛЕДНИЙ в пределах 1-247, а не %1")
                     .arg(Quoted(v));
             o.firstAddress = range->first;
             o.lastAddress = range->second;
             return QString();
         }},
        {"bauds", 0, true, Bit(Command::Search),
         [](Options& o, const QString& v) {
             o.bauds.fill(0);
             for (const QString& item : v.split(u',')) {
                 const std::optional<int> rate = Rate(item.trimmed());
                 if (!rate) return QStringLiteral("--bauds: скорости через запятую из %1, а не %2").arg(RatesText, Quoted(item));
                 o.bauds[static_cast<size_t>(std::find(device::BaudRates.begin(), device::BaudRates.end(), *rate) -
                                             device::BaudRates.begin())] = 1;
             }
             return QString();
         }},
        {"parities", 0, true, Bit(Command::Search),
         [](Options& o, const QString& v) {
             o.parities.fill(0);
             for (const QString& item : v.split(u',')) {
                 const std::optional<int> parity = ParityCode(item.trimmed());
                 if (!parity) return QStringLiteral("--parities: N, O, E через запятую, а не %1").arg(Quoted(item));
                 o.parities[static_cast<size_t>(*parity)] = 1;
             }
             return QString();
         }},
        {"output", 'o', true, Bit(Command::ConfigRead),
         [](Options& o, const QString& v) {
             if (v.isEmpty()) return QStringLiteral("-o: пустое имя файла");
             o.output = v;
             return QString();
         }},
        {"yes", 0, false, Bit(Command::ConfigWrite) | Bit(Command::Link) | Bit(Command::Calibrate),
         [](Options& o, const QString&) {
             o.yes = true;
             return QString();
         }},
        {"with-identity", 0, false, ConfigFileCommands,
         [](Options& o, const QString&) {
             o.withIdentity = true;
             return QString();
         }},
        {"with-link", 0, false, Bit(Command::ConfigWrite) | Bit(Command::ConfigCompare),
         [](Options& o, const QString&) {
             o.withLink = true;
             return QString();
         }},
        {"pcap", 0, true, Bit(Command::Monitor),
         [](Options& o, const QString& v) {
             if (v.isEmpty()) return QStringLiteral("--pcap: пустое имя файла");
             o.pcap = v;
             return QString();
         }},
        {"seconds", 0, true, Bit(Command::Monitor),
         [](Options& o, const QString& v) {
             const std::optional<double> seconds = device::ParseFloat(v);
             if (!seconds || !(*seconds > 0 && *seconds <= 1e7))
                 return QStringLiteral("--seconds: число секунд больше 0, а не %1").arg(Quoted(v));
             o.seconds = *seconds;
             return QString();
         }},
        {"new-address", 0, true, Bit(Command::Link),
         [](Options& o, const QString& v) {
             return Store(Number(v, 1, 247), o.newAddress,
                          QStringLiteral("--new-address: нужен сетевой номер от 1 до 247, а не %1").arg(Quoted(v)));
         }},
        {"new-baud", 0, true, Bit(Command::Link),
         [](Options& o, const QString& v) {
             return Store(Rate(v), o.newBaudRate,
                          QStringLiteral("--new-baud: скорость %1, а не %2").arg(RatesText, Quoted(v)));
         }},
        {"new-parity", 0, true, Bit(Command::Link),
         [](Options& o, const QString& v) {
             return Store(ParityCode(v), o.newParity,
                          QStringLiteral("--new-parity: N, O или E, а не %1").arg(Quoted(v)));
         }},
        {"new-byte-order", 0, true, Bit(Command::Link),
         [](Options& o, const QString& v) {
             return Store(Number(v, 0, 3), o.newByteOrder,
                          QStringLiteral("--new-byte-order: код от 0 до 3, а не %1").arg(Quoted(v)));
         }},
        {"assign-addresses", 0, true, Bit(Command::Batch),
         [](Options& o, const QString& v) {
             return Store(AddressRange(v), o.assignAddresses,
                          QStringLiteral("--assign-addresses: нужен диапазон ПЕРВЫЙ-ПОСЛЕДНИЙ в пределах 1-247, "
                                         "а не %1")
                              .arg(Quoted(v)));
         }},
        {"report", 0, true, Bit(Command::Batch),
         [](Options& o, const QString& v) {
             if (v.isEmpty()) return QStringLiteral("--report: пустое имя файла");
             o.report = v;
             return QString();
         }},
        {"points", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             o.points.clear();
             for (const QString& item : v.split(u',')) {
                 const std::optional<double> point = device::ParseFloat(item.trimmed());
                 if (!point || !std::isfinite(*point))
                     return QStringLiteral("--points: числа через запятую, а не %1").arg(Quoted(item));
                 o.points.push_back(*point);
             }
             return QString();
         }},
        {"tolerance", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             const std::optional<double> tolerance = device::ParseFloat(v);
             if (!tolerance || !(*tolerance > 0 && *tolerance <= 100))
                 return QStringLiteral("--tolerance: % диапазона больше 0 и не больше 100, а не %1").arg(Quoted(v));
             o.tolerancePercent = *tolerance;
             return QString();
         }},
        {"descending", 0, false, Bit(Command::Calibrate),
         [](Options& o, const QString&) {
             o.descending = true;
             return QString();
         }},
        {"reference-address", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             return Store(Number(v, 1, 247), o.referenceAddress,
                          QStringLiteral("--reference-address: нужен сетевой номер от 1 до 247, а не %1")
                              .arg(Quoted(v)));
         }},
        {"apply-command", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             if (v.trimmed().isEmpty()) return QStringLiteral("--apply-command: пустая команда");
             o.applyCommand = v;
             return QString();
         }},
        {"trim", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             const QStringList kinds{QStringLiteral("none"), QStringLiteral("zero"), QStringLiteral("two-point")};
             if (!kinds.contains(v)) return QStringLiteral("--trim: none, zero или two-point, а не %1").arg(Quoted(v));
             o.trim = static_cast<int>(kinds.indexOf(v));
             return QString();
         }},
        {"certificate", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             if (!v.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) &&
                 !v.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive) &&
                 !v.endsWith(QStringLiteral(".htm"), Qt::CaseInsensitive))
                 return QStringLiteral("--certificate: нужен файл .pdf или .html, а не %1").arg(Quoted(v));
             o.certificate = v;
             return QString();
         }},
        {"reference", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             o.referenceDescription = v.simplified();
             return QString();
         }},
        {"reference-serial", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             o.referenceSerial = v.simplified();
             return QString();
         }},
        {"reference-certificate", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             o.referenceCertificate = v.simplified();
             return QString();
         }},
        {"reference-uncertainty", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             const std::optional<double> u = device::ParseFloat(v);
             if (!u || !std::isfinite(*u) || *u < 0)
                 return QStringLiteral("--reference-uncertainty: неотрицательное число, а не %1").arg(Quoted(v));
             o.referenceUncertainty = *u;
             return QString();
         }},
        {"person", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             o.person = v.simplified();
             return QString();
         }},
        {"ambient", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             const std::optional<double> t = device::ParseFloat(v);
             if (!t || !(*t >= -60 && *t <= 100))
                 return QStringLiteral("--ambient: температура воздуха от -60 до 100 °C, а не %1").arg(Quoted(v));
             o.ambientCelsius = *t;
             return QString();
         }},
        {"csv", 0, true, Bit(Command::Calibrate),
         [](Options& o, const QString& v) {
             if (v.isEmpty()) return QStringLiteral("--csv: пустое имя файла");
             o.csv = v;
             return QString();
         }},
    };
    return rules;
}

const Rule* FindRule(const QString& name, bool isShort) {
    for (const Rule& rule : Rules())
        if (isShort ? (rule.shortName != 0 && name == QChar(rule.shortName)) : name == QLatin1String(rule.name))
            return &rule;
    return nullptr;
}

struct CommandWord {
    const char* words;
    Command command;
};
constexpr CommandWord CommandWords[] = {
    {"value", Command::Value},
    {"info", Command::Info},
    {"search", Command::Search},
    {"config read", Command::ConfigRead},
    {"config write", Command::ConfigWrite},
    {"config compare", Command::ConfigCompare},
    {"monitor", Command::Monitor},
    {"link", Command::Link},
    {"batch", Command::Batch},
    {"calibrate", Command::Calibrate},
};

QString CommandName(Command command) {
    for (const CommandWord& word : CommandWords)
        if (word.command == command) return QString::fromLatin1(word.words);
    return {};
}

} // namespace

QString ParityLetter(int parity) {
    return parity == 1 ? QStringLiteral("O") : parity == 2 ? QStringLiteral("E") : QStringLiteral("N");
}

Parsed ParseArguments(const QStringList& arguments) {
    Options options;
    QStringList words;
    // Options are applied once the command is known, so that one given before it is judged too.
    std::vector<std::pair<const Rule*, QString>> given;
    std::vector<QString> givenNames;
    bool onlyWords = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (onlyWords || !argument.startsWith(u'-') || argument == u"-") {
            words << argument;
            continue;
        }
        if (argument == u"--") {
            onlyWords = true;
            continue;
        }
        const bool isShort = !argument.startsWith(QStringLiteral("--"));
        QString name = argument.mid(isShort ? 1 : 2);
        std::optional<QString> value;
        if (!isShort && name.contains(u'=')) {
            value = name.mid(name.indexOf(u'=') + 1);
            name = name.left(name.indexOf(u'='));
        }
        const Rule* rule = FindRule(name, isShort);
        if (!rule || (isShort && name.size() != 1)) return {std::nullopt, QStringLiteral("неизвестный параметр %1").arg(argument)};
        if (rule->takesValue && !value) {
            if (i + 1 >= arguments.size())
                return {std::nullopt, QStringLiteral("у параметра %1 нет значения").arg(argument)};
            value = arguments[++i];
        }
        if (!rule->takesValue && value)
            return {std::nullopt, QStringLiteral("параметр --%1 не принимает значения").arg(name)};
        given.emplace_back(rule, value.value_or(QString()));
        givenNames.push_back(argument.left(argument.indexOf(u'=') < 0 ? argument.size() : argument.indexOf(u'=')));
    }

    const bool helpOrVersion = std::any_of(given.begin(), given.end(), [](const auto& g) {
        return g.first->name == std::string_view("help") || g.first->name == std::string_view("version");
    });
    qsizetype used = 0;
    if (!words.isEmpty()) {
        for (const CommandWord& word : CommandWords) {
            const QStringList parts = QString::fromLatin1(word.words).split(u' ');
            if (words.size() >= parts.size() && words.mid(0, parts.size()) == parts) {
                options.command = word.command;
                used = parts.size();
                break;
            }
        }
        if (options.command == Command::None) {
            if (words.front() == u"config")
                return {std::nullopt, words.size() > 1
                                          ? QStringLiteral("неизвестная команда config %1 (есть read, write, compare)")
                                                .arg(words[1])
                                          : QStringLiteral("после config нужна команда: read, write или compare")};
            return {std::nullopt, QStringLiteral("неизвестная команда %1").arg(words.front())};
        }
    } else if (!helpOrVersion) {
        return {std::nullopt, QStringLiteral("не указана команда")};
    }

    for (size_t k = 0; k < given.size(); ++k) {
        const Rule* rule = given[k].first;
        if (options.command != Command::None && !(rule->commands & Bit(options.command)))
            return {std::nullopt, QStringLiteral("параметр %1 не относится к команде %2")
                                      .arg(givenNames[k], CommandName(options.command))};
        if (const QString error = rule->apply(options, given[k].second); !error.isEmpty())
            return {std::nullopt, error};
    }
    if (options.help || options.version) return {options, {}};

    const QStringList rest = words.mid(used);
    const bool takesFile = (Bit(options.command) & ConfigFileCommands) != 0;
    if (takesFile) {
        if (rest.isEmpty())
            return {std::nullopt, QStringLiteral("команде %1 нужен файл конфигурации").arg(CommandName(options.command))};
        options.file = rest.front();
        if (options.file.isEmpty()) return {std::nullopt, QStringLiteral("пустое имя файла конфигурации")};
    }
    if (rest.size() > (takesFile ? 1 : 0))
        return {std::nullopt, QStringLiteral("лишние аргументы: %1").arg(rest.mid(takesFile ? 1 : 0).join(u' '))};
    if (options.command == Command::Link && !options.newAddress && !options.newBaudRate && !options.newParity &&
        !options.newByteOrder)
        return {std::nullopt, QStringLiteral("команде link нужен хотя бы один из параметров --new-address, --new-baud, "
                                             "--new-parity, --new-byte-order")};
    return {options, {}};
}

} // namespace olv::cli
