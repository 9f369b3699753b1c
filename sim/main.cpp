// The virtual instrument: serves the simulated pressure meters of sim/line.h on a pseudo-terminal (or
// a real serial port) and takes commands on stdin and an optional FIFO.

#include "sim/bus.h"
#include "sim/gateway.h"
#include "sim/line.h"
#include "sim/options.h"
#include "sim/text_values.h"
#include "sim/usb_chip.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace olv::sim;

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

double Now() {
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool g_quiet = false;
void Log(const std::string& text) {
    if (g_quiet) return;
    std::fprintf(stderr, "[sim %9.3f] %s\n", Now(), text.c_str());
    std::fflush(stderr);
}

void Say(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

speed_t SpeedOf(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    default:
        return B19200;
    }
}

int BaudOf(speed_t speed) {
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return -1; // a rate no instrument uses: nobody answers
    }
}

void SetLine(termios& t, int baud, int parity) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(PARENB | PARODD | CSTOPB);
    if (parity == 1) t.c_cflag |= PARENB | PARODD;
    if (parity == 2) t.c_cflag |= PARENB;
    cfsetispeed(&t, SpeedOf(baud));
    cfsetospeed(&t, SpeedOf(baud));
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

// The line being served: the master side of a pseudo-terminal, or a real serial port. The line's own
// terminal is held open by the simulator itself; a tap is not, so that it can tell whether a program
// has it open: a real adapter that no program has open hears nothing of the line.
class Endpoint {
  public:
    Endpoint(std::string device, std::string link, bool hold = true)
        : device_(std::move(device)), link_(std::move(link)), hold_(hold) {}
    ~Endpoint() { close(); }

    bool open(int baud, int parity, std::string& error) {
        if (!device_.empty()) return openDevice(baud, parity, error);
        fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
            error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
            close();
            return false;
        }
        path_ = ptsname(fd_);
        // Holding the slave open ourselves keeps the master from seeing a hang-up each time the program
        // closes its port; we never read from it, so no byte is taken from the program. A tap's slave is
        // opened and closed once instead: from then on its master shows a hang-up whenever no program
        // has the slave open (a master whose slave was never opened shows nothing).
        holdFd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (!hold_ && holdFd_ >= 0) {
            ::close(holdFd_);
            holdFd_ = -1;
        }
        termios t{};
        if (tcgetattr(fd_, &t) == 0) {
            SetLine(t, baud, 0); // raw, no echo; a pseudo-terminal carries no parity
            tcsetattr(fd_, TCSANOW, &t);
        }
        pointLink();
        return true;
    }

    void close() {
        if (fd_ < 0) return;
        removeLink();
        if (holdFd_ >= 0) ::close(holdFd_);
        ::close(fd_);
        fd_ = holdFd_ = -1;
    }

    int fd() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }

    // Whether a program has the terminal open: always for the line's own terminal and a real port;
    // for a tap while its master shows no hang-up.
    bool held() const {
        if (fd_ < 0) return false;
        if (hold_ || isDevice()) return true;
        pollfd p{fd_, 0, 0};
        return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
    }

    // For a tap that nobody has open: drops what reached it and was not read before its program let
    // it go, so that the next program to open it finds nothing stale. The slave is opened for a moment
    // to flush its input; it shows the hang-up again once closed.
    void dropUnread() {
        if (fd_ < 0 || hold_) return;
        const int slave = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (slave >= 0) {
            tcflush(slave, TCIFLUSH);
            ::close(slave);
        }
        tcflush(fd_, TCIFLUSH);
    }

    const std::string& path() const { return path_; }
    bool isDevice() const { return !device_.empty(); }

    // The rate and parity the master's side is set to. On Linux the termios calls on a pty master act on
    // its slave, so tcgetattr here shows what the program set. A pty drops parity, so parity is only
    // checked when it shows.
    Observed observe() const {
        Observed o;
        if (isDevice()) return {deviceBaud_, deviceParity_};
        termios t{};
        if (fd_ < 0 || tcgetattr(fd_, &t) != 0) return o;
        o.baudRate = BaudOf(cfgetospeed(&t));
        if (t.c_cflag & PARENB) o.parity = (t.c_cflag & PARODD) ? 1 : 2;
        return o;
    }

    // A real port follows the instrument to its new settings once the reply has gone out.
    void follow(int baud, int parity) {
        if (!isDevice() || fd_ < 0) return;
        tcdrain(fd_);
        termios t{};
        if (tcgetattr(fd_, &t) != 0) return;
        SetLine(t, baud, parity);
        tcsetattr(fd_, TCSANOW, &t);
        deviceBaud_ = baud;
        deviceParity_ = parity;
    }

  private:
    bool openDevice(int baud, int parity, std::string& error) {
        fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) {
            error = "cannot open " + device_ + ": " + std::strerror(errno);
            return false;
        }
        termios t{};
        if (tcgetattr(fd_, &t) != 0) {
            error = device_ + " is not a serial port";
            close();
            return false;
        }
        SetLine(t, baud, parity);
        tcsetattr(fd_, TCSANOW, &t);
        tcflush(fd_, TCIOFLUSH);
        path_ = device_;
        deviceBaud_ = baud;
        deviceParity_ = parity;
        pointLink();
        return true;
    }

    // Replaces the symlink in one step, so that a reader never finds it missing or half made.
    void pointLink() {
        if (link_.empty()) return;
        const std::string tmp = link_ + ".tmp" + std::to_string(getpid());
        ::unlink(tmp.c_str());
        if (::symlink(path_.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), link_.c_str()) != 0) {
            Log("cannot make the link " + link_ + ": " + std::strerror(errno));
            ::unlink(tmp.c_str());
        }
    }

    void removeLink() {
        if (link_.empty()) return;
        char target[4096];
        const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == path_) ::unlink(link_.c_str());
    }

    std::string device_, link_, path_;
    bool hold_ = true;
    int fd_ = -1;
    int holdFd_ = -1;
    int deviceBaud_ = 0;
    int deviceParity_ = -1;
};

// How often a tap that no program holds open is looked at, to notice one that opens it.
constexpr double TapCheckSeconds = 0.02;

struct Chunk {
    double due = 0;
    std::vector<uint8_t> bytes;
    int linkChanged = -1;
};

// The --control FIFO: made when missing (and then removed at the end), opened for reading and for
// writing, so that it never reads as closed between two writers.
struct ControlFifo {
    int fd = -1;
    bool made = false;
    std::string path;

    // Nothing to do for an empty path. False when what is there is not a FIFO (said on stderr).
    bool open(const std::string& name) {
        if (name.empty()) return true;
        path = name;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) made = ::mkfifo(path.c_str(), 0600) == 0;
        fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) Log("cannot open the control FIFO " + path + ": " + std::strerror(errno));
        // Checked again on what was opened: something else may have taken the name meanwhile.
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode))) {
            std::fprintf(stderr, "modbus-olv-sim: --control %s is not a FIFO\n", path.c_str());
            ::close(fd);
            fd = -1;
            return false;
        }
        return true;
    }
    ~ControlFifo() {
        if (fd >= 0) ::close(fd);
        if (made) ::unlink(path.c_str());
    }
};

// Splits a byte stream into lines.
class LineReader {
  public:
    void feed(const char* data, size_t n) { buffer_.append(data, n); }
    bool next(std::string& line) {
        const size_t nl = buffer_.find('\n');
        if (nl == std::string::npos) return false;
        line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

  private:
    std::string buffer_;
};

} // namespace

int main(int argc, char** argv) {
    // Its log and answers may go to files under a size limit: a write past it fails, it does not end
    // the simulator.
    std::signal(SIGXFSZ, SIG_IGN);
    Options options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "modbus-olv-sim: %s\n%s", error.c_str(), UsageText);
        return 2;
    }
    if (options.help) {
        std::fputs(UsageText, stdout);
        return 0;
    }
    g_quiet = options.quiet;

    Line line(options.instruments);
    for (const auto& cmd : options.faultCommands) {
        const std::string answer = line.command(cmd, 0.0);
        if (answer.rfind("ok", 0) != 0) {
            std::fprintf(stderr, "modbus-olv-sim: --%s", answer.c_str());
            return 2;
        }
    }

    std::signal(SIGPIPE, SIG_IGN);
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGHUP);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask); // delivered only inside ppoll, so no wake-up is lost
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);

    // The FIFO exists before the path is announced, so whoever waits for the path can write to it.
    ControlFifo control;
    if (!control.open(options.control)) return 2;

    if (!options.mbtcp.empty()) {
        GatewayIo io{Now, Log, Say, &g_stop, &waitMask, control.fd};
        return ServeGateway(line, options.mbtcp, options.gatewaySilent, io);
    }

    const Instrument& first = line.instruments().front();
    Endpoint endpoint(options.device, options.link);
    if (!endpoint.open(first.baudRate(), first.parity(), error)) {
        std::fprintf(stderr, "modbus-olv-sim: %s\n", error.c_str());
        return 1;
    }
    // The parties on the line: the first terminal (party 0) and every --tap.
    std::vector<Endpoint*> parties{&endpoint};
    std::vector<std::unique_ptr<Endpoint>> taps;
    for (const std::string& path : options.taps) {
        taps.push_back(std::make_unique<Endpoint>(std::string(), path, false));
        if (!taps.back()->open(first.baudRate(), 0, error)) {
            std::fprintf(stderr, "modbus-olv-sim: %s\n", error.c_str());
            return 1;
        }
        parties.push_back(taps.back().get());
    }
    std::vector<uint64_t> sentBy(parties.size(), 0);
    // Whether each party was held open by a program when last looked at (the taps start unheld).
    std::vector<bool> wasHeld(parties.size(), false);
    wasHeld[0] = true;
    // With one party the bytes pass at once; with taps they take their time on the wire, where two
    // senders at once collide.
    Bus bus;
    // A USB adapter between the line and the first terminal: what reaches that terminal goes in the
    // chip's packets, and the bytes take their time on the wire, so that a reply may straddle two.
    std::optional<UsbChip> chip;
    if (options.usbLatencyMs > 0) chip.emplace(options.usbLatencyMs / 1000.0, Now());
    uint64_t packets = 0, splitPackets = 0;
    const int controlFd = control.fd;

    Say(endpoint.path() + "\n");
    std::string list = line.command("instruments", 0.0).substr(2);
    list.pop_back();
    Log("serving " + endpoint.path() + (options.link.empty() ? "" : " as " + options.link) + ", instruments" +
        list);
    for (size_t p = 1; p < parties.size(); ++p)
        Log("tap " + std::to_string(p) + " on " + parties[p]->path() + " as " + options.taps[p - 1]);

    bool stdinOpen = true;
    LineReader stdinLines, fifoLines;
    std::vector<uint8_t> rx;
    double lastByte = 0;
    size_t rxFrom = 0; // the party whose byte began the frame in rx
    std::deque<Chunk> tx;
    bool quit = false;

    auto runCommand = [&](const std::string& text) {
        const auto words = SplitWords(text);
        if (words.empty()) return;
        if (words[0] == "quit" || words[0] == "exit") {
            Say("ok bye\n");
            quit = true;
        } else if (words[0] == "unplug") {
            endpoint.close();
            rx.clear();
            tx.clear();
            if (chip) chip->clear();
            Log("unplugged");
            Say("ok unplugged\n");
        } else if (words[0] == "replug") {
            endpoint.close();
            rx.clear();
            tx.clear();
            if (chip) chip->clear();
            std::string why;
            const Instrument& inst = line.instruments().front();
            if (endpoint.open(inst.baudRate(), inst.parity(), why)) {
                Log("plugged in again at " + endpoint.path());
                Say("ok " + endpoint.path() + "\n");
            } else {
                Say("error " + why + "\n");
            }
        } else if (words[0] == "path") {
            Say(endpoint.isOpen() ? "ok " + endpoint.path() + "\n" : "error unplugged\n");
        } else if (words[0] == "bus") {
            // Bytes each party has sent, and the collisions on the wire.
            std::string out = "ok";
            for (size_t p = 0; p < parties.size(); ++p)
                out += (p == 0 ? std::string(" line=") : " tap" + std::to_string(p) + "=") +
                       parties[p]->path() + ":" + std::to_string(sentBy[p]);
            Say(out + " collisions=" + std::to_string(bus.collisions()) + "\n");
        } else if (words[0] == "usb") {
            // The adapter's packets to the first terminal, and those that went while more was coming.
            Say(chip ? "ok latency=" + std::to_string(options.usbLatencyMs) + " packets=" +
                           std::to_string(packets) + " split=" + std::to_string(splitPackets) + "\n"
                     : std::string("error no --usb-latency\n"));
        } else {
            Say(line.command(text, Now()));
        }
    };

    auto handleFrame = [&](std::vector<uint8_t> frame) {
        Reply reply =
            line.handleFrame(frame, options.lineCheck ? parties[rxFrom]->observe() : Observed{}, Now());
        Log(reply.log);
        if (reply.bytes.empty()) return;
        const double start = Now() + reply.delayMs / 1000.0;
        if (reply.gapMs <= 0) {
            tx.push_back({start, std::move(reply.bytes), reply.linkChanged});
            return;
        }
        for (size_t i = 0; i < reply.bytes.size(); ++i)
            tx.push_back({start + static_cast<double>(i) * reply.gapMs / 1000.0,
                          {reply.bytes[i]},
                          i + 1 == reply.bytes.size() ? reply.linkChanged : -1});
    };

    // Hands what has passed on the wire to the instruments and to every party but its sender.
    auto deliver = [&] {
        std::vector<std::vector<uint8_t>> out(parties.size());
        for (const Bus::Delivery& d : bus.take(Now())) {
            for (size_t p = 0; p < parties.size(); ++p) {
                if (static_cast<int>(p) == d.from) continue;
                if (p == 0 && chip)
                    chip->put(d.byte, d.at);
                else
                    out[p].push_back(d.byte);
            }
            if (d.from == Bus::Instruments) continue;
            if (rx.empty()) rxFrom = d.from >= 0 ? static_cast<size_t>(d.from) : 0;
            rx.push_back(d.byte);
            lastByte = d.at;
        }
        if (chip) {
            const std::vector<UsbChip::Packet> due = chip->take(Now());
            // More of the line's bytes still to come: in the chip, or on the wire.
            const bool coming = chip->nextDue() < 1e300 || bus.nextDue() < 1e300;
            for (size_t k = 0; k < due.size(); ++k) {
                out[0].insert(out[0].end(), due[k].bytes.begin(), due[k].bytes.end());
                ++packets;
                if (k + 1 < due.size() || coming) ++splitPackets;
            }
        }
        for (size_t p = 0; p < parties.size(); ++p) {
            // A tap that no program has open hears nothing: the bytes are not kept for a later opener.
            if (out[p].empty() || !parties[p]->held()) continue;
            const ssize_t n = ::write(parties[p]->fd(), out[p].data(), out[p].size());
            // A tap nobody reads fills up and then drops what comes; the line's own terminal says so.
            if (p == 0 && n != static_cast<ssize_t>(out[p].size()))
                Log("reply not fully sent (" + std::to_string(n) + " of " + std::to_string(out[p].size()) +
                    ")");
        }
    };

    while (!quit && !g_stop) {
        const int silenceBaud =
            endpoint.observe().baudRate > 0 ? endpoint.observe().baudRate : first.baudRate();
        if (parties.size() > 1 || chip) bus.setCharacterSeconds(11.0 / silenceBaud);
        deliver();
        const double now = Now();

        // Frames complete by length, or by silence when their length cannot be told.
        for (;;) {
            const size_t need = RequestLength(rx.data(), rx.size());
            if (need > 0 && rx.size() >= need) {
                std::vector<uint8_t> frame(rx.begin(), rx.begin() + static_cast<long>(need));
                rx.erase(rx.begin(), rx.begin() + static_cast<long>(need));
                handleFrame(std::move(frame));
                continue;
            }
            if (!rx.empty() && (now - lastByte >= FrameSilenceSeconds(silenceBaud) || rx.size() >= 256)) {
                handleFrame(std::move(rx));
                rx.clear();
            }
            break;
        }

        // Replies that are due.
        while (!tx.empty() && tx.front().due <= Now()) {
            Chunk chunk = std::move(tx.front());
            tx.pop_front();
            if (!endpoint.isOpen() && parties.size() == 1) continue;
            bus.transmit(Bus::Instruments, chunk.bytes.data(), chunk.bytes.size(), Now());
            deliver();
            if (chunk.linkChanged >= 0 && line.instruments().size() == 1) {
                const Instrument& inst = line.instruments()[static_cast<size_t>(chunk.linkChanged)];
                endpoint.follow(inst.baudRate(), inst.parity());
            }
        }

        // A tap that nobody holds open shows a hang-up, so it is not polled (the wait would end at
        // once); it is looked at again within TapCheckSeconds instead, to notice a program opening it.
        double wait = 1.0;
        if (std::find(wasHeld.begin(), wasHeld.end(), false) != wasHeld.end()) wait = TapCheckSeconds;
        if (!tx.empty()) wait = std::min(wait, tx.front().due - Now());
        if (!rx.empty()) wait = std::min(wait, lastByte + FrameSilenceSeconds(silenceBaud) - Now());
        wait = std::min(wait, bus.nextDue() - Now());
        if (chip) wait = std::min(wait, chip->nextDue() - Now());
        wait = std::max(wait, 0.0);
        timespec timeout{static_cast<time_t>(wait),
                         static_cast<long>((wait - static_cast<long>(wait)) * 1e9)};

        std::vector<pollfd> fds(parties.size() + 2);
        int count = 0;
        int stdinIndex = -1, fifoIndex = -1;
        std::vector<int> partyIndex(parties.size(), -1);
        for (size_t p = 0; p < parties.size(); ++p)
            if (parties[p]->isOpen() && wasHeld[p])
                fds[static_cast<size_t>(partyIndex[p] = count++)] = {parties[p]->fd(), POLLIN, 0};
        if (stdinOpen) fds[static_cast<size_t>(stdinIndex = count++)] = {STDIN_FILENO, POLLIN, 0};
        if (controlFd >= 0) fds[static_cast<size_t>(fifoIndex = count++)] = {controlFd, POLLIN, 0};
        const int ready = ppoll(fds.data(), static_cast<nfds_t>(count), &timeout, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) continue;
            Log(std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        char buf[512];
        for (size_t p = 0; p < parties.size(); ++p) {
            if (partyIndex[p] < 0 || !fds[static_cast<size_t>(partyIndex[p])].revents) continue;
            const ssize_t n = ::read(parties[p]->fd(), buf, sizeof buf);
            if (n > 0) {
                bus.transmit(static_cast<int>(p), reinterpret_cast<const uint8_t*>(buf),
                             static_cast<size_t>(n), Now());
                sentBy[p] += static_cast<uint64_t>(n);
                if (p > 0)
                    Log("tap " + std::to_string(p) + " sent " + HexBytes(std::vector<uint8_t>(buf, buf + n)));
            } else if (p == 0 && n < 0 && errno != EAGAIN && errno != EINTR) {
                // A real adapter pulled out: stop serving until `replug`.
                Log(std::string("line read failed: ") + std::strerror(errno) + ", unplugged");
                endpoint.close();
            }
        }
        // A tap whose program let it go drops what it had not read (what it sent before it closed has
        // just been read). Looked at before the commands are read, so that an answer to a command sent
        // after a program closed a tap comes after the drop.
        for (size_t p = 1; p < parties.size(); ++p) {
            const bool held = parties[p]->held();
            if (held == wasHeld[p]) continue;
            wasHeld[p] = held;
            if (held) {
                Log("tap " + std::to_string(p) + " opened");
            } else {
                parties[p]->dropUnread();
                Log("tap " + std::to_string(p) + " let go, what it had not read is dropped");
            }
        }
        deliver();
        if (stdinIndex >= 0 && fds[static_cast<size_t>(stdinIndex)].revents) {
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n > 0) {
                stdinLines.feed(buf, static_cast<size_t>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                stdinOpen = false; // no more commands from stdin; keep serving until a signal
            }
        }
        if (fifoIndex >= 0 && fds[static_cast<size_t>(fifoIndex)].revents) {
            const ssize_t n = ::read(controlFd, buf, sizeof buf);
            if (n > 0) fifoLines.feed(buf, static_cast<size_t>(n));
        }
        for (std::string cmd; !quit && stdinLines.next(cmd);)
            runCommand(cmd);
        for (std::string cmd; !quit && fifoLines.next(cmd);)
            runCommand(cmd);
    }

    endpoint.close();
    for (auto& tap : taps)
        tap->close();
    Log("stopped");
    return 0;
}
