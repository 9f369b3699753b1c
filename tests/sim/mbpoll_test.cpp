// The simulator against an independent master: Debian's mbpoll (libmodbus) over the pseudo-terminal.
// mbpoll sets even parity on the line; a pseudo-terminal may drop it, which the simulator tolerates.

#include "device/register_map.h"
#include "sim/instrument.h"
#include "tests/support/sim_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace olv::test;
using olv::device::Block;

namespace {

std::string FindMbpoll() {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        const std::string path = std::string(dir) + "/mbpoll";
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

struct MbpollRun {
    int exitCode = -1;
    std::string output;                // stdout and stderr together
    std::map<int, std::string> values; // "[16]: 0x3F9E" -> 16: "0x3F9E"
};

// Runs mbpoll once with a bound on its run time; the process is ended by its pid if it overstays.
MbpollRun Mbpoll(const std::string& port, std::vector<std::string> args, const std::vector<int>& words = {}) {
    MbpollRun run;
    const std::string binary = FindMbpoll();
    const bool tcp = port.rfind("mbtcp://", 0) == 0;
    std::vector<std::string> all{binary, "-m", tcp ? "tcp" : "rtu", "-0", "-1", "-o", "0.5"};
    all.insert(all.end(), args.begin(), args.end());
    if (tcp)
        all.insert(all.end(), {"-p", port.substr(port.rfind(':') + 1), "127.0.0.1"});
    else
        all.push_back(port);
    if (!words.empty())
        all.push_back("--"); // the values to write follow the port; "--" lets them be negative
    for (int w : words)
        all.push_back(std::to_string(w));
    std::vector<char*> argv;
    for (auto& s : all)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return run;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{out[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buf[4096];
        const ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        run.output.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        int reg = 0;
        char value[64] = {};
        if (std::sscanf(line.c_str(), "[%d]: %63s", &reg, value) == 2) run.values[reg] = value;
    }
    return run;
}

class MbpollTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(FindMbpoll().empty()) << "mbpoll is not installed (scripts/packages.sh lists it)";
        ASSERT_TRUE(sim.start({"--quiet"}));
    }
    MbpollRun read(int start, int count, const std::string& type = "4", int address = 1, int baud = 19200,
                   bool bigEndianWords = false) {
        std::vector<std::string> args{
            "-a", std::to_string(address), "-b", std::to_string(baud), "-P", "even", "-t", type,
            "-r", std::to_string(start),   "-c", std::to_string(count)};
        if (bigEndianWords) args.push_back("-B");
        return Mbpoll(sim.path(), args);
    }
    MbpollRun write(int start, const std::vector<int>& words) {
        return Mbpoll(sim.path(),
                      {"-a", "1", "-b", "19200", "-P", "even", "-t", "4", "-r", std::to_string(start)},
                      words);
    }
    SimInstrument sim;
};

// Every block the program reads, plus the parity register and the whole map in one go.
class MbpollRead : public MbpollTest, public testing::WithParamInterface<Block> {};

TEST_P(MbpollRead, GivesTheInstrumentsRegisters) {
    ASSERT_EQ(sim.command("value 1.5"), "ok value"); // a live value that stands still
    const Block b = GetParam();
    const MbpollRun run = read(b.start, b.count);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.values.size(), static_cast<size_t>(b.count)) << run.output;
    for (int r = b.start; r < b.start + b.count; ++r)
        EXPECT_EQ(std::strtoul(run.values.at(r).c_str(), nullptr, 10), sim.reg(r)) << "register " << r;
}

std::vector<Block> ReadBlocks() {
    std::vector<Block> blocks(olv::device::ConfigReadBlocks.begin(), olv::device::ConfigReadBlocks.end());
    blocks.insert(blocks.end(), {olv::device::LiveBlock,
                                 olv::device::VersionModelBlock,
                                 olv::device::VersionPairBlock,
                                 olv::device::ParityBlock,
                                 {1024, 5},
                                 {0, 63}});
    return blocks;
}

INSTANTIATE_TEST_SUITE_P(Map, MbpollRead, testing::ValuesIn(ReadBlocks()), [](const auto& info) {
    return "From" + std::to_string(info.param.start) + "Count" + std::to_string(info.param.count);
});

// Every block the program writes. mbpoll writes a single value with function 6, which this instrument
// does not have, so the one-register blocks are written together with a neighbour.
class MbpollWrite : public MbpollTest, public testing::WithParamInterface<Block> {};

TEST_P(MbpollWrite, StoresWhatWasWritten) {
    const Block b = GetParam();
    std::vector<int> words;
    for (int r = b.start; r < b.start + b.count; ++r)
        words.push_back(r == olv::device::reg::ByteOrder     ? 3
                        : r == olv::device::reg::AddressBaud ? 0x0104 // the link as it is
                                                             : 1000 + 13 * (r % 1000));
    const MbpollRun run = write(b.start, words);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const auto state = sim.dump();
    for (int i = 0; i < b.count; ++i) {
        const int r = b.start + i;
        if (r >= 15 && r <= 17) continue; // measured, not stored
        EXPECT_EQ(state.at("reg." + std::to_string(r)), std::to_string(words[static_cast<size_t>(i)])) << r;
    }
}

std::vector<Block> WriteBlocks() {
    std::vector<Block> blocks(olv::device::ConfigWriteBlocks.begin(), olv::device::ConfigWriteBlocks.end());
    blocks.insert(blocks.end(), {{10, 2}, {1024, 2}, olv::device::VersionPairBlock, {0, 63}});
    return blocks;
}

INSTANTIATE_TEST_SUITE_P(Map, MbpollWrite, testing::ValuesIn(WriteBlocks()), [](const auto& info) {
    return "From" + std::to_string(info.param.start) + "Count" + std::to_string(info.param.count);
});

TEST_F(MbpollTest, UnmappedRegistersAreAnIllegalAddress) {
    for (int start : {63, 1029, 1035}) {
        const MbpollRun run = read(start, 1);
        EXPECT_NE(run.exitCode, 0) << start;
        EXPECT_NE(run.output.find("Illegal data address"), std::string::npos) << run.output;
    }
}

TEST_F(MbpollTest, SingleRegisterWriteIsAnIllegalFunctionAndChangesNothing) {
    const MbpollRun run = write(1034, {0});
    EXPECT_NE(run.output.find("Illegal function"), std::string::npos) << run.output;
    EXPECT_EQ(sim.reg(1034), 2);
}

TEST_F(MbpollTest, InvalidBaudCodeIsAnIllegalValueAndChangesNothing) {
    const MbpollRun run = write(8, {0x0107, 0x0201});
    EXPECT_NE(run.output.find("Illegal data value"), std::string::npos) << run.output;
    EXPECT_EQ(sim.reg(8), 0x0104);
    EXPECT_EQ(sim.reg(9), 0x0201);
}

TEST_F(MbpollTest, NewAddressAndRateAreWhereTheInstrumentAnswers) {
    ASSERT_EQ(write(8, {0x0503, 0x0201}).exitCode, 0); // address 5, 9600 bit/s
    EXPECT_EQ(read(0, 1, "4", 5, 9600).exitCode, 0);
    EXPECT_NE(read(0, 1, "4", 5, 19200).exitCode, 0);
    EXPECT_NE(read(0, 1, "4", 1, 19200).exitCode, 0);
}

// The four byte orders of the live value: 1.2345 is 3F 9E 04 19.
struct OrderCase {
    int code;
    const char* type;         // mbpoll's reading of the two registers
    bool bigEndianWords;      // -B: register 16 holds the float's high half
    std::string reg16, reg17; // in a 4:hex reading
};

class MbpollByteOrder : public MbpollTest, public testing::WithParamInterface<OrderCase> {};

TEST_P(MbpollByteOrder, LiveValueTravelsInTheChosenOrder) {
    ASSERT_EQ(sim.command("set byte_order=" + std::to_string(GetParam().code)), "ok byte_order");
    ASSERT_EQ(sim.command("value 1.2345"), "ok value");
    const MbpollRun run =
        read(16, GetParam().reg17.empty() ? 1 : 2, GetParam().type, 1, 19200, GetParam().bigEndianWords);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    if (GetParam().reg17.empty()) {
        EXPECT_NEAR(std::strtod(run.values.at(16).c_str(), nullptr), 1.2345, 1e-5) << run.output;
    } else {
        EXPECT_EQ(run.values.at(16), GetParam().reg16);
        EXPECT_EQ(run.values.at(17), GetParam().reg17);
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, MbpollByteOrder,
                         testing::Values(OrderCase{0, "4:float", true, "", ""},
                                         OrderCase{1, "4:float", false, "", ""},
                                         OrderCase{2, "4:hex", false, "0x9E3F", "0x1904"},
                                         OrderCase{3, "4:hex", false, "0x1904", "0x9E3F"}));

} // namespace

TEST(MbpollModbusTcp, ReadsAndWritesTheGatewaysInstrument) {
    SimInstrument gateway;
    ASSERT_TRUE(gateway.start({"--quiet", "--mbtcp", "127.0.0.1:0", "--value", "1.5"}));
    MbpollRun run = Mbpoll(gateway.path(), {"-a", "1", "-t", "4", "-r", "0", "-c", "63"});
    ASSERT_EQ(run.values.size(), 63u) << run.output;
    for (int r : {0, 8, 16, 47})
        EXPECT_EQ(std::strtoul(run.values.at(r).c_str(), nullptr, 10), gateway.reg(r)) << r;
    run = Mbpoll(gateway.path(), {"-a", "1", "-t", "4", "-r", "48"}, {0x4142, 0x4344});
    EXPECT_EQ(gateway.reg(49), 0x4344) << run.output;
}
