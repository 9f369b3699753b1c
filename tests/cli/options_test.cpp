// The command line: what each option takes, what is refused and why, and random input.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <random>

using olv::cli::Command;
using olv::cli::Options;
using olv::cli::ParseArguments;

namespace {

Options Parse(const QStringList& args) {
    const olv::cli::Parsed parsed = ParseArguments(args);
    EXPECT_TRUE(parsed.options) << args.join(u' ').toStdString() << ": " << parsed.error.toStdString();
    return parsed.options.value_or(Options{});
}

QString Refusal(const QStringList& args) {
    const olv::cli::Parsed parsed = ParseArguments(args);
    EXPECT_FALSE(parsed.options) << args.join(u' ').toStdString();
    return parsed.error;
}

} // namespace

TEST(CliOptions, LineOptionsInEitherSpellingAndPlace) {
    const Options o = Parse({"--port=COM3", "value", "--address", "17", "--baud", "9600", "--parity", "o",
                             "--timeout=250", "--byte-order", "3", "--count", "0", "--interval", "0", "--json"});
    EXPECT_EQ(o.command, Command::Value);
    EXPECT_EQ(o.line.port, "COM3");
    EXPECT_EQ(o.line.address, 17);
    EXPECT_EQ(o.line.baudRate, 9600);
    EXPECT_EQ(o.line.parity, 1);
    EXPECT_EQ(o.line.timeoutMs, 250);
    EXPECT_EQ(o.line.byteOrder, 3);
    EXPECT_EQ(o.count, 0);
    EXPECT_EQ(o.intervalMs, 0);
    EXPECT_TRUE(o.json);
    // Left out, they stay unset so that dev.dat's values hold.
    const Options bare = Parse({"info"});
    EXPECT_FALSE(bare.line.address || bare.line.baudRate || bare.line.parity || bare.line.timeoutMs ||
                 bare.line.byteOrder);
    EXPECT_EQ(bare.count, 1);
}

TEST(CliOptions, SubcommandsTheirFilesAndLists) {
    Options o = Parse({"config", "compare", "plant.cfg", "--with-link"});
    EXPECT_EQ(o.command, Command::ConfigCompare);
    EXPECT_EQ(o.file, "plant.cfg");
    EXPECT_TRUE(o.withLink);
    o = Parse({"config", "read", "-o", "out.cfg"});
    EXPECT_EQ(o.command, Command::ConfigRead);
    EXPECT_EQ(o.output, "out.cfg");
    o = Parse({"search", "--addresses", "5-9", "--bauds", "1200,38400", "--parities", "N,e"});
    EXPECT_EQ(o.firstAddress, 5);
    EXPECT_EQ(o.lastAddress, 9);
    EXPECT_EQ(o.bauds, (std::array<int, 6>{1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(o.parities, (std::array<int, 3>{1, 0, 1}));
    o = Parse({"calibrate", "--points", "0, 0.4,1.6", "--tolerance", "0.5", "--trim", "two-point", "--descending",
               "--reference-address", "2", "--apply-command", "set %p", "--yes", "--certificate", "c.html",
               "--csv", "c.csv"});
    EXPECT_EQ(o.command, Command::Calibrate);
    EXPECT_EQ(o.points, (std::vector<double>{0, 0.4, 1.6}));
    EXPECT_EQ(o.tolerancePercent, 0.5);
    EXPECT_EQ(o.trim, 2);
    EXPECT_TRUE(o.descending && o.yes);
    EXPECT_EQ(o.referenceAddress, 2);
    EXPECT_EQ(o.applyCommand, "set %p");
    EXPECT_EQ(o.certificate, "c.html");
    EXPECT_EQ(o.csv, "c.csv");
    EXPECT_EQ(Parse({"calibrate", "--trim", "zero"}).trim, 1);
    EXPECT_EQ(Parse({"calibrate", "--certificate", "C.PDF"}).certificate, "C.PDF");
    o = Parse({"search", "--addresses", "12"});
    EXPECT_EQ(o.firstAddress, 12);
    EXPECT_EQ(o.lastAddress, 12);
    o = Parse({"link", "--new-address", "9", "--new-parity", "N"});
    EXPECT_EQ(o.newAddress, 9);
    EXPECT_EQ(o.newParity, 0);
    EXPECT_FALSE(o.newBaudRate);
    o = Parse({"batch", "meter.cfg", "--assign-addresses", "10-20", "--report", "r.csv"});
    EXPECT_EQ(o.assignAddresses, (std::pair{10, 20}));
    o = Parse({"monitor", "--seconds", "2.5", "--pcap", "x.pcap"});
    EXPECT_DOUBLE_EQ(o.seconds, 2.5);
    // A file named like an option after "--".
    o = Parse({"config", "write", "--yes", "--", "--odd.cfg"});
    EXPECT_EQ(o.file, "--odd.cfg");
    EXPECT_TRUE(Parse({"--version"}).version);
    EXPECT_TRUE(Parse({"value", "-h"}).help);
}

TEST(CliOptions, RefusalsNameTheOptionOrWord) {
    const struct {
        QStringList args;
        const char* named;
    } rows[] = {
        {{}, "команда"},
        {{"valu"}, "valu"},
        {{"config"}, "config"},
        {{"config", "erase"}, "erase"},
        {{"value", "--address", "0"}, "--address"},
        {{"calibrate", "--certificate", "c.pdf.txt"}, ".pdf"},
        {{"calibrate", "--certificate", "c.txt"}, "--certificate"},
        {{"calibrate", "--trim", "span"}, "--trim"},
        {{"calibrate", "--points", "0,x"}, "--points"},
        {{"calibrate", "--points", "0,nan"}, "--points"},
        {{"calibrate", "--tolerance", "0"}, "--tolerance"},
        {{"calibrate", "--reference-address", "0"}, "--reference-address"},
        {{"calibrate", "--reference-uncertainty", "-0.001"}, "--reference-uncertainty"},
        {{"calibrate", "--reference-uncertainty", "inf"}, "--reference-uncertainty"},
        {{"calibrate", "--ambient", "101"}, "--ambient"},
        {{"calibrate", "--ambient", "nan"}, "--ambient"},
        {{"value", "--trim", "zero"}, "--trim"},
        {{"value", "--address", "248"}, "--address"},
        {{"value", "--address", "+5"}, "--address"},
        {{"value", "--address", " 5"}, "--address"},
        {{"value", "--address", "0x10"}, "--address"},
        {{"value", "--address", "99999999999999999999"}, "--address"},
        {{"value", "--baud", "19201"}, "--baud"},
        {{"value", "--baud", "115200"}, "--baud"},
        {{"value", "--parity", "X"}, "--parity"},
        {{"value", "--parity", "EVEN"}, "--parity"},
        {{"value", "--timeout", "0"}, "--timeout"},
        {{"value", "--byte-order", "4"}, "--byte-order"},
        {{"value", "--count", "-1"}, "--count"},
        {{"value", "--address"}, "--address"},
        {{"value", "--port", ""}, "--port"},
        {{"value", "--data-dir="}, "--data-dir"},
        {{"value", "--frobnicate"}, "--frobnicate"},
        {{"value", "-x"}, "-x"},
        {{"value", "--json=1"}, "--json"},
        {{"info", "--count", "3"}, "--count"},
        {{"monitor", "--yes"}, "--yes"},
        {{"value", "extra"}, "extra"},
        {{"config", "compare"}, "config compare"},
        {{"config", "write", "a.cfg", "b.cfg"}, "b.cfg"},
        {{"search", "--addresses", "9-5"}, "--addresses"},
        {{"search", "--addresses", "0-5"}, "--addresses"},
        {{"search", "--addresses", "1-2-3"}, "--addresses"},
        {{"search", "--bauds", "9600,,19200"}, "--bauds"},
        {{"search", "--parities", "N;E"}, "--parities"},
        {{"monitor", "--seconds", "0"}, "--seconds"},
        {{"monitor", "--seconds", "nan"}, "--seconds"},
        {{"link"}, "--new-address"},
        {{"link", "--new-address", "300"}, "--new-address"},
        {{"batch", "m.cfg", "--assign-addresses", "5-3"}, "--assign-addresses"},
    };
    for (const auto& row : rows)
        EXPECT_TRUE(Refusal(row.args).contains(QString::fromUtf8(row.named)))
            << row.args.join(u' ').toStdString() << " -> " << Refusal(row.args).toStdString();
}

TEST(CliOptions, RandomArgumentsParseOrAreRefusedWithAReason) {
    std::mt19937 random(20261209);
    const QStringList pieces{"value", "info", "search", "config", "read", "write", "compare", "monitor", "link",
                             "batch", "--port", "--address", "--baud", "--parity", "--count", "--json", "-o",
                             "--addresses", "--bauds", "--new-address", "--", "-", "=", "--=", "1", "0", "-5",
                             "247", "19200", "E", "COM1", "a.cfg", "1-247", "", "\xff", "--yes=", "---x"};
    for (int round = 0; round < 5000; ++round) {
        QStringList args;
        const int count = static_cast<int>(random() % 7);
        for (int i = 0; i < count; ++i) {
            QString piece = pieces[static_cast<qsizetype>(random() % pieces.size())];
            if (random() % 5 == 0) piece += QChar(static_cast<char16_t>(random() % 0x500));
            args << piece;
        }
        const olv::cli::Parsed parsed = ParseArguments(args);
        EXPECT_NE(parsed.options.has_value(), !parsed.error.isEmpty()) << args.join(u' ').toStdString();
        if (parsed.options && !parsed.options->help && !parsed.options->version) {
            EXPECT_NE(parsed.options->command, Command::None);
            const auto& line = parsed.options->line;
            if (line.address) {
                EXPECT_TRUE(*line.address >= 1 && *line.address <= 247);
            }
        }
    }
}

TEST(CliOptions, HelpNamesEveryCommandAndExitCode) {
    const QString help = olv::cli::HelpText();
    for (const char* word : {"value", "info", "search", "config read", "config write", "config compare", "link",
                             "batch", "monitor", "calibrate", "--apply-command", "--port", "--data-dir", "--json", "Коды выхода"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(word))) << word;
    for (int code = 0; code <= 5; ++code)
        EXPECT_TRUE(help.contains(QStringLiteral("%1 ").arg(code))) << code;
}
