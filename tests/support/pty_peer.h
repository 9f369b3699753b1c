#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace olv::test {

// A pseudo-terminal: the test holds the master side, the code under test opens slavePath().
// Note: a pseudo-terminal carries no parity, line errors or modem lines.
class PtyPair {
  public:
    PtyPair();  // fails the current test (ADD_FAILURE) when no pseudo-terminal can be had
    ~PtyPair(); // closes the master if still open
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    int masterFd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

    // Writes all bytes to the master side (they arrive at the slave).
    bool writeMaster(const std::vector<uint8_t>& bytes);
    // Reads from the master what the slave side wrote, until `count` bytes or the time-out.
    std::vector<uint8_t> readMaster(size_t count, std::chrono::milliseconds timeout);
    // Closing the master hangs up the slave side, as unplugging an adapter does.
    void closeMaster();

  private:
    int master_ = -1;
    std::string slavePath_;
};

// Answers Modbus requests on the master side of a pseudo-terminal from a thread of its own. A request
// is complete by its length (8 bytes for function 3, 9 + byte count for function 16, else whatever came
// in one piece); the handler gives the reply bytes (none for silence). Stopped and joined by stop() or
// the destructor.
class PtyResponder {
  public:
    using Handler = std::function<std::vector<uint8_t>(const std::vector<uint8_t>& request)>;

    PtyResponder(int masterFd, Handler handler);
    ~PtyResponder();
    PtyResponder(const PtyResponder&) = delete;
    PtyResponder& operator=(const PtyResponder&) = delete;

    void stop();
    int requestsSeen() const { return requests_.load(); }

  private:
    void run();

    int master_ = -1;
    Handler handler_;
    int wake_[2] = {-1, -1};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

// A child process started by a test, with its stdout and stderr read through one pipe. Ended by its
// own pid (SIGTERM, then SIGKILL if it lingers) in stop() or the destructor; it also gets SIGTERM if
// the test program dies first.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::vector<std::string>& argv);
    // Reads output lines until one contains `text` (returned in *line) or the time-out passes.
    bool waitForLine(const std::string& text, std::chrono::milliseconds timeout, std::string* line = nullptr);
    // All output read so far, for failure messages.
    const std::string& output() const { return output_; }
    pid_t pid() const { return pid_; }
    bool running();
    void stop();

  private:
    bool readLine(std::string& line, std::chrono::steady_clock::time_point deadline);

    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
    std::string output_;
};

// socat joining two pseudo-terminals: what is written to one comes out of the other.
class SocatPtyPair {
  public:
    bool start(); // false (with output() telling why) when socat did not come up
    const std::string& first() const { return first_; }
    const std::string& second() const { return second_; }
    const std::string& output() const { return process_.output(); }
    void stop() { process_.stop(); }

  private:
    ChildProcess process_;
    std::string first_;
    std::string second_;
};

// pymodbus serving an RTU slave on a serial device (tests/link/peers/rtu_slave.py): unit `unit`,
// holding registers 0..99 holding 1000 + their number; anything past them is an illegal address.
class PymodbusSlave {
  public:
    bool start(const std::string& devicePath, int unit, int baudRate);
    // A Modbus TCP server with the meter's map on 127.0.0.1; path() is then mbtcp://127.0.0.1:PORT.
    bool startTcp(int unit);
    std::string path() const { return "mbtcp://127.0.0.1:" + std::to_string(tcpPort_); }
    const std::string& output() const { return process_.output(); }
    void stop() { process_.stop(); }

  private:
    ChildProcess process_;
    int tcpPort_ = 0;
};

} // namespace olv::test
