// Any bytes as what a Modbus TCP gateway sends back to one read or write: cut by the framer as the
// network port reads a stream, checked by the reply checker, and passed through the master over an
// in-memory port whose frames go on to the line monitor's table of own exchanges.
//
// Input: byte 0 holds switches, byte 1 the register count, byte 2 the unit (address), byte 3 the
// buffer's capacity (64 + byte 3); the rest (at most 1024 bytes) is the stream.
//   bit 0  a write (function 16) instead of a read (function 3)
//   bit 1  put a header of the awaited transaction (1) at the start of the stream, with the length of
//          a normal reply, so mutations reach the checks after the header
//   bit 2  the address above 255 (byte 2 + 256), which no unit byte can match
//
// Invariants:
//   - the cut of a stream's first n bytes: More asks for more than n, Whole and Skip name a frame of
//     8..260 bytes that the first six bytes give (its length field plus six) and that lies within what
//     was received (Whole) and the capacity, Broken takes all there is; cutting more of the same stream
//     never contradicts a cut already made (a frame is self-delimiting);
//   - the reply a reader ends with (frames of other transactions skipped) is a frame of the awaited
//     transaction with protocol 0, or what arrived before the stream broke or ended;
//   - the checker's flags are 0 exactly for a frame that is byte for byte the normal reply (rebuilt
//     here from the frame format); NoReply exactly for nothing; ExceptionReply exactly for the function
//     plus 0x80, its code the byte after it; the code is 0 otherwise;
//   - the master writes the frame the builder makes, gives the checker's flags for what its port read,
//     and unpacks a read's words from the reply's bytes; its observer sees that exchange, and the
//     monitor keeps it as two rows (or one, with nothing read) counted once each.
#include "fuzz/fuzz_check.h"

#include "link/link_settings.h"
#include "link/modbus_tcp_frame.h"
#include "link/port.h"
#include "link/port_master.h"
#include "link/rtu_frame.h"
#include "monitor/capture.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

using namespace olv::link;
using olv::fuzz::Require;

namespace {

constexpr size_t MaxStream = 1024;

// A reader of a byte stream as the network port is: cut, skip the frames of other transactions,
// stop at a broken stream or when the stream (the time-out) ends. Gives the reply's bytes.
std::vector<uint8_t> ReadReply(const std::vector<uint8_t>& stream, size_t capacity, const FrameCutter& cut,
                               bool& broken) {
    std::vector<uint8_t> reply;
    size_t at = 0;
    broken = false;
    for (;;) {
        const FrameCut frame = cut(reply.data(), reply.size());
        if (frame.kind == FrameCut::Whole) {
            reply.resize(std::min(frame.length, reply.size()));
            return reply;
        }
        if (frame.kind == FrameCut::Broken) {
            broken = true;
            return reply;
        }
        if (frame.kind == FrameCut::Skip) {
            const size_t drop = std::min(frame.length, reply.size());
            reply.erase(reply.begin(), reply.begin() + static_cast<long>(drop));
            at = std::min(stream.size(), at + (frame.length - drop));
            continue;
        }
        if (reply.size() >= capacity || at == stream.size()) return reply;
        const size_t want = std::clamp(frame.length, reply.size() + 1, capacity) - reply.size();
        const size_t n = std::min(want, stream.size() - at);
        reply.insert(reply.end(), stream.begin() + static_cast<long>(at), stream.begin() + static_cast<long>(at + n));
        at += n;
    }
}

// The stream over an in-memory port: readFrame reads it as ReadReply does.
class StreamPort : public Port {
  public:
    explicit StreamPort(const std::vector<uint8_t>& stream) : stream_(stream) {}
    bool open(const std::string&, const LineSettings&, std::string&) override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    void purge() override {}
    void setReadTimeouts(const ReadTimeouts&) override {}
    uint32_t takeLineErrors() override { return 0; }
    size_t write(const uint8_t* bytes, size_t count) override {
        written.assign(bytes, bytes + count);
        return count;
    }
    size_t read(uint8_t*, size_t) override { return 0; }
    size_t readFrame(uint8_t* bytes, size_t count, const FrameCutter& cut) override {
        bool broken = false;
        read_ = ReadReply(stream_, count, cut, broken);
        Require(read_.size() <= count, "the reader stays within the buffer");
        if (!read_.empty()) std::memcpy(bytes, read_.data(), read_.size());
        return read_.size();
    }
    Framing framing() const override { return Framing::ModbusTcp; }
    void raiseLines() override {}

    std::vector<uint8_t> written;
    const std::vector<uint8_t>& readBytes() const { return read_; }

  private:
    std::vector<uint8_t> stream_;
    std::vector<uint8_t> read_;
};

uint16_t Word(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void CheckCuts(const std::vector<uint8_t>& stream, uint16_t transaction, size_t capacity) {
    FrameCut first{};
    bool decided = false;
    for (size_t n = 0; n <= std::min<size_t>(stream.size(), 300); ++n) {
        const FrameCut cut = CutModbusTcpReply(stream.data(), n, transaction, capacity);
        switch (cut.kind) {
        case FrameCut::More:
            Require(cut.length > n, "More asks for more than there is");
            Require(!decided, "a frame once cut stays cut");
            if (n >= MbapPrefixLength) Require(cut.length == MbapPrefixLength + Word(&stream[4]), "More asks for the frame");
            break;
        case FrameCut::Whole:
        case FrameCut::Skip:
            Require(n >= MbapPrefixLength, "a frame is cut only once its header is in");
            Require(cut.length >= 8 && cut.length <= MaxModbusTcpFrame, "a frame is 8..260 bytes");
            Require(cut.length == MbapPrefixLength + Word(&stream[4]), "the length field gives the frame");
            Require(Word(&stream[2]) == 0, "only protocol 0 is framed");
            Require((cut.kind == FrameCut::Whole) == (Word(&stream[0]) == transaction),
                    "the awaited transaction is taken, any other skipped");
            if (cut.kind == FrameCut::Whole)
                Require(cut.length <= n && cut.length <= capacity, "a whole frame lies within the buffer");
            if (decided) Require(cut.kind == first.kind && cut.length == first.length, "a cut never changes");
            if (cut.kind == FrameCut::Skip || cut.length <= n) {
                first = cut;
                decided = true;
            }
            break;
        case FrameCut::Broken:
            Require(cut.length == n, "a broken stream takes what there is");
            Require(n >= MbapPrefixLength, "six bytes are needed to judge a header");
            if (decided) Require(first.kind == FrameCut::Broken, "a cut never changes");
            first = cut;
            decided = true;
            break;
        }
    }
}

// Whether the reply is exactly the normal reply: header of the transaction, protocol 0, the length of
// the PDU plus the unit, the unit, the function, then any bytes.
bool ExactlyRight(const std::vector<uint8_t>& reply, uint16_t transaction, int address, uint8_t function,
                  size_t pdu) {
    if (reply.size() != MbapHeaderLength + pdu || address > 255) return false;
    std::vector<uint8_t> expected(reply.size());
    BuildModbusTcpFrame(transaction, address, reply.data() + MbapHeaderLength, pdu, expected.data());
    expected[MbapHeaderLength] = function;
    return expected == reply;
}

void CheckFlags(ResultFlags flags, uint8_t code, const std::vector<uint8_t>& reply, uint16_t transaction,
                int address, uint8_t function, size_t pdu) {
    Require((flags == 0) == ExactlyRight(reply, transaction, address, function, pdu),
            "flags 0 exactly for the normal reply");
    Require(((flags & NoReply) != 0) == reply.empty(), "NoReply exactly for nothing");
    const bool exception = reply.size() > MbapHeaderLength && reply[MbapHeaderLength] == (function | 0x80);
    Require(((flags & ExceptionReply) != 0) == exception, "ExceptionReply exactly for function + 0x80");
    Require(code == (exception && reply.size() > MbapHeaderLength + 1 ? reply[MbapHeaderLength + 1] : 0),
            "the exception code is the byte after the function, else 0");
    Require((flags & 0x80) == 0, "bit 0x80 is never set");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint8_t switches = data[0];
    const bool write = switches & 0x01;
    const int count = 1 + data[1] % (write ? MaxWriteCount : MaxReadCount);
    const int address = data[2] + ((switches & 0x04) ? 256 : 0);
    const size_t capacity = 64 + size_t{data[3]};
    std::vector<uint8_t> stream(data + 4, data + std::min(size, 4 + MaxStream));
    const uint8_t function = write ? FunctionWriteMultiple : FunctionReadHolding;
    const size_t pdu = write ? 5 : static_cast<size_t>(2 * count + 2);
    const uint16_t transaction = 1; // the master's first
    if ((switches & 0x02) && stream.size() >= MbapHeaderLength) {
        const uint8_t header[MbapPrefixLength] = {0, transaction, 0, 0, 0, static_cast<uint8_t>(pdu + 1)};
        std::memcpy(stream.data(), header, sizeof header);
    }

    CheckCuts(stream, transaction, capacity);
    const FrameCutter cutter = [&](const uint8_t* bytes, size_t n) {
        return CutModbusTcpReply(bytes, n, transaction, capacity);
    };
    bool broken = false;
    const std::vector<uint8_t> reply = ReadReply(stream, capacity, cutter, broken);
    if (!broken && reply.size() >= MbapPrefixLength && CutModbusTcpReply(reply.data(), reply.size(), transaction,
                                                                         capacity).kind == FrameCut::Whole) {
        Require(Word(reply.data()) == transaction && Word(&reply[2]) == 0, "the reply is of the transaction");
        Require(reply.size() == MbapPrefixLength + Word(&reply[4]), "the reply is one whole frame");
    }
    {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[reply.size() ? reply.size() : 1]);
        if (!reply.empty()) std::memcpy(exact.get(), reply.data(), reply.size());
        uint8_t code = 0xEE;
        const ResultFlags flags = CheckModbusTcpReply(reply.empty() ? nullptr : exact.get(), reply.size(),
                                                      transaction, address, function, pdu, code);
        CheckFlags(flags, code, reply, transaction, address, function, pdu);
    }

    // The master, its observer and the monitor's table of own exchanges.
    LinkSettings settings;
    settings.address = address;
    StreamPort port(stream);
    PortMaster master(port, settings);
    olv::monitor::Capture capture({19200, 1000, 0, 16});
    int observed = 0;
    master.setObserver([&](const ExchangeRecord& record) {
        ++observed;
        Require(record.framing == Framing::ModbusTcp, "the exchange is a Modbus TCP one");
        Require(record.replyLength == port.readBytes().size() &&
                    std::equal(record.reply, record.reply + record.replyLength, port.readBytes().begin()),
                "the observer sees what was read");
        capture.addOwn(record, 1000000, 1000000 + 5000);
    });
    std::vector<uint16_t> values(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        values[static_cast<size_t>(i)] = static_cast<uint16_t>(0x5A5A ^ i);
    std::vector<uint8_t> rtu(FrameBufferSize);
    rtu.resize(write ? BuildWriteRequest(address, 0x0400, count, values.data(), rtu.data())
                     : BuildReadRequest(address, 15, count, rtu.data()));
    uint8_t code = 0xEE;
    const ResultFlags flags = write ? master.writeMultipleRegisters(0x0400, count, values.data(), code)
                                    : master.readHoldingRegisters(15, count, values.data(), code);
    std::vector<uint8_t> request(MaxModbusTcpFrame);
    request.resize(BuildModbusTcpFrame(transaction, address, rtu.data() + 1, rtu.size() - 3, request.data()));
    Require(port.written == request, "the master writes the frame the builder makes");
    const std::vector<uint8_t>& read = port.readBytes();
    CheckFlags(flags, code, read, transaction, address, function, pdu);
    if (!write) {
        for (int i = 0; i < count; ++i) {
            const size_t at = MbapHeaderLength + 2 + 2 * static_cast<size_t>(i);
            const uint16_t expected =
                static_cast<uint16_t>((at < read.size() ? read[at] << 8 : 0) + (at + 1 < read.size() ? read[at + 1] : 0));
            Require(values[static_cast<size_t>(i)] == expected, "word i is bytes 9+2i and 10+2i, 0 where missing");
        }
    }
    Require(observed == 1, "the observer is told once");
    const int64_t rows = capture.endSequence();
    Require(rows == (read.empty() ? 1 : 2), "the monitor keeps the request and what came back");
    Require(capture.counters().total.frames == rows, "each row is counted once");
    const olv::monitor::Row* first = capture.row(0);
    Require(first && first->bytes == request && first->hasResult && first->flags == flags,
            "the request row holds the request and the result");
    Require(first->unanswered == read.empty(), "a request is unanswered exactly when nothing came back");
    if (!read.empty()) Require(capture.row(1)->bytes == read, "the reply row holds what was read");
    return 0;
}
