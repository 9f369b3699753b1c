#pragma once

#include "link/descriptor_wait.h"
#include "link/port.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace olv::test {

// A scripted serial port for tests: no time passes and nothing touches a real line.
//
// - It starts open (set `opened = false` to start closed). On a closed port write and read do
//   nothing: nothing is recorded as written and no scripted reply is used up.
// - A reply may also be queued in packets (queuePackets, queueThroughUsbChip), as a USB adapter hands
//   it over: a read of it waits as the serial port waits, under the read time-outs, on a clock of the
//   port's own that only such reads move on (no real time passes), and readFrame holds the awaited
//   reply over the gaps as the serial port does.
// - Each read() takes the next queued reply (as many of its bytes as were asked for; the rest is
//   lost, as a purge would drop it). With an empty queue a read returns nothing, as a silent line.
// - Line errors queued with a reply are reported by the next takeLineErrors() after that read;
//   injectLineErrors() adds errors at once.
// - open() records its path and line settings and fails when `failOpen` is set, with `openFailure`.
// - `lineHungUp` makes the open port report a hang-up, as a pulled adapter or a lost connection.
// - `calls` lists every call by name in order: "open", "close", "purge", "setReadTimeouts",
//   "takeLineErrors", "write", "read", "raiseLines", "readAvailable" (only when it finds bytes).
class FakePort : public link::Port {
  public:
    struct OpenCall {
        std::string path;
        link::LineSettings line;
    };

    // Queues the bytes the next read returns, with the line errors the driver reports for them.
    void queueReply(std::vector<uint8_t> bytes, uint32_t lineErrors = 0);
    // Queues a read that gets nothing (a time-out).
    void queueSilence();
    // A piece of a reply that reaches the port afterMs after the piece before it (the first: after the
    // read began).
    struct Packet {
        double afterMs = 0;
        std::vector<uint8_t> bytes;
    };
    // Queues a reply that arrives in these pieces; what the read does not take by its end is lost.
    void queuePackets(std::vector<Packet> packets, uint32_t lineErrors = 0);
    // Queues a reply as a USB adapter's chip hands it over: sent at once on a line of baudRate bit/s
    // (the first byte in one character time), gathered by a chip with that latency timer, which last
    // ran out phaseMs before the read began.
    void queueThroughUsbChip(const std::vector<uint8_t>& bytes, int baudRate, double latencyMs,
                             double phaseMs);
    // Line errors reported by the next takeLineErrors().
    void injectLineErrors(uint32_t errors) { pendingErrors_ |= errors; }

    bool open(const std::string& devicePath, const link::LineSettings& line, std::string& error) override;
    void close() override;
    bool isOpen() const override { return opened; }
    bool hungUp() const override { return opened && lineHungUp; }
    void purge() override;
    void setReadTimeouts(const link::ReadTimeouts& timeouts) override;
    uint32_t takeLineErrors() override;
    size_t write(const uint8_t* bytes, size_t count) override;
    size_t read(uint8_t* bytes, size_t count) override;
    size_t readFrame(uint8_t* bytes, size_t count, const link::FrameCutter& cut) override;
    void raiseLines() override;
    // Takes the next queued reply whole (up to count), as bytes that have arrived on the line.
    size_t readAvailable(uint8_t* bytes, size_t count) override;

    size_t pendingReplies() const { return replies_.size(); }

    bool opened = true;
    bool lineHungUp = false; // the line went away under the open port; the next open clears it
    bool failOpen = false;
    std::string openFailure = "No such file or directory";
    std::function<void()> onOpen; // runs inside every open (e.g. lets a test clock pass its time)

    std::vector<std::string> calls;
    std::vector<OpenCall> opens;
    std::vector<std::vector<uint8_t>> written; // every frame written, in order
    std::vector<link::ReadTimeouts> timeouts;  // every setReadTimeouts, in order
    std::vector<size_t> readsAsked;            // bytes asked of every read on the open port
    int raiseLinesCalls = 0;
    int purges = 0;
    // The port's clock, moved on by the reads of replies in packets, and the last such read on it: when
    // it began and how long it took.
    link::WaitClock::time_point clock{};
    link::WaitClock::time_point lastReadStart{};
    double lastReadMs = 0;

  private:
    struct Reply {
        std::vector<uint8_t> bytes;
        uint32_t lineErrors = 0;
        std::vector<Packet> packets; // when it comes in pieces
    };
    size_t take(uint8_t* bytes, size_t count, const link::FrameCutter* cut);
    size_t takeInPackets(const Reply& reply, uint8_t* bytes, size_t count, const link::FrameCutter* cut);
    std::deque<Reply> replies_;
    uint32_t pendingErrors_ = 0;
};

} // namespace olv::test
