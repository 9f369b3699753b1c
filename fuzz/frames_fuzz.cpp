// Timed bytes of a line through the monitor's framer and pairing, and through the capture that joins
// them, as the line monitor listens.
//
// Input: byte 0 picks the baud rate (1200 ... 115200) and byte 1 the reply time-out (10 ms per unit);
// then pieces, each a header byte and a count byte followed by that many bytes (1 + count % 32):
//   header bits 0-2  the pause before the piece: 0, half a character, one character, 1 ms, 1.75 ms,
//                    4 ms, 0.6 s, 3 s
//   header bit 3     the port reported a line error during the piece
//   header bit 4     the line is told to be idle at the end of the pause (idle() before the bytes)
// The input ends with a flush of the framer and the end of the capture.
//
// Invariants:
//   - framer: every byte fed is in exactly one frame, in order; a frame holds 1..256 bytes, ends at the
//     time its last byte came, and frames end in order; it is valid exactly when its CRC is; it has a
//     line error exactly when one of its bytes came with one; a broken frame holds no frame of the
//     length its function gives (in either role) with a valid CRC, from its second byte on (that one
//     would have been cut out on its own);
//   - pairing: only a valid frame without a line error is a request or a reply; a reply paired with a
//     request comes from its address with its function (or the exception of it) no earlier than it,
//     takes the registers it asked for and a latency of zero or more; a request is answered or left
//     unanswered at most once, never both, and never a broadcast; a request's registers are those its
//     bytes give;
//   - capture: fed the same, it shows the same frames with the same directions and marks, and its
//     counters count every row once.
#include "fuzz/fuzz_check.h"

#include "monitor/capture.h"
#include "monitor/frames.h"
#include "monitor/pairing.h"

#include <cstdint>
#include <vector>

using namespace olv::monitor;
using olv::fuzz::Require;

namespace {

constexpr int BaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

struct Seen {
    std::vector<uint8_t> bytes;
    Micros end = 0;
    bool crcValid = false;
    bool lineError = false;
    Direction direction = Direction::Broken;
    bool answered = false;
    bool unanswered = false;
};

bool HoldsAFrame(const std::vector<uint8_t>& bytes) {
    for (size_t i = 1; i < bytes.size(); ++i)
        for (Role role : {Role::Request, Role::Reply}) {
            const size_t length = FrameLength(role, bytes.data() + i, bytes.size() - i);
            if (length > 0 && i + length <= bytes.size() && CrcValid(bytes.data() + i, length)) return true;
        }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int baud = BaudRates[data[0] % 8];
    const int32_t timeoutMs = 10 * (data[1] % 200);
    const Micros character = CharacterTime(baud);
    const Micros pauses[] = {0, character / 2, character, 1000, 1750, 4000, 600000, 3000000};

    std::vector<Seen> frames;
    std::vector<uint8_t> fed, framed;
    std::vector<bool> errorOf; // per byte fed
    size_t frameStart = 0;     // into fed, of the next frame
    Pairer pairer(Micros{timeoutMs} * 1000, character);
    Capture capture({baud, timeoutMs, 0, 100000});

    const auto markUnanswered = [&](int64_t request) {
        Require(request >= 0 && request < static_cast<int64_t>(frames.size()), "an unanswered request was seen");
        Seen& seen = frames[static_cast<size_t>(request)];
        Require(seen.direction == Direction::Request, "only a request goes unanswered");
        Require(!seen.answered && !seen.unanswered, "a request is judged once");
        Require(seen.bytes[0] != 0, "a broadcast expects no reply");
        seen.unanswered = true;
    };

    Framer framer(baud, [&](const Frame& frame) {
        Require(frame.size >= 1 && frame.size <= MaxFrameSize, "a frame holds 1..256 bytes");
        Require(frameStart + frame.size <= fed.size(), "a frame holds bytes that were fed");
        const std::vector<uint8_t> bytes(frame.bytes, frame.bytes + frame.size);
        Require(std::equal(bytes.begin(), bytes.end(), fed.begin() + static_cast<long>(frameStart)),
                "frames hold the bytes in the order fed");
        bool error = false;
        for (size_t k = frameStart; k < frameStart + frame.size; ++k)
            error = error || errorOf[k];
        frameStart += frame.size;
        Require(frame.lineError == error, "a line error exactly when a byte came with one");
        Require(frame.crcValid == CrcValid(frame.bytes, frame.size), "valid exactly with its CRC");
        Require(frames.empty() || frame.end >= frames.back().end, "frames end in order");
        if (!frame.crcValid) Require(!HoldsAFrame(bytes), "a broken frame holds no frame further in");
        framed.insert(framed.end(), bytes.begin(), bytes.end());

        const int64_t sequence = static_cast<int64_t>(frames.size());
        const Pairing pairing = pairer.add(frame, sequence);
        if (pairing.unanswered >= 0) markUnanswered(pairing.unanswered);
        Seen seen{bytes, frame.end, frame.crcValid, frame.lineError, pairing.direction};
        Require((pairing.direction == Direction::Broken) == (!frame.crcValid || frame.lineError),
                "broken exactly when invalid or hit by a line error");
        if (pairing.direction == Direction::Request) {
            const Span span = RequestSpan(frame.bytes, frame.size);
            Require(pairing.span.start == span.start && pairing.span.count == span.count,
                    "a request takes the registers its bytes give");
        }
        if (pairing.request >= 0) {
            Require(pairing.direction == Direction::Reply, "only a reply is paired");
            Require(pairing.request < sequence, "a reply follows its request");
            Seen& request = frames[static_cast<size_t>(pairing.request)];
            Require(request.direction == Direction::Request && !request.answered && !request.unanswered,
                    "a reply answers a request not yet judged");
            Require(request.bytes[0] == bytes[0] && request.bytes[0] != 0, "a reply comes from the address asked");
            Require(bytes[1] == request.bytes[1] || bytes[1] == (request.bytes[1] | 0x80),
                    "a reply has the request's function or its exception");
            const Span span = RequestSpan(request.bytes.data(), request.bytes.size());
            Require(pairing.span.start == span.start && pairing.span.count == span.count,
                    "a reply takes the registers its request asked for");
            Require(pairing.latency >= 0, "a latency is never negative");
            request.answered = true;
        }
        frames.push_back(std::move(seen));
    });

    Micros now = 1700000000LL * 1000000;
    size_t at = 2;
    while (at + 2 <= size) {
        const uint8_t header = data[at];
        const size_t count = 1 + data[at + 1] % 32;
        at += 2;
        const size_t n = std::min(count, size - at);
        if (n == 0) break;
        now += pauses[header & 7] + static_cast<Micros>(n) * character;
        const bool lineError = header & 0x08;
        if (header & 0x10) {
            const Micros quiet = now - static_cast<Micros>(n) * character;
            framer.idle(quiet);
            if (!framer.pending()) {
                const int64_t expired = pairer.expire(quiet);
                if (expired >= 0) markUnanswered(expired);
            }
            capture.idle(quiet);
        }
        fed.insert(fed.end(), data + at, data + at + n);
        errorOf.insert(errorOf.end(), n, lineError);
        framer.feed(data + at, n, now, lineError);
        capture.feed(data + at, n, now, lineError);
        at += n;
    }
    framer.flush();
    pairer.forget();
    capture.end();
    Require(framed == fed, "every byte fed is in exactly one frame");

    // The capture, fed the same, shows the same.
    Require(capture.endSequence() == static_cast<int64_t>(frames.size()), "the capture shows every frame");
    Counts counted;
    for (size_t s = 0; s < frames.size(); ++s) {
        const Row* row = capture.row(static_cast<int64_t>(s));
        const Seen& seen = frames[s];
        Require(row && row->bytes == seen.bytes && row->end == seen.end, "the capture's row is the frame");
        Require(row->direction == seen.direction && row->crcValid == seen.crcValid &&
                    row->lineError == seen.lineError,
                "the capture's row is judged as the frame");
        Require(row->unanswered == seen.unanswered, "the capture marks the same requests unanswered");
        if (seen.answered) Require(row->latency >= 0, "an answered request has its latency");
        ++counted.frames;
        if (row->direction == Direction::Broken) ++counted.crcErrors;
        if (row->unanswered) ++counted.unanswered;
    }
    const Counts& total = capture.counters().total;
    Require(total.frames == counted.frames && total.crcErrors == counted.crcErrors &&
                total.unanswered == counted.unanswered,
            "the counters count every row once");
    return 0;
}
