// Framing, fault switches, commands and options of the virtual instrument, without a line.

#include "sim/line.h"
#include "sim/options.h"
#include "sim/text_values.h"
#include "tests/sim/frames.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace olv::sim;
using namespace olv::test;

namespace {

// --- Framing ----------------------------------------------------------------------------------------

struct LengthCase {
    std::vector<uint8_t> start;
    size_t length;
};

class RequestLengthTest : public testing::TestWithParam<LengthCase> {};

TEST_P(RequestLengthTest, IsKnownFromFunctionAndByteCount) {
    EXPECT_EQ(RequestLength(GetParam().start.data(), GetParam().start.size()), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(Frames, RequestLengthTest,
                         testing::Values(LengthCase{{}, 0}, LengthCase{{1}, 0}, LengthCase{{1, 3}, 8},
                                         LengthCase{{1, 6, 0}, 8}, LengthCase{{1, 16, 0, 0, 0, 2}, 0},
                                         LengthCase{{1, 16, 0, 0, 0, 2, 4}, 13},
                                         LengthCase{{1, 16, 0, 0, 0, 0x7B, 0xF6}, 255},
                                         LengthCase{{1, 0x2B, 0x0E, 1, 0}, 0}));

TEST(FrameSilence, IsThreeAndAHalfCharactersWithAFloor) {
    EXPECT_NEAR(FrameSilenceSeconds(1200), 0.0321, 0.0001);
    EXPECT_NEAR(FrameSilenceSeconds(9600), 0.00401, 0.00001);
    EXPECT_DOUBLE_EQ(FrameSilenceSeconds(38400), 0.00175);
    EXPECT_DOUBLE_EQ(FrameSilenceSeconds(0), 0.00175);
}

// --- Faults -----------------------------------------------------------------------------------------

class Faulted : public testing::Test {
  protected:
    Reply ask() { return line.handleFrame(ReadRequest(1, 15, 3), {}, 0.0); }
    std::string run(const std::string& command) { return line.command(command, 0.0); }
    Line line{{Instrument()}};
    const size_t normal = 11;
};

TEST_F(Faulted, NoReplyOnceSilencesOnlyTheNextAnswer) {
    EXPECT_EQ(run("fault noreply once"), "ok fault noreply once\n");
    // A request nobody answers does not use the fault up.
    EXPECT_TRUE(line.handleFrame(ReadRequest(9, 15, 3), {}, 0).bytes.empty());
    EXPECT_TRUE(ask().bytes.empty());
    EXPECT_EQ(ask().bytes.size(), normal);
}

TEST_F(Faulted, NoReplyOnStaysUntilSwitchedOff) {
    run("fault noreply on");
    EXPECT_TRUE(ask().bytes.empty());
    EXPECT_TRUE(ask().bytes.empty());
    EXPECT_EQ(run("fault noreply off"), "ok fault noreply off\n");
    EXPECT_EQ(ask().bytes.size(), normal);
}

TEST_F(Faulted, NoReplyStillServesAWrite) {
    run("fault noreply once");
    EXPECT_TRUE(line.handleFrame(WriteRequest(1, 1024, {99}), {}, 0).bytes.empty());
    EXPECT_EQ(line.instruments()[0].reg(1024), 99);
}

TEST_F(Faulted, ForcedExceptionReplacesServingAndChangesNothing) {
    run("fault exception 4 once");
    EXPECT_EQ(line.handleFrame(WriteRequest(1, 1024, {99}), {}, 0).bytes, WithCrc({1, 0x90, 4}));
    EXPECT_EQ(line.instruments()[0].reg(1024), 256);
    EXPECT_EQ(ask().bytes.size(), normal);
}

TEST_F(Faulted, AddressAndFunctionFaultsKeepAMatchingCrc) {
    run("fault address 7 once");
    Reply r = ask();
    EXPECT_EQ(r.bytes[0], 7);
    EXPECT_TRUE(CrcMatches(r.bytes));
    run("fault function 4 once");
    r = ask();
    EXPECT_EQ(r.bytes[1], 4);
    EXPECT_TRUE(CrcMatches(r.bytes));
    EXPECT_EQ(r.bytes.size(), normal);
}

TEST_F(Faulted, CrcFaultBreaksOnlyTheCrc) {
    const auto good = ask().bytes;
    run("fault crc once");
    const auto bad = ask().bytes;
    ASSERT_EQ(bad.size(), good.size());
    EXPECT_FALSE(CrcMatches(bad));
    EXPECT_TRUE(std::equal(good.begin(), good.end() - 2, bad.begin()));
}

TEST_F(Faulted, CollideGarblesTheReplyWithTheRequestOnTheWire) {
    const auto good = ask().bytes;
    run("fault collide once");
    const auto request = ReadRequest(1, 15, 3);
    auto garbled = good;
    for (size_t i = 0; i < garbled.size(); ++i)
        garbled[i] &= request[i % request.size()];
    EXPECT_EQ(ask().bytes, garbled);
    EXPECT_FALSE(CrcMatches(garbled));
    EXPECT_EQ(ask().bytes.size(), normal);
}

TEST_F(Faulted, LengthFaultsCutAddAndPrefix) {
    const auto good = ask().bytes;
    run("fault truncate 3 once");
    EXPECT_EQ(ask().bytes, std::vector<uint8_t>(good.begin(), good.end() - 3));
    run("fault truncate 100 once");
    EXPECT_EQ(ask().bytes.size(), 1u);
    run("fault extra 2 once");
    auto longer = ask().bytes;
    EXPECT_EQ(longer.size(), good.size() + 2);
    EXPECT_TRUE(std::equal(good.begin(), good.end(), longer.begin()));
    run("fault garbage 3 once");
    longer = ask().bytes;
    EXPECT_EQ(longer.size(), good.size() + 3);
    EXPECT_TRUE(std::equal(good.begin(), good.end(), longer.begin() + 3));
}

TEST_F(Faulted, TimingFaultsAreHandedToTheSender) {
    run("fault delay 300");
    run("fault gap 20 once");
    Reply r = ask();
    EXPECT_EQ(r.delayMs, 300);
    EXPECT_EQ(r.gapMs, 20);
    r = ask();
    EXPECT_EQ(r.delayMs, 300);
    EXPECT_EQ(r.gapMs, 0);
    EXPECT_EQ(run("fault list"), "ok delay=300\n");
    EXPECT_EQ(run("fault clear"), "ok faults cleared\n");
    EXPECT_EQ(ask().delayMs, 0);
    EXPECT_EQ(run("fault list"), "ok none\n");
}

class FaultSyntax : public testing::TestWithParam<const char*> {};

TEST_P(FaultSyntax, IsRejectedWithAnErrorLine) {
    Line line({Instrument()});
    const std::string answer = line.command(GetParam(), 0);
    EXPECT_EQ(answer.rfind("error ", 0), 0u) << answer;
    EXPECT_EQ(answer.find('\n'), answer.size() - 1);
    EXPECT_EQ(line.command("fault list", 0), "ok none\n");
}

INSTANTIATE_TEST_SUITE_P(Commands, FaultSyntax,
                         testing::Values("fault", "fault bogus on", "fault delay", "fault delay -5",
                                         "fault delay x", "fault noreply 5", "fault crc on once",
                                         "fault delay 10 twice", "fault exception 256",
                                         "fault delay off once", "fault a b c d"));

// --- Commands ---------------------------------------------------------------------------------------

TEST(Commands, DumpListsStateAndRegistersAndEnds) {
    Line line({Instrument()});
    const std::string out = line.command("dump", 0);
    EXPECT_NE(out.find("address=1\n"), std::string::npos);
    EXPECT_NE(out.find("baud=19200\n"), std::string::npos);
    EXPECT_NE(out.find("parity=2\n"), std::string::npos);
    EXPECT_NE(out.find("text=Датчик давления \n"), std::string::npos);
    EXPECT_NE(out.find("date=15.3.2007\n"), std::string::npos);
    EXPECT_NE(out.find("reg.1034=2\n"), std::string::npos);
    EXPECT_EQ(out.find("reg.63="), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 4), "end\n");
}

TEST(Commands, DumpFedBackGivesTheSameRegisters) {
    Instrument source;
    std::string error;
    ASSERT_TRUE(source.setKey("text", "a\\x01\\\\b\\x98Ёё", error)) << error;
    ASSERT_TRUE(source.setKey("serial", "-5", error));
    ASSERT_TRUE(source.setKey("range_max", "2.5", error));
    ASSERT_TRUE(source.setKey("reg.44", "0xBEEF", error));
    std::string text;
    for (const auto& [k, v] : source.dump(0))
        text += k + "=" + v + "\n";
    Instrument copy;
    ASSERT_TRUE(LoadState(text, copy, error)) << error;
    for (int r = 0; r <= 1034; ++r) {
        if (IsMapped(r) && (r < 15 || r > 17)) {
            EXPECT_EQ(copy.reg(r), source.reg(r)) << r;
        }
    }
    EXPECT_EQ(source.reg(48), 0x6101);
    EXPECT_EQ(source.reg(49), 0x5C62);
    EXPECT_EQ(source.reg(50), 0x98A8); // \x98 has no character; Ё is A8 in Windows-1251
    EXPECT_EQ(source.reg(51), 0xB820); // ё, then the padding
}

TEST(Commands, SetTakesTheRestOfTheLineAndAddressesByAt) {
    Instrument second;
    std::string error;
    ASSERT_TRUE(second.setKey("address", "5", error));
    Line line({Instrument(), second});
    EXPECT_EQ(line.command("@5 set text=  two  words", 0), "ok text\n");
    EXPECT_EQ(line.instruments()[1].reg(48), 0x2020);
    EXPECT_EQ(line.instruments()[0].reg(48), 0xC4E0);
    EXPECT_EQ(line.command("@5 get 48", 0), "ok 8224\n");
    EXPECT_EQ(line.command("@6 get 48", 0), "error no instrument at address 6\n");
    EXPECT_EQ(line.command("set text=this is far too long for it", 0).rfind("error ", 0), 0u);
    EXPECT_EQ(line.command("set nonsense=1", 0), "error nonsense: unknown key\n");
    // Register numbers are 16 bits: a larger number is no alias of a small one.
    EXPECT_EQ(line.command("set reg.4294967296=7", 0).rfind("error ", 0), 0u);
    EXPECT_EQ(line.command("set reg.65536=7", 0).rfind("error ", 0), 0u);
    EXPECT_EQ(line.command("get 4294967311", 0), "error no register 4294967311\n");
    EXPECT_EQ(line.command("get -1", 0), "error no register -1\n");
    EXPECT_EQ(line.instruments()[0].reg(0), 150);
    EXPECT_EQ(line.command("instruments", 0), "ok 1:19200:even 5:19200:even\n");
}

TEST(Commands, ValueAndStatusForceTheLiveRegisters) {
    Line line({Instrument()});
    EXPECT_EQ(line.command("value raw 7FC00000", 0), "ok value\n");
    EXPECT_EQ(line.command("get 16", 0), "ok 32704\n");
    EXPECT_EQ(line.command("value 100", 0), "ok value\n");
    EXPECT_EQ(line.command("get 16", 0), "ok 17096\n");
    EXPECT_EQ(line.command("status 0x8000", 0), "ok status\n");
    EXPECT_EQ(line.command("get 15", 0), "ok 32768\n");
    EXPECT_EQ(line.command("status auto", 0), "ok status\n");
    EXPECT_EQ(line.command("get 15", 0), "ok 128\n"); // 100 is above the range
    EXPECT_EQ(line.command("value live", 0), "ok value\n");
    EXPECT_EQ(line.command("get 15", 0), "ok 0\n");
    EXPECT_EQ(line.command("value", 0).rfind("error", 0), 0u);
}

struct KeyCase {
    const char* key;
    const char* value;
};

class RejectedKey : public testing::TestWithParam<KeyCase> {};

TEST_P(RejectedKey, LeavesTheStateAsItWas) {
    Instrument inst;
    const auto before = inst.dump(0);
    std::string error;
    EXPECT_FALSE(inst.setKey(GetParam().key, GetParam().value, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(inst.dump(0), before);
}

INSTANTIATE_TEST_SUITE_P(State, RejectedKey,
                         testing::Values(KeyCase{"address", "0"}, KeyCase{"address", "256"},
                                         KeyCase{"baud", "115200"}, KeyCase{"parity", "mark"},
                                         KeyCase{"byte_order", "4"}, KeyCase{"model", "65536"},
                                         KeyCase{"model", "12abc"}, KeyCase{"date", "32.1.2007"},
                                         KeyCase{"date", "1.1.2016"}, KeyCase{"range_max", "1,5"},
                                         KeyCase{"reg.63", "1"}, KeyCase{"reg.x", "1"},
                                         KeyCase{"value_raw", "xyz"}, KeyCase{"serial", "4294967296"}));

// --- Options ----------------------------------------------------------------------------------------

// The link is a path nothing else on the machine makes: one that is there and no link is refused.
TEST(Options, OneInstrumentWithTheGivenLink) {
    Options o;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--address", "7", "--baud", "9600", "--parity", "N", "--byte-order", "2",
                              "--link", "/nonexistent/olv-sim-line", "--value", "1.25", "--status", "64"},
                             o, error))
        << error;
    ASSERT_EQ(o.instruments.size(), 1u);
    const Instrument& i = o.instruments[0];
    EXPECT_EQ(i.address(), 7);
    EXPECT_EQ(i.baudRate(), 9600);
    EXPECT_EQ(i.parity(), 0);
    EXPECT_EQ(i.byteOrder(), 2);
    EXPECT_EQ(i.liveValue(0), 1.25f);
    EXPECT_EQ(i.liveStatus(0), 64);
    EXPECT_EQ(o.link, "/nonexistent/olv-sim-line");
}

TEST(Options, SeveralInstrumentsOnOneLine) {
    Options o;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--baud", "4800", "--instruments-range", "3-5", "--instrument",
                              "addr=20,baud=38400,parity=odd,model=42"},
                             o, error))
        << error;
    ASSERT_EQ(o.instruments.size(), 4u);
    EXPECT_EQ(o.instruments[0].address(), 3);
    EXPECT_EQ(o.instruments[2].address(), 5);
    EXPECT_EQ(o.instruments[2].baudRate(), 4800);
    EXPECT_EQ(o.instruments[3].address(), 20);
    EXPECT_EQ(o.instruments[3].baudRate(), 38400);
    EXPECT_EQ(o.instruments[3].parity(), 1);
    EXPECT_EQ(o.instruments[3].reg(0), 42);
    // Their live values differ, as real meters' would.
    EXPECT_NE(o.instruments[0].liveValue(1), o.instruments[1].liveValue(1));
}

TEST(Options, StateFileThenSettings) {
    char path[] = "/tmp/olv-sim-state-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        std::ofstream f(path, std::ios::binary);
        f << "# a meter\r\nmodel=77\r\n\r\ntext=Манометр\r\nrange_max=2.5\r\nreg.1028=200\r\n";
    }
    Options o;
    std::string error;
    const bool ok = ParseOptions({"--set", "model=78", "--state", path}, o, error);
    std::remove(path);
    ASSERT_TRUE(ok) << error;
    const Instrument& i = o.instruments[0];
    EXPECT_EQ(i.reg(0), 78); // the command line wins over the file
    EXPECT_EQ(i.rangeMax(), 2.5f);
    EXPECT_EQ(i.reg(1028), 200);
    EXPECT_EQ(i.reg(48), 0xCCE0); // "Ма"
}

struct BadOptions {
    std::vector<std::string> args;
};

class RejectedOptions : public testing::TestWithParam<BadOptions> {};

TEST_P(RejectedOptions, GiveAnError) {
    Options o;
    std::string error;
    EXPECT_FALSE(ParseOptions(GetParam().args, o, error));
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(CommandLine, RejectedOptions,
                         testing::Values(BadOptions{{"--bogus"}}, BadOptions{{"--link"}},
                                         BadOptions{{"--instruments-range", "5-3"}},
                                         BadOptions{{"--instruments-range", "0-3"}},
                                         BadOptions{{"--instruments-range", "7"}},
                                         BadOptions{{"--instrument", "addr=2", "--instrument", "addr=2"}},
                                         BadOptions{{"--instrument", "addr"}},
                                         BadOptions{{"--baud", "14400"}}, BadOptions{{"--set", "=3"}},
                                         BadOptions{{"--state", "/nonexistent/olv-state"}},
                                         BadOptions{{"--usb-latency"}}, BadOptions{{"--usb-latency", "0"}},
                                         BadOptions{{"--usb-latency", "256"}},
                                         BadOptions{{"--usb-latency", "16ms"}},
                                         BadOptions{{"--usb-latency", "16", "--mbtcp", "127.0.0.1:0"}},
                                         BadOptions{{"--mbtcp", "127.0.0.1:0", "--tap", "/tmp/olv-no-tap"}}));

TEST(Options, UsbLatencyIsTheChipsTimer) {
    Options o;
    std::string error;
    ASSERT_TRUE(ParseOptions({}, o, error)) << error;
    EXPECT_EQ(o.usbLatencyMs, 0) << "bytes as they come unless asked";
    for (const char* ms : {"1", "16", "255"}) {
        ASSERT_TRUE(ParseOptions({"--usb-latency", ms}, o, error)) << error;
        EXPECT_EQ(o.usbLatencyMs, std::stoi(ms));
    }
}

// Paths the simulator must not use: it would read a plain control file endlessly, replace a user's file
// by its link (and delete it at the end), or read a device as its state forever.
TEST(Options, RefusesPathsItCannotUse) {
    char dir[] = "/tmp/olv-sim-paths-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string base = dir;
    const std::string plain = base + "/plain", fifo = base + "/fifo", toPlain = base + "/to-plain",
                      earlier = base + "/earlier", folder = base + "/folder";
    { std::ofstream(plain) << "model=1\n"; }
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink(plain.c_str(), toPlain.c_str()), 0);
    ASSERT_EQ(symlink("/dev/pts/4711", earlier.c_str()), 0); // left by an earlier run
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);

    const struct {
        std::vector<std::string> args;
        bool accepted;
    } cases[] = {
        {{"--control", plain}, false},
        {{"--control", folder}, false},
        {{"--control", fifo}, true},
        {{"--control", base + "/new-fifo"}, true},
        {{"--link", plain}, false},
        {{"--link", toPlain}, false},
        {{"--link", folder}, false},
        {{"--link", earlier}, true},
        {{"--link", base + "/new-link"}, true},
        {{"--state", fifo}, false},
        {{"--state", folder}, false},
        {{"--state", "/dev/zero"}, false},
        {{"--state", plain}, true},
    };
    for (const auto& c : cases) {
        Options o;
        std::string error;
        EXPECT_EQ(ParseOptions(c.args, o, error), c.accepted)
            << c.args[0] << " " << c.args[1] << ": " << error;
        EXPECT_EQ(error.empty(), c.accepted) << c.args[0] << " " << c.args[1];
    }
    std::ifstream kept(plain);
    std::string content;
    std::getline(kept, content);
    EXPECT_EQ(content, "model=1");
    for (const std::string& path : {plain, fifo, toPlain, earlier})
        std::remove(path.c_str());
    rmdir(folder.c_str());
    rmdir(dir);
}

// --- Texts ------------------------------------------------------------------------------------------

TEST(TextValues, NumbersIgnoreTheLocaleAndMustBeWhole) {
    long long n = 0;
    EXPECT_TRUE(ParseInteger("0x1F", n));
    EXPECT_EQ(n, 31);
    EXPECT_TRUE(ParseInteger("-12", n));
    EXPECT_EQ(n, -12);
    EXPECT_FALSE(ParseInteger("--1", n));
    EXPECT_FALSE(ParseInteger("1 ", n));
    EXPECT_FALSE(ParseInteger("", n));
    float f = 0;
    EXPECT_TRUE(ParseFloat("-12.25", f));
    EXPECT_EQ(f, -12.25f);
    EXPECT_FALSE(ParseFloat("1,5", f));
    EXPECT_EQ(FormatFloat(1.6f), "1.60000002");
}

} // namespace
