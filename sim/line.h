#pragma once

#include "sim/instrument.h"

#include <cstdint>
#include <string>
#include <vector>

namespace olv::sim {

// Length of the request frame that starts with these bytes (address, function, ..., CRC), known from
// the function code and, for writes of several values, the byte count. 0 while it cannot be told yet,
// and for functions whose length is unknown: such a frame ends by the line's silence instead.
size_t RequestLength(const uint8_t* bytes, size_t count);

// Silence that ends a frame: 3.5 characters of 11 bits, at least 1.75 ms as Modbus fixes above 19200.
double FrameSilenceSeconds(int baudRate);

// A misbehaviour of the line's replies. Once: for the next reply only, then off.
enum class FaultMode { Off, On, Once };
struct Fault {
    FaultMode mode = FaultMode::Off;
    int value = 0;
    bool active() const { return mode != FaultMode::Off; }
};

struct Faults {
    Fault noReply;   // the request is served but nothing is sent
    Fault delay;     // ms before the reply
    Fault truncate;  // the reply loses its last `value` bytes (at least one byte stays)
    Fault extra;     // `value` bytes appended after the CRC
    Fault crc;       // both CRC bytes inverted
    Fault address;   // the reply carries this address (with a CRC that matches it)
    Fault function;  // the reply carries this function code (with a CRC that matches it)
    Fault exception; // an exception reply with this code instead of serving; nothing changes
    Fault garbage;   // `value` bytes of noise before the reply
    Fault gap;       // ms of silence between the reply's characters
    Fault collide;   // another master sends the same request while the reply is on the wire: both
                     // garble each other (the wire-AND of the two)
};

// How the master's side of the line is set, where it can be seen.
struct Observed {
    int baudRate = 0; // 0: cannot be seen; -1: a rate no instrument uses
    int parity = -1;  // -1: cannot be seen
};

struct Reply {
    std::vector<uint8_t> bytes; // empty: nothing is sent
    int delayMs = 0;
    int gapMs = 0;
    int linkChanged = -1; // index of the instrument whose address, rate or parity the request changed
    std::string log;      // one line describing the request and its fate
};

// The serial line with its instruments and the fault switches: request frames in, reply frames out,
// and the command language of the control channel. Pure: no I/O, time is passed in.
class Line {
  public:
    explicit Line(std::vector<Instrument> instruments);

    std::vector<Instrument>& instruments() { return instruments_; }
    Faults& faults() { return faults_; }
    Instrument* find(int address);

    Reply handleFrame(const std::vector<uint8_t>& frame, const Observed& observed, double now);

    // Runs one command line. Returns the text to print: one line "ok ..." or "error ...", or for
    // `dump` key=value lines and a last line "end"; every line ends with '\n'.
    std::string command(const std::string& line, double now);

  private:
    std::string faultCommand(const std::vector<std::string>& words);
    Fault* faultNamed(const std::string& name);
    std::string faultList() const;

    std::vector<Instrument> instruments_;
    Faults faults_;
};

// "01 03 00 0F" for the log.
std::string HexBytes(const std::vector<uint8_t>& bytes);

} // namespace olv::sim
