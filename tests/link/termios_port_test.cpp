// The termios port against a peer on the other side of a pseudo-terminal. A pseudo-terminal carries
// no parity, line errors or modem lines, so those are covered with the fake port elsewhere.
#include "link/link_settings.h"
#include "link/port_link.h"
#include "link/port_master.h"
#include "link/termios_port.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/pty_peer.h"
#include "tests/support/recording_boxes.h"

#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace olv::link;
using namespace std::chrono;
using olv::test::PtyPair;
using olv::test::PtyResponder;
using Bytes = std::vector<uint8_t>;

namespace {

const Bytes kReadReply = {0x01, 0x03, 0x06, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x69, 0x43};

double ThreadCpuMs() {
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// Whether thread `tid` of this process is asleep in system call `number` ("running" while it runs).
bool SleepsInSyscall(pid_t tid, long number) {
    std::ifstream state("/proc/self/task/" + std::to_string(tid) + "/syscall");
    long current = -1;
    return state >> current && current == number;
}

long long MsSince(steady_clock::time_point start) {
    return duration_cast<milliseconds>(steady_clock::now() - start).count();
}

class TermiosPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        std::string error;
        ASSERT_TRUE(port.open(pty.slavePath(), LineSettings{19200, 8, 2}, error)) << error;
        settings.address = 1;
        settings.baudRate = 19200;
        settings.timeoutMs = 1000;
        settings.parity = 2;
        settings.traceEnabled = 0;
    }

    // Waits (with a deadline, not a guess) until the port's receive queue holds `count` bytes.
    bool waitForQueued(size_t count) {
        const auto deadline = steady_clock::now() + seconds(5);
        while (port.bytesAvailable() < count) {
            if (steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(milliseconds(1));
        }
        return true;
    }

    PtyPair pty;
    TermiosPort port;
    LinkSettings settings;
};

} // namespace

TEST(TermiosPortOpen, MissingDeviceFailsWithTheSystemsReason) {
    TermiosPort port;
    std::string error;
    EXPECT_FALSE(port.open("/dev/olv-no-such-port", LineSettings{}, error));
    EXPECT_EQ(error, std::string(strerror(ENOENT)));
    EXPECT_FALSE(port.isOpen());
    uint8_t byte = 0;
    EXPECT_EQ(port.write(&byte, 1), 0u);
    EXPECT_EQ(port.read(&byte, 1), 0u);
}

TEST(TermiosPortOpen, APlainFileIsNotASerialPort) {
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    TermiosPort port;
    std::string error;
    EXPECT_FALSE(port.open(file.fileName().toStdString(), LineSettings{}, error));
    EXPECT_EQ(error, std::string(strerror(ENOTTY)));
    EXPECT_FALSE(port.isOpen());
}

TEST(TermiosPortOpen, FailedOpenThroughTheLinkShowsPathAndReason) {
    olv::test::RecordingBoxes boxes;
    PortLink link(std::make_unique<TermiosPort>(), boxes,
                    [](int) { return std::string("/dev/olv-no-such-port"); });
    EXPECT_FALSE(link.openPort(1, 19200, 8, 2, 1, 1000));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].detail,
              QStringLiteral("/dev/olv-no-such-port: нет такого устройства (%1)")
                  .arg(QString::fromLocal8Bit(strerror(ENOENT))));
}

TEST_F(TermiosPortTest, TheDeviceIsHeldExclusively) {
    if (geteuid() != 0) {
        TermiosPort second;
        std::string error;
        EXPECT_FALSE(second.open(pty.slavePath(), LineSettings{}, error));
        return;
    }
    // Root is not bound by exclusive mode, but can see that it is set.
    const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int exclusive = 0;
    const int result = ioctl(fd, TIOCGEXCL, &exclusive);
    ::close(fd);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(exclusive, 1);
}

TEST_F(TermiosPortTest, ADeviceLockedByAnotherProgramIsBusy) {
    TermiosPort second;
    std::string error;
    EXPECT_FALSE(second.open(pty.slavePath(), LineSettings{}, error)); // root too: the lock is ours
    EXPECT_EQ(error, std::string(strerror(EBUSY)));
    port.close();
    EXPECT_TRUE(second.open(pty.slavePath(), LineSettings{}, error)) << error; // released on close
}

TEST(TermiosPortOpen, ALockedDeviceFailsWithTheBoxAndBusy) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    // Another program holding the device with its own lock (as pyserial's exclusive mode does).
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) _exit(1);
        pause();
        _exit(0);
    }
    // Wait (with a deadline) until the child holds the lock.
    const auto deadline = steady_clock::now() + seconds(10);
    bool locked = false;
    while (!locked && steady_clock::now() < deadline) {
        const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        locked = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0;
        if (fd >= 0) ::close(fd);
        if (!locked) std::this_thread::sleep_for(milliseconds(5));
    }
    olv::test::RecordingBoxes boxes;
    PortLink link(std::make_unique<TermiosPort>(), boxes, [&pty](int) { return pty.slavePath(); });
    const bool opened = link.openPort(1, 19200, 8, 2, 1, 1000);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ASSERT_TRUE(locked);
    EXPECT_FALSE(opened);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Невозможно открыть последовательный порт"));
    EXPECT_TRUE(boxes.boxes[0].detail.contains(QStringLiteral("busy")))
        << boxes.boxes[0].detail.toStdString();
}

// Which parity the line really carries is decided here alone; a pseudo-terminal drops PARENB, so the
// flags are checked on the record itself, starting from every bit set and from none.
struct ParityFlagsCase {
    int parity;
    bool parenb;
    bool parodd;
    bool inpck;
};

class ApplyLineSettingsTest : public ::testing::TestWithParam<ParityFlagsCase> {};

TEST_P(ApplyLineSettingsTest, ParityDataBitsStopBitsAndRawMode) {
    const ParityFlagsCase& c = GetParam();
    for (const unsigned char fill : {0x00, 0xFF}) {
        struct termios tio;
        std::memset(&tio, fill, sizeof tio);
        ApplyLineSettings(tio, LineSettings{9600, 8, c.parity});
        EXPECT_EQ((tio.c_cflag & PARENB) != 0, c.parenb) << c.parity << " fill " << int(fill);
        EXPECT_EQ((tio.c_cflag & PARODD) != 0, c.parodd) << c.parity << " fill " << int(fill);
        EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.inpck) << c.parity << " fill " << int(fill);
        EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), tcflag_t(0));
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ISTRIP | ICRNL | IGNPAR | PARMRK), tcflag_t(0));
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
        EXPECT_EQ(tio.c_oflag & OPOST, tcflag_t(0));
        EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
        EXPECT_EQ(cfgetispeed(&tio), speed_t(B9600));
    }
}

INSTANTIATE_TEST_SUITE_P(Parities, ApplyLineSettingsTest,
                         ::testing::Values(ParityFlagsCase{0, false, false, false},
                                           ParityFlagsCase{1, true, true, true},
                                           ParityFlagsCase{2, true, false, true},
                                           ParityFlagsCase{5, false, false, false}));

TEST_F(TermiosPortTest, BytesPassUntranslatedBothWays) {
    // CR, LF, XON, XOFF, ^C, ^Z, DEL, 0xFF: a raw line passes them as they are.
    const Bytes bytes = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x1A, 0x7F, 0xFF, 0x00, 0x0D};
    ASSERT_EQ(port.write(bytes.data(), bytes.size()), bytes.size());
    EXPECT_EQ(pty.readMaster(bytes.size(), seconds(2)), bytes);

    ASSERT_TRUE(pty.writeMaster(bytes));
    port.setReadTimeouts(ReadTimeouts{50, 0, 2000});
    uint8_t in[32] = {};
    ASSERT_EQ(port.read(in, sizeof in), bytes.size());
    EXPECT_EQ(Bytes(in, in + bytes.size()), bytes);
}

TEST_F(TermiosPortTest, NoReplyGivesUpAfterMultiplierTimesBytesPlusConstant) {
    PortMaster master(port, settings);
    uint16_t values[3];
    uint8_t exc = 0;
    const auto start = steady_clock::now();
    const ResultFlags flags = master.readHoldingRegisters(15, 3, values, exc);
    const long long elapsed = MsSince(start);
    EXPECT_EQ(flags, NoReply | WrongLength | WrongFunction | CrcMismatch | WrongAddress);
    EXPECT_GE(elapsed, 1100); // 12 ms x 13 bytes + 1000 ms = 1156 ms
    EXPECT_LE(elapsed, 2500);
}

TEST_F(TermiosPortTest, InterByteSilenceEndsTheReadAfterAReply) {
    PtyResponder peer(pty.masterFd(), [](const Bytes&) { return kReadReply; });
    PortMaster master(port, settings);
    uint16_t values[3] = {};
    uint8_t exc = 0;
    const auto start = steady_clock::now();
    EXPECT_EQ(master.readHoldingRegisters(15, 3, values, exc), 0);
    EXPECT_LT(MsSince(start), 600) << "a full reply must not wait for the 1156 ms total";
    EXPECT_EQ(values[2], 0x9ABC);
    EXPECT_EQ(peer.requestsSeen(), 1);
}

TEST_F(TermiosPortTest, SilenceCountsFromTheLastByteNotFromTheStart) {
    // A reply in six pieces 80 ms apart: every gap is well inside the 300 ms of silence allowed, the
    // whole reply (400 ms) is not, so it is read whole only when each byte starts the silence anew.
    port.setReadTimeouts(ReadTimeouts{300, 0, 5000});
    std::thread peer([this] {
        for (size_t at = 0; at < kReadReply.size(); at += 2) {
            if (at > 0) std::this_thread::sleep_for(milliseconds(80));
            pty.writeMaster(
                Bytes(kReadReply.begin() + at, kReadReply.begin() + std::min(at + 2, kReadReply.size())));
        }
    });
    uint8_t in[16] = {};
    const size_t got = port.read(in, sizeof in);
    peer.join();
    EXPECT_EQ(Bytes(in, in + got), kReadReply);
}

TEST_F(TermiosPortTest, ASignalDuringTheWaitDoesNotEndTheRead) {
    // A handler without SA_RESTART, as a program's own may be: the wait in ppoll() ends with EINTR,
    // and the read must go on waiting for the reply. The signal is sent once the reading thread is
    // seen asleep in ppoll(), then the reply follows.
    static std::atomic<bool> caught{false};
    struct sigaction action {
    }, previous{};
    action.sa_handler = [](int) { caught = true; };
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    const pid_t reader = gettid();
    const pthread_t readerThread = pthread_self();
    bool interrupted = false;
    port.setReadTimeouts(ReadTimeouts{50, 0, 5000});
    std::thread peer([&] {
        const auto until = steady_clock::now() + seconds(5);
        while (!SleepsInSyscall(reader, SYS_ppoll) && steady_clock::now() < until)
            std::this_thread::sleep_for(milliseconds(1));
        const bool waiting = SleepsInSyscall(reader, SYS_ppoll);
        pthread_kill(readerThread, SIGUSR1);
        while (!caught && steady_clock::now() < until)
            std::this_thread::sleep_for(milliseconds(1));
        interrupted = waiting && caught;
        pty.writeMaster(kReadReply);
    });
    uint8_t in[16] = {};
    const size_t got = port.read(in, sizeof in);
    peer.join();
    sigaction(SIGUSR1, &previous, nullptr);
    ASSERT_TRUE(interrupted) << "cannot set up the signal: the read was never seen waiting in ppoll()";
    EXPECT_EQ(Bytes(in, in + got), kReadReply);
}

TEST_F(TermiosPortTest, ReadEndsByCountWithoutWaiting) {
    ASSERT_TRUE(pty.writeMaster({1, 2, 3, 4}));
    port.setReadTimeouts(ReadTimeouts{1000, 1000, 5000});
    uint8_t in[4];
    const auto start = steady_clock::now();
    EXPECT_EQ(port.read(in, 4), 4u);
    EXPECT_LT(MsSince(start), 1000);
}

TEST_F(TermiosPortTest, PurgeDropsBytesThatArrivedLate) {
    ASSERT_TRUE(pty.writeMaster({0x01, 0x03, 0x06, 0x00, 0x01}));
    ASSERT_TRUE(waitForQueued(5));
    port.purge();
    EXPECT_EQ(port.bytesAvailable(), 0u);
    port.setReadTimeouts(ReadTimeouts{5, 0, 50});
    uint8_t in[8];
    EXPECT_EQ(port.read(in, sizeof in), 0u);
}

TEST_F(TermiosPortTest, HangUpEndsAReadAtOnceAndLaterReadsDoNotSpin) {
    port.setReadTimeouts(ReadTimeouts{12, 12, 5000});
    std::thread unplug([this] {
        std::this_thread::sleep_for(milliseconds(150)); // let the read start waiting
        pty.closeMaster();
    });
    uint8_t in[16];
    auto start = steady_clock::now();
    EXPECT_EQ(port.read(in, sizeof in), 0u);
    unplug.join();
    EXPECT_LT(MsSince(start), 2000) << "the hang-up must end the read, not the 5 s time-out";

    // Every later read on the dead line ends at once, without burning the processor.
    port.setReadTimeouts(ReadTimeouts{12, 12, 1000});
    const double cpuBefore = ThreadCpuMs();
    start = steady_clock::now();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(port.read(in, sizeof in), 0u);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_LT(ThreadCpuMs() - cpuBefore, 250.0);

    // A write on the dead line returns too.
    const uint8_t out[2] = {1, 2};
    port.write(out, 2);
}

TEST_F(TermiosPortTest, LineErrorsAndModemLinesAreHarmlessWithoutDriverSupport) {
    EXPECT_EQ(port.takeLineErrors(), 0u);
    port.raiseLines();
    EXPECT_TRUE(port.isOpen());
}

TEST_F(TermiosPortTest, ReopenAfterCloseWorks) {
    port.close();
    EXPECT_FALSE(port.isOpen());
    std::string error;
    ASSERT_TRUE(port.open(pty.slavePath(), LineSettings{9600, 7, 1}, error)) << error;
    ASSERT_TRUE(port.open(pty.slavePath(), LineSettings{38400, 8, 0}, error)) << error;
    const uint8_t out[1] = {0x42};
    EXPECT_EQ(port.write(out, 1), 1u);
    EXPECT_EQ(pty.readMaster(1, seconds(2)), Bytes{0x42});
}

TEST_F(TermiosPortTest, TheAwaitedReplyIsReadWholeOverAPacketGap) {
    // As a USB adapter with its default 16 ms timer may hand it over: the first bytes, then the rest
    // 40 ms later, more than three times the 12 ms of silence that ends a read at 19200 bit/s.
    std::thread adapter([this] {
        if (pty.readMaster(8, seconds(2)).size() != 8) return;
        pty.writeMaster(Bytes(kReadReply.begin(), kReadReply.begin() + 4));
        std::this_thread::sleep_for(milliseconds(40));
        pty.writeMaster(Bytes(kReadReply.begin() + 4, kReadReply.end()));
    });
    PortMaster master(port, settings);
    uint16_t values[3] = {};
    uint8_t exc = 0;
    EXPECT_EQ(master.readHoldingRegisters(15, 3, values, exc), 0);
    adapter.join();
    EXPECT_EQ(values[2], 0x9ABC);
}

TEST_F(TermiosPortTest, AUsbAdapterIsToldWithWhatBecameOfItsLowLatency) {
    // The pseudo-terminal passes for an FTDI adapter in a tree of files; its driver has no serial
    // flags to set, which is what a refusing driver looks like.
    olv::test::FakeSysfs sys;
    sys.addUsb(TerminalName(pty.slavePath()), olv::test::FakeSysfs::Usb{});
    EXPECT_FALSE(port.usbState()) << "a pseudo-terminal is no USB adapter";
    port.setSysfsRoot(sys.root());
    std::string error;
    ASSERT_TRUE(port.open(pty.slavePath(), LineSettings{19200, 8, 0}, error)) << error;
    const auto state = port.usbState();
    ASSERT_TRUE(state);
    EXPECT_EQ(state->devicePath, pty.slavePath());
    EXPECT_EQ(state->adapter.vendorId, "0403");
    EXPECT_EQ(state->adapter.latencyTimerMs, 16);
    EXPECT_EQ(state->lowLatency, LowLatency::Refused);
    port.close();
    EXPECT_FALSE(port.usbState());
}
