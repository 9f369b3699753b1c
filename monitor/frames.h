#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace olv::monitor {

// Times of a capture: microseconds since the epoch (UTC), as pcap stamps them.
using Micros = int64_t;

// The longest RTU frame: address, 253 bytes of PDU, CRC.
inline constexpr size_t MaxFrameSize = 256;

// One character on the line: start bit, 8 data bits, parity or a second stop bit, stop bit.
Micros CharacterTime(int baudRate);
// The silence that ends a frame: 3.5 characters, and 1750 us at any rate above 19200 bit/s.
Micros FrameSilence(int baudRate);

// Whether a frame is what a master sends or what a slave answers; both shapes are tried.
enum class Role : uint8_t { Request, Reply };

// The length of a frame in that role starting with these bytes (address, function, ...), known from
// the function code and, where the function has one, its byte count: 0 while it cannot be told yet,
// and for functions of unknown shape (such a frame ends by the line's silence).
size_t FrameLength(Role role, const uint8_t* bytes, size_t count);

// At least 4 bytes, and the last two are the CRC of the others.
bool CrcValid(const uint8_t* bytes, size_t count);

// A frame as the framer cut it. The bytes are valid only during the sink's call. A frame starts
// size character times before it ends: it is timed by its end, which the bytes give most exactly.
struct Frame {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    Micros end = 0;         // when its last byte had arrived
    bool crcValid = false;  // see CrcValid
    bool lineError = false; // the port reported a parity, framing or overrun error during its bytes
};

// How long the first bytes of a frame whose length they give wait for the rest. The times are those
// at which the program took the bytes from the port: a USB adapter hands them over in bursts (its
// latency timer, 1 to 16 ms), and on a busy machine the program (or the simulator's bus) may take them
// tens of milliseconds late, so such a pause need not have been on the line. Waiting costs little: a
// frame cut short that waits in vain is glued to the next bytes, and the valid frames among them are
// cut out again at the next silence.
inline constexpr Micros IncompleteFrameWait = 500000;

// Cuts timed bytes into frames as a master or a slave on the line would: a frame ends at a silence of
// FrameSilence, or earlier as soon as its bytes make a frame of the length its function and byte count
// give, in either role, with a valid CRC (so two frames glued without a silence come apart). The first
// bytes of a frame of known length, or of one whose byte count is still to come, wait
// IncompleteFrameWait for the rest instead, so that a gap between two packets of a USB adapter does
// not split them. Bytes that
// end by silence without making a frame (noise, a frame cut short, a broken CRC) are a frame with
// crcValid false; a valid frame inside them (noise glued in front of a reply) is found and cut out on
// its own. Nothing is dropped: every byte fed is in exactly one frame. Pure: time is passed in.
class Framer {
  public:
    using Sink = std::function<void(const Frame&)>;

    Framer(int baudRate, Sink sink);

    // Bytes that had all arrived at `at`. They came one character time apart, the last at `at`.
    void feed(const uint8_t* bytes, size_t count, Micros at, bool lineError = false);
    // Ends the pending bytes when the line has been silent since them for FrameSilence.
    void idle(Micros now);
    // Ends the pending bytes now (the end of a capture, of a record read from a file).
    void flush();

    bool pending() const { return size_ > 0; }
    Micros characterTime() const { return character_; }

  private:
    void push(uint8_t byte, Micros at, bool lineError); // appends and cuts a frame complete by length
    void endPending();                                  // the pending bytes end here
    void take(size_t count, bool crcValid);             // the first count pending bytes as one frame
    void drop(size_t count);
    Micros pause() const; // the silence after which the pending bytes end

    Sink sink_;
    Micros character_;
    Micros silence_;
    std::array<uint8_t, MaxFrameSize> bytes_{};
    std::array<Micros, MaxFrameSize> times_{};
    std::bitset<MaxFrameSize> errors_;
    size_t size_ = 0;
};

} // namespace olv::monitor
