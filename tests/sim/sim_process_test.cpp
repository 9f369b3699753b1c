// The simulator as a process: its pseudo-terminal, control channel, link changes, faults and unplugging.

#include "tests/sim/frames.h"
#include "tests/support/sim_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace olv::test;
using Clock = std::chrono::steady_clock;

namespace {

// A master on the slave side of the simulator's pseudo-terminal, as the program would open it.
class Client {
  public:
    ~Client() { close(); }
    bool open(const std::string& path, int baud = 19200) {
        close();
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd_ >= 0 && setBaud(baud);
    }
    bool setBaud(int baud) {
        termios t{};
        if (tcgetattr(fd_, &t) != 0) return false;
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        const speed_t speed = baud == 9600 ? B9600 : baud == 38400 ? B38400 : B19200;
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        return tcsetattr(fd_, TCSANOW, &t) == 0;
    }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }

    // Sends a request and collects the reply: it ends 100 ms after the last byte, or with nothing after
    // `waitMs`.
    std::vector<uint8_t> exchange(const std::vector<uint8_t>& request, int waitMs = 1000) {
        tcflush(fd_, TCIFLUSH);
        if (::write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return {};
        return collect(waitMs);
    }
    std::vector<uint8_t> collect(int waitMs) {
        std::vector<uint8_t> reply;
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, reply.empty() ? waitMs : 100) <= 0 || !(p.revents & POLLIN)) return reply;
            uint8_t buf[300];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) return reply;
            reply.insert(reply.end(), buf, buf + n);
        }
    }

  private:
    int fd_ = -1;
};

std::string TempPath(const char* name) {
    return "/tmp/olv-sim-test-" + std::to_string(getpid()) + "-" + name;
}

std::string LinkTarget(const std::string& link) {
    char buf[256];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

TEST(SimProcess, ServesAPseudoTerminalBehindTheLink) {
    const std::string link = TempPath("port");
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--link", link, "--quiet"}));
    EXPECT_EQ(sim.path().rfind("/dev/pts/", 0), 0u) << sim.path();
    EXPECT_EQ(LinkTarget(link), sim.path());

    auto state = sim.dump();
    EXPECT_EQ(state["address"], "1");
    EXPECT_EQ(state["baud"], "19200");
    EXPECT_EQ(state["parity"], "2");
    EXPECT_EQ(state["byte_order"], "0");
    EXPECT_EQ(state["units"], "1");
    EXPECT_EQ(state["range_min"], "0");
    EXPECT_EQ(state["range_max"], "1.60000002");
    EXPECT_EQ(state["trim_offset"], "0");
    EXPECT_EQ(state["trim_multiplier"], "1");
    EXPECT_EQ(state["text"], "Датчик давления ");
    EXPECT_EQ(state["reg.1024"], "256");
    EXPECT_EQ(state["reg.1027"], "0");
    EXPECT_EQ(state["reg.1028"], "107");

    sim.stop();
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link outlived the simulator";
}

TEST(SimProcess, AnswersReadsAndKeepsWrites) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    Client client;
    ASSERT_TRUE(client.open(sim.path()));

    auto reply = client.exchange(ReadRequest(1, 0, 6));
    ASSERT_EQ(reply.size(), 17u);
    EXPECT_TRUE(CrcMatches(reply));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(ReplyWord(reply, i), sim.reg(i));

    reply = client.exchange(
        WriteRequest(1, 48, {0x4142, 0x4344, 0x2020, 0x2020, 0x2020, 0x2020, 0x2020, 0x2021}));
    EXPECT_EQ(reply, WithCrc({1, 16, 0, 48, 0, 8}));
    EXPECT_EQ(sim.dump()["text"], "ABCD           !");
}

TEST(SimProcess, FrameOfUnknownLengthEndsBySilence) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    Client client;
    ASSERT_TRUE(client.open(sim.path()));
    EXPECT_EQ(client.exchange(WithCrc({1, 0x2B, 0x0E, 1, 0})), WithCrc({1, 0xAB, 1}));
}

TEST(SimProcess, TapIsAnotherPartyOnTheBusAndTwoSendersCollide) {
    const std::string tapLink = TempPath("tap");
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--tap", tapLink}));
    Client line, tap;
    ASSERT_TRUE(line.open(sim.path()));
    ASSERT_TRUE(tap.open(tapLink));

    // A master on the tap is answered, and the line hears both frames.
    const auto request = ReadRequest(1, 15, 3);
    const auto reply = tap.exchange(request);
    ASSERT_EQ(reply.size(), 11u);
    auto heard = request;
    heard.insert(heard.end(), reply.begin(), reply.end());
    EXPECT_EQ(line.collect(500), heard);

    // Two masters at once (the simulator held still meanwhile, so that it finds both together): every
    // byte is the wire-AND of both, everyone hears that, nobody answers.
    const auto other = ReadRequest(1, 0, 6);
    ASSERT_EQ(kill(sim.pid(), SIGSTOP), 0);
    const bool written =
        ::write(line.fd(), request.data(), 8) == 8 && ::write(tap.fd(), other.data(), 8) == 8;
    ASSERT_EQ(kill(sim.pid(), SIGCONT), 0);
    ASSERT_TRUE(written);
    std::vector<uint8_t> garbled(8);
    for (size_t i = 0; i < 8; ++i)
        garbled[i] = request[i] & other[i];
    EXPECT_EQ(line.collect(500), garbled);
    EXPECT_EQ(tap.collect(100), garbled);
    const std::string bus = sim.command("bus");
    EXPECT_EQ(bus.substr(bus.find(" tap1=")), " tap1=" + LinkTarget(tapLink) + ":16 collisions=8") << bus;
}

// A tap is a terminal like an adapter's: while no program has it open it hears nothing, and what it
// heard and its program did not read goes when the program lets it go, so that the next program to
// open it (mbpoll after the window's start-up read) starts on a clean line.
TEST(SimProcess, ATapNoProgramHasOpenHearsNothingAndKeepsNothingForTheNextOne) {
    const std::string tapLink = TempPath("idle-tap");
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--tap", tapLink}));
    Client line, tap;
    ASSERT_TRUE(line.open(sim.path()));
    const auto request = ReadRequest(1, 15, 3);
    ASSERT_EQ(line.exchange(request).size(), 11u);
    ASSERT_TRUE(tap.open(tapLink));
    EXPECT_EQ(tap.collect(200), std::vector<uint8_t>()) << "what passed before the tap was opened";

    // Open, it hears the line.
    auto reply = line.exchange(request);
    ASSERT_EQ(reply.size(), 11u);
    auto heard = request;
    heard.insert(heard.end(), reply.begin(), reply.end());
    EXPECT_EQ(tap.collect(500), heard);

    // Its program lets it go without reading the last exchange; the next one finds nothing of it.
    ASSERT_EQ(line.exchange(request).size(), 11u);
    tap.close();
    EXPECT_EQ(sim.command("ping"), "ok"); // answered after the simulator saw the tap let go
    ASSERT_TRUE(tap.open(tapLink));
    EXPECT_EQ(tap.collect(200), std::vector<uint8_t>()) << "what the tap's last program did not read";
    reply = line.exchange(request);
    ASSERT_EQ(reply.size(), 11u);
    heard = request;
    heard.insert(heard.end(), reply.begin(), reply.end());
    EXPECT_EQ(tap.collect(500), heard);
    // A master on the tap is still answered.
    EXPECT_EQ(tap.exchange(request).size(), 11u);
}

TEST(SimProcess, NewAddressAndRateAnswerOnlyWhenTheMasterFollows) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    Client client;
    ASSERT_TRUE(client.open(sim.path(), 19200));

    // Address 5 at 9600 bit/s; the reply comes at the old settings.
    EXPECT_EQ(client.exchange(WriteRequest(1, 8, {0x0503})), WithCrc({1, 16, 0, 8, 0, 1}));
    EXPECT_TRUE(client.exchange(ReadRequest(1, 15, 3), 300).empty());
    EXPECT_TRUE(client.exchange(ReadRequest(5, 15, 3), 300).empty());
    ASSERT_TRUE(client.setBaud(9600));
    EXPECT_EQ(client.exchange(ReadRequest(5, 15, 3)).size(), 11u);

    EXPECT_EQ(client.exchange(WriteRequest(5, 1034, {0})), WithCrc({5, 16, 4, 10, 0, 1}));
    auto state = sim.dump();
    EXPECT_EQ(state["address"], "5");
    EXPECT_EQ(state["baud"], "9600");
    EXPECT_EQ(state["parity"], "0");
}

TEST(SimProcess, SeveralInstrumentsShareTheLine) {
    SimInstrument sim;
    ASSERT_TRUE(
        sim.start({"--quiet", "--instruments-range", "1-3", "--instrument", "addr=10,baud=9600,model=9"}));
    EXPECT_EQ(sim.command("instruments"), "ok 1:19200:even 2:19200:even 3:19200:even 10:9600:even");
    Client client;
    ASSERT_TRUE(client.open(sim.path(), 19200));
    EXPECT_EQ(client.exchange(ReadRequest(2, 15, 3)).size(), 11u);
    EXPECT_TRUE(client.exchange(ReadRequest(10, 0, 1), 300).empty());
    ASSERT_TRUE(client.setBaud(9600));
    const auto reply = client.exchange(ReadRequest(10, 0, 1));
    ASSERT_EQ(reply.size(), 7u);
    EXPECT_EQ(ReplyWord(reply, 0), 9);
    EXPECT_EQ(sim.dump(10)["model"], "9");
    EXPECT_TRUE(sim.dump(11).empty());
}

TEST(SimProcess, DelayAndGapFaultsHoldTheReplyBack) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--fault", "delay 300 once"}));
    Client client;
    ASSERT_TRUE(client.open(sim.path()));
    auto begin = Clock::now();
    EXPECT_EQ(client.exchange(ReadRequest(1, 15, 3), 3000).size(), 11u);
    EXPECT_GE(Clock::now() - begin, std::chrono::milliseconds(250));

    ASSERT_EQ(sim.command("fault gap 40 once"), "ok fault gap 40 once");
    begin = Clock::now();
    const auto reply = client.exchange(ReadRequest(1, 15, 3), 3000);
    EXPECT_EQ(reply.size(), 11u);
    EXPECT_TRUE(CrcMatches(reply));
    EXPECT_GE(Clock::now() - begin, std::chrono::milliseconds(300)); // ten gaps of 40 ms
}

TEST(SimProcess, UsbLatencyHandsRepliesOverInPacketsThatSplitSome) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--usb-latency", "16"}));
    EXPECT_EQ(sim.command("usb"), "ok latency=16 packets=0 split=0");
    Client client;
    ASSERT_TRUE(client.open(sim.path()));
    // A read of 8 registers takes 12 ms on the wire at 19200 bit/s, so most straddle an expiry of the
    // 16 ms timer; all come whole to a reader that waits longer than the timer.
    for (int i = 0; i < 20; ++i) {
        const auto reply = client.exchange(ReadRequest(1, 0, 8), 3000);
        ASSERT_EQ(reply.size(), 21u) << i;
        EXPECT_TRUE(CrcMatches(reply));
    }
    int packets = 0, split = 0;
    ASSERT_EQ(std::sscanf(sim.command("usb").c_str(), "ok latency=16 packets=%d split=%d", &packets, &split), 2);
    EXPECT_GE(packets, 21);
    EXPECT_GE(split, 1);

    SimInstrument plain;
    ASSERT_TRUE(plain.start({"--quiet"}));
    EXPECT_EQ(plain.command("usb"), "error no --usb-latency");
}

TEST(SimProcess, UnplugHangsUpAndReplugServesAgainBehindTheSameLink) {
    const std::string link = TempPath("unplug");
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--link", link}));
    Client client;
    ASSERT_TRUE(client.open(link));
    ASSERT_EQ(client.exchange(ReadRequest(1, 15, 3)).size(), 11u);

    EXPECT_EQ(sim.command("unplug"), "ok unplugged");
    pollfd p{client.fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    EXPECT_TRUE(p.revents & (POLLHUP | POLLERR));
    uint8_t byte = 0;
    EXPECT_LE(::read(client.fd(), &byte, 1), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);

    const std::string answer = sim.command("replug");
    ASSERT_EQ(answer.rfind("ok /dev/pts/", 0), 0u) << answer;
    EXPECT_EQ(LinkTarget(link), answer.substr(3));
    ASSERT_TRUE(client.open(link));
    EXPECT_EQ(client.exchange(ReadRequest(1, 15, 3)).size(), 11u);
}

TEST(SimProcess, ControlFifoTakesCommandsLikeStdin) {
    const std::string fifo = TempPath("control");
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet", "--control", fifo}));
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const std::string cmd = "fault noreply once\n";
    ASSERT_EQ(::write(fd, cmd.data(), cmd.size()), static_cast<ssize_t>(cmd.size()));
    ::close(fd);
    EXPECT_EQ(sim.readReply(), "ok fault noreply once");

    Client client;
    ASSERT_TRUE(client.open(sim.path()));
    EXPECT_TRUE(client.exchange(ReadRequest(1, 15, 3), 300).empty());
    EXPECT_EQ(client.exchange(ReadRequest(1, 15, 3)).size(), 11u);
    sim.stop();
    struct stat st {};
    EXPECT_NE(stat(fifo.c_str(), &st), 0) << "the FIFO it made outlived it";
}

TEST(SimProcess, StopEndsTheProcessAndBadOptionsDoNotStart) {
    SimInstrument sim;
    ASSERT_TRUE(sim.start({"--quiet"}));
    const pid_t pid = sim.pid();
    sim.stop();
    EXPECT_FALSE(sim.running());
    EXPECT_EQ(kill(pid, 0), -1); // reaped: the pid is gone
    EXPECT_EQ(sim.command("ping"), "");

    EXPECT_FALSE(sim.start({"--instruments-range", "9-2"}));
    EXPECT_FALSE(sim.running());
    // A plain file as the control channel is refused at start, not read in a loop.
    const std::string plain = TempPath("plain-control");
    {
        FILE* f = std::fopen(plain.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    EXPECT_FALSE(sim.start({"--quiet", "--control", plain}));
    EXPECT_FALSE(sim.running());
    std::remove(plain.c_str());
}

} // namespace
