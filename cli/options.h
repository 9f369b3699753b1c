#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace olv::cli {

enum class Command {
    None,
    Value,
    Info,
    Search,
    ConfigRead,
    ConfigWrite,
    ConfigCompare,
    Monitor,
    Link,
    Batch,
    Calibrate,
};

// The line as the command line gives it; what is left out comes from the station's dev.dat.
struct LineOptions {
    QString port; // COMn, a device path, tcp://HOST:PORT or mbtcp://HOST[:PORT]; empty: dev.dat's port
    std::optional<int> address;
    std::optional<int> baudRate;
    std::optional<int> parity; // 0 none, 1 odd, 2 even
    std::optional<int> timeoutMs;
    std::optional<int> byteOrder;
    QString dataDir; // --data-dir: dev.dat and the journal; empty when not given
};

struct Options {
    Command command = Command::None;
    bool help = false;
    bool version = false;
    bool json = false;
    LineOptions line;

    // value
    int count = 1;        // 0: until stopped
    int intervalMs = 1000; // from the start of one read to the start of the next

    // search
    int firstAddress = 1;
    int lastAddress = 247;
    std::array<int, 6> bauds{};    // 1200 .. 38400; none on means all
    std::array<int, 3> parities{}; // none, odd, even; none on means all

    // config, batch
    QString file;   // the configuration file of config write / compare and batch
    QString output; // config read -o
    bool yes = false;
    bool withIdentity = false; // also the model, serial number and date of manufacture
    bool withLink = false;     // also the address, rate, parity and byte order

    // monitor
    QString pcap;
    double seconds = 0; // 0: until stopped

    // link
    std::optional<int> newAddress;
    std::optional<int> newBaudRate;
    std::optional<int> newParity;
    std::optional<int> newByteOrder;

    // batch
    std::optional<std::pair<int, int>> assignAddresses;
    QString report;

    // calibrate
    std::vector<double> points;             // empty: 0, 25, 50, 75 and 100 % of the range
    std::optional<double> tolerancePercent; // of span; none: the procedure's default
    bool descending = false;
    std::optional<int> referenceAddress; // a reference meter on the line; none: the applied value
    QString applyCommand;                // run through the shell before each point, %p the point
    int trim = 0;                        // 0 none, 1 zero, 2 two-point
    QString certificate;                 // the certificate: .pdf, or .html (.htm)
    QString referenceDescription, referenceSerial, referenceCertificate; // as the certificate names it
    std::optional<double> referenceUncertainty; // k = 2, in the range's units; none: 0
    QString person;
    std::optional<double> ambientCelsius;
    QString csv;
};

// The command line without the program's name: the options or why it is wrong (one line, naming the
// option or the word).
struct Parsed {
    std::optional<Options> options;
    QString error;
};
Parsed ParseArguments(const QStringList& arguments);

// The text of --help (usage, subcommands, options, exit codes) and of --version.
QString HelpText();
QString VersionText();

// The parity letter of a code: N, O, E.
QString ParityLetter(int parity);

} // namespace olv::cli
