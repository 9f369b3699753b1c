#pragma once

#include "link/exchange_record.h"
#include "link/usb_adapter.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace olv::link {

// Line errors seen by the port since the last clear (the values of the classic comm error mask).
enum LineError : uint32_t {
    LineOverrun = 0x0002, // hardware overrun
    LineParity = 0x0004,  // receive parity error
    LineFraming = 0x0008, // framing error
    LineBreak = 0x0010,   // break condition
};

struct LineSettings {
    int baudRate = 19200;        // one of 110..115200, already validated by the caller
    int dataBits = 8;            // 5..8
    int parity = 0;              // 0 none, 1 odd, 2 even
    int connectTimeoutMs = 1000; // a line reached over the network: how long its connect may take
};

// How a read waits. Total budget = multiplierMs * bytes asked + constantMs; once a byte has arrived the
// read also ends when the line stays silent longer than intervalMs. It returns whatever arrived.
struct ReadTimeouts {
    uint32_t intervalMs = 0;
    uint32_t multiplierMs = 0;
    uint32_t constantMs = 0;
};

// What the bytes of a reply received so far tell of its end.
struct FrameCut {
    enum Kind : uint8_t {
        More,   // not yet whole: wait for at least `length` bytes in all
        Whole,  // the frame is the first `length` bytes
        Skip,   // the first `length` bytes are a frame that is not the awaited one: drop it, read on
        Broken, // the bytes cannot be a frame: the stream is lost and must be started afresh
    };
    Kind kind = More;
    size_t length = 0;
    // More only: the bytes so far begin the reply awaited (from the addressed instrument, to the
    // function asked or as its exception, for a read with the byte count of the registers asked), so
    // `length` is its own. A serial line does not end such a reply by a silence.
    bool awaited = false;
};
// Tells the cut of the bytes received so far (bytes[0..received-1]).
using FrameCutter = std::function<FrameCut(const uint8_t* bytes, size_t received)>;

// The one port of the program: a serial line, or a network connection to a gateway that carries RTU
// frames (tcp://) or Modbus TCP frames (mbtcp://). Implementations: the termios port, the TCP port, the
// port that picks one of them by the path, the tests' fake. Calls on a closed port do nothing and report
// nothing received.
class Port {
  public:
    virtual ~Port() = default;

    // Opens devicePath with the line settings; on failure returns false and a reason in error, and
    // leaves errno at the system's error code where there is one.
    virtual bool open(const std::string& devicePath, const LineSettings& line, std::string& error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The line went away under the open port (adapter pulled out, connection lost): nothing more can
    // pass until it is opened again. Ports that cannot tell report false.
    virtual bool hungUp() const { return false; }

    virtual void purge() = 0; // drop both the transmit and the receive queue
    virtual void setReadTimeouts(const ReadTimeouts& timeouts) = 0;
    virtual uint32_t takeLineErrors() = 0; // LineError bits since the last call, then cleared
    virtual size_t write(const uint8_t* bytes, size_t count) = 0; // blocks until all is sent
    virtual size_t read(uint8_t* bytes, size_t count) = 0;        // ends by count or by the time-outs
    // Reads one reply of at most count bytes under the total budget of a read of count bytes. A port
    // that carries a byte stream without gaps of its own (a network connection) ends the read when cut
    // says the frame is whole, skips the frames cut tells to skip, and on a broken stream ends at once,
    // hung up. A serial line reads as read() does, its replies ending by the silence after them, except
    // that while cut tells the awaited reply has begun and is not whole yet (FrameCut::awaited) no
    // silence ends it: a USB adapter hands a reply over in packets, up to its latency timer apart. Such a
    // reply ends when it is whole, then by the silence after it, or when the total budget has passed.
    // A frame cut tells to skip is dropped at once: cut is not asked about it again, so its callers can
    // count the frames skipped by the verdicts they gave.
    virtual size_t readFrame(uint8_t* bytes, size_t count, const FrameCutter& cut) {
        (void)cut;
        return read(bytes, count);
    }
    // How the frames on this port are built: RTU unless the path named a Modbus TCP gateway.
    virtual Framing framing() const { return Framing::Rtu; }
    virtual void raiseLines() = 0;                                // RTS low, then DTR high

    // For listening without a word: what has arrived, at most count bytes, without waiting. A line
    // that has gone shows as hungUp() afterwards. Ports that cannot be listened to give nothing.
    virtual size_t readAvailable(uint8_t* bytes, size_t count) {
        (void)bytes;
        (void)count;
        return 0;
    }
    // The descriptor that becomes readable when bytes arrive (or the line goes); -1 when there is
    // none to watch.
    virtual int descriptor() const { return -1; }

    // The USB adapter behind the open port and what became of its low latency; nothing for a port that
    // is no USB adapter, or is closed.
    virtual std::optional<UsbPortState> usbState() const { return std::nullopt; }
};

} // namespace olv::link
