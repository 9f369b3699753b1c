#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace olv::test {

// The virtual instrument (modbus-olv-sim) as a child process for integration tests. It serves a
// pseudo-terminal whose path path() gives; command() talks to its control channel, one line out, one
// line back. The process is ended by its pid in stop() and in the destructor, and it also ends by
// itself if the test process dies.
//
//     SimInstrument sim;
//     ASSERT_TRUE(sim.start({"--set", "text=Hello"}));
//     ... open sim.path() at 19200 bit/s, address 1 ...
//     EXPECT_EQ(sim.dump()["range_max"], "1.60000002");
//     EXPECT_EQ(sim.command("fault noreply once"), "ok fault noreply once");
class SimInstrument {
  public:
    SimInstrument() = default;
    ~SimInstrument();
    SimInstrument(const SimInstrument&) = delete;
    SimInstrument& operator=(const SimInstrument&) = delete;

    // Starts the simulator with these options and waits for the path of its line. False if it could not
    // be started or did not report a path in time (its stderr says why).
    bool start(std::vector<std::string> args = {});
    // Path of the pseudo-terminal (or of the real port with --device).
    std::string path() const { return path_; }
    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0; }

    // Sends one command line and returns the reply line without its line end; "" if the simulator did
    // not answer in time or is not running.
    std::string command(const std::string& line);
    // The next line the simulator prints, e.g. the answer to a command sent through its --control FIFO.
    std::string readReply();
    // `dump` (or `@ADDRESS dump` for address >= 0): every key=value of the instrument; empty on error.
    std::map<std::string, std::string> dump(int address = -1);
    // The current value of one register of the first instrument; records a test failure and gives 0
    // when it cannot be read.
    uint16_t reg(int n);

    // Ends the simulator: SIGTERM, then SIGKILL if it has not exited within a few seconds.
    void stop();

    static std::string binaryPath();

  private:
    bool readLine(std::string& line, int timeoutMs);

    pid_t pid_ = -1;
    int channel_ = -1; // the simulator's stdin and stdout
    std::string buffer_;
    std::string path_;
};

// ser2net as a serial-to-TCP gateway in raw mode for integration tests: it accepts on 127.0.0.1 at a
// free port and bridges each connection to a serial device (e.g. the virtual instrument's --link path).
// It runs in the foreground with its configuration and pid file in a temporary folder, and is ended by
// its pid in stop() and in the destructor.
//
//     Ser2net gateway;
//     ASSERT_TRUE(gateway.start(sim.path()));
//     ... connect to gateway.path(), "tcp://127.0.0.1:PORT" ...
//     gateway.stop(); gateway.start(sim.path()); // the same port again
class Ser2net {
  public:
    Ser2net() = default;
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // Starts ser2net for the device with the line "19200e81"-style settings, on the port of the last
    // start or a free one, and waits until it accepts. False if it did not (why is in log()).
    bool start(const std::string& device, const std::string& line = "19200e81");
    void stop();
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    int port() const { return port_; }
    std::string path() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    std::string log() const; // what ser2net printed

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string dir_;
};

} // namespace olv::test
