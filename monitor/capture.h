#pragma once

#include "link/exchange_record.h"
#include "monitor/frames.h"
#include "monitor/meaning.h"
#include "monitor/pairing.h"

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace olv::monitor {

// Where a frame was seen: on the line listened to, or in one of the program's own transactions.
enum class Source : uint8_t { Line, Own };

// One frame of a capture with what the pairing and the decoding need to show it.
struct Row {
    Micros end = 0; // when its last byte had arrived
    std::vector<uint8_t> bytes;
    Source source = Source::Line;
    link::Framing framing = link::Framing::Rtu;
    Direction direction = Direction::Broken;
    bool crcValid = false; // a Modbus TCP frame has no CRC and counts as valid
    bool lineError = false;
    bool unanswered = false; // a request that got no reply
    Micros latency = -1;     // a reply: from its request's end to its start; a request: its reply's
    Span span;               // a request's registers; a paired reply's, taken from its request
    DecodeContext context;   // the instrument's encodings as known when the frame came
    // The program's own transactions carry their result on the request's row.
    bool hasResult = false;
    link::ResultFlags flags = 0;
    uint8_t exceptionCode = 0;

    // The address and the PDU: without the CRC of an RTU frame, without the MBAP header (but with its
    // unit) of a Modbus TCP frame.
    const uint8_t* adu() const;
    size_t aduSize() const;
    int address() const; // -1 for a frame too short to have one
};

struct Counts {
    int64_t frames = 0;
    int64_t unanswered = 0; // requests without a reply
    int64_t crcErrors = 0;  // frames that are none: a broken CRC, too short, a line error
    int64_t exceptions = 0; // exception replies
};

// The counts of the whole capture (not only of the rows still kept). Per address: the valid frames of
// that address, and the broken frames whose first byte is an address that has sent valid ones.
struct Counters {
    Counts total;
    int64_t droppedFrames = 0; // frames the markers of an opened file say were dropped from it
    std::array<Counts, 256> byAddress{};
};

// A capture: timed bytes of the line, records of a capture file or the program's own transactions go
// through the framer and the pairing into a ring of the last `capacity` rows, with counters over
// everything and a pcap record of every RTU frame for the file that keeps them all. The encodings of
// each instrument are learned from its traffic (byte order from register 11, units from register 9).
class Capture {
  public:
    struct Settings {
        int baudRate = 19200;
        int32_t timeoutMs = 1000; // a reply must begin within this after its request
        int byteOrder = 0;        // of the live value, until an instrument's own is seen
        size_t capacity = 100000;
    };

    explicit Capture(const Settings& settings);
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // Bytes of the line that had arrived at `at` (see Framer::feed).
    void feed(const uint8_t* bytes, size_t count, Micros at, bool lineError = false);
    // The line has been silent until `now`: a pending frame ends, a request's time-out passes.
    void idle(Micros now);
    // The listening ends: pending bytes make a frame; the request still waiting is not judged.
    void end();
    // One record of a capture file: its bytes end at `time` and are cut as the line's would be. A record
    // of no bytes is a marker of dropped frames: nothing before it pairs with anything after it.
    void addRecord(Micros time, const uint8_t* bytes, size_t size);
    // Frames a capture file's markers say were dropped (see Counters).
    void noteDropped(int64_t frames) { counters_.droppedFrames += frames; }
    // Whether the frames added go into spool() (on at first). Records read from a file need not: the
    // file itself holds them.
    void setSpooling(bool on) { spooling_ = on; }
    // One transaction of the program's own, with the wall-clock times of its send and of its end.
    void addOwn(const link::ExchangeRecord& record, Micros sent, Micros ended);

    // The byte order of instruments whose register 11 has not been seen.
    void setByteOrder(int byteOrder);

    // Rows firstSequence() .. endSequence()-1 are kept; older ones have left the ring.
    int64_t firstSequence() const { return end_ > capacity_ ? end_ - capacity_ : 0; }
    int64_t endSequence() const { return end_; }
    const Row* row(int64_t sequence) const;
    // The lowest sequence number of a row that changed after it was added, since the last call; -1
    // when none did.
    int64_t takeChanged();

    const Counters& counters() const { return counters_; }
    // pcap records of the RTU frames added since the caller last emptied it.
    std::string& spool() { return spool_; }
    const Settings& settings() const { return settings_; }

  private:
    Row& append(const Frame& frame, Source source, Direction direction);
    Row* rowAt(int64_t sequence);
    void lineFrame(const Frame& frame);
    void ownFrame(const Frame& frame);
    void markUnanswered(int64_t sequence);
    void learnFromReply(Row& reply, int64_t requestSequence);
    void count(const Row& row);

    Settings settings_;
    int64_t capacity_;
    std::vector<Row> rows_;
    int64_t end_ = 0;
    int64_t changed_ = -1;
    Counters counters_;
    std::array<DecodeContext, 256> contexts_{};
    std::bitset<256> orderSeen_;
    std::string spool_;
    bool spooling_ = true;

    Framer line_;
    Pairer pairer_;
    Framer own_;
    // The transaction addOwn is taking apart: its request row, and whether its reply bytes are in.
    int64_t ownRequest_ = -1;
    bool ownReplying_ = false;
    bool ownReplied_ = false;
};

} // namespace olv::monitor
