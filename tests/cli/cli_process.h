#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace olv::test {

// What one run of modbus-olv-cli left: its exit code (-1 when a signal ended it) and both streams.
struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::vector<std::string> outLines() const;
};

// modbus-olv-cli as a child process, its stdout and stderr read through pipes, ended by its pid.
//
//     CliProcess cli;
//     ASSERT_TRUE(cli.start({"monitor", "--port", tap}));
//     std::string line = cli.readLine();   // waits for its next line on stdout
//     cli.signal(SIGINT);
//     CliRun run = cli.finish();
class CliProcess {
  public:
    CliProcess() = default;
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Starts the program with these arguments (stdin from `input`, given whole and then closed).
    bool start(const std::vector<std::string>& args, const std::string& input = {});
    // The next line on its stdout without the line end; "" when none came within the wait or it ended.
    std::string readLine(int timeoutMs = 20000);
    // Waits until its stderr holds `text`; false when it did not within the wait.
    bool waitForError(const std::string& text, int timeoutMs = 20000);
    void signal(int number);
    // Waits for it to end (a generous bound, then SIGKILL) and gives what it left.
    CliRun finish(int timeoutMs = 60000);
    pid_t pid() const { return pid_; }

    static std::string binaryPath();

  private:
    bool pump(int timeoutMs); // reads what is there on either pipe; false when both are closed
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string outBuffer_;
    size_t outRead_ = 0; // of outBuffer_, the bytes readLine has given
    std::string errBuffer_;
};

// Runs it to its end.
CliRun RunCli(const std::vector<std::string>& args, const std::string& input = {});

} // namespace olv::test
