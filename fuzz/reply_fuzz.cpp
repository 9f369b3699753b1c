// Any bytes as the reply to a read of N registers or to a write, checked by the pure reply checker and
// by the RTU master over an in-memory port.
//
// Input: byte 0 holds switches, byte 1 the register count, byte 2 the address, byte 3 the line errors;
// the rest (at most 300 bytes) is the reply.
//   bit 0  a write (function 16) instead of a read (function 3)
//   bit 1  put the right CRC at the place of a full reply, so mutations get past the CRC check
//   bit 2  parity on (odd), so the line errors count
//   bit 3  an address above 255 (byte 2 + 256), which no reply byte can match
//   bit 4  trace the exchange (into /dev/null)
//   bit 5  put the expected address and function in front, so mutations reach the later checks
//
// Invariants: the flags are 0 only for a reply that is exactly right (the expected reply is rebuilt
// here from the frame format and compared byte for byte); the exception code is non-zero only with
// ExceptionReply and is then reply byte 2; bit 0x80 is never set; the master gives the same result as
// the checker, writes the request the frame builder makes and unpacks the words from the reply bytes.
// The reply is handed over in a buffer of exactly its size, so AddressSanitizer sees any byte read
// past it; the master's value array has exactly N words.
#include "fuzz/fuzz_check.h"

#include "link/crc16.h"
#include "link/link_settings.h"
#include "link/port.h"
#include "link/port_master.h"
#include "link/result_flags.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

using namespace olv::link;
using olv::fuzz::Require;

namespace {

constexpr size_t MaxReply = 300;

// A port that returns one scripted reply to the first read and records what was written.
class MemoryPort : public Port {
  public:
    MemoryPort(const std::vector<uint8_t>& reply, uint32_t lineErrors) : reply_(reply), errors_(lineErrors) {}

    bool open(const std::string&, const LineSettings&, std::string&) override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    void purge() override {}
    void setReadTimeouts(const ReadTimeouts&) override {}
    uint32_t takeLineErrors() override { return readDone_ ? std::exchange(errors_, 0u) : 0u; }
    size_t write(const uint8_t* bytes, size_t count) override {
        written.assign(bytes, bytes + count);
        return count;
    }
    size_t read(uint8_t* bytes, size_t count) override {
        readDone_ = true;
        const size_t n = std::min(count, reply_.size());
        if (n > 0) std::memcpy(bytes, reply_.data(), n);
        return n;
    }
    void raiseLines() override {}

    std::vector<uint8_t> written;

  private:
    std::vector<uint8_t> reply_;
    uint32_t errors_ = 0;
    bool readDone_ = false;
};

// True when `reply` is exactly the normal reply the frame format asks for: the right length, the
// address and function, any content in the fields the master ignores (byte count, data, echo), and
// the CRC of all that; and, with parity on, no line error that counts.
bool ExactlyRight(bool write, const std::vector<uint8_t>& reply, int count, int address, int parity,
                  uint32_t lineErrors) {
    if (parity != 0 && (write ? lineErrors != 0 : (lineErrors & LineParity) != 0)) return false;
    const size_t length = write ? 8 : static_cast<size_t>(2 * count + 5);
    if (reply.size() != length || address > 255) return false;
    std::vector<uint8_t> expected(reply.begin(), reply.end() - 2);
    expected[0] = static_cast<uint8_t>(address);
    expected[1] = write ? FunctionWriteMultiple : FunctionReadHolding;
    const uint16_t crc = Crc16(expected.data(), static_cast<int>(expected.size()) - 1);
    expected.push_back(static_cast<uint8_t>(crc & 0xFF));
    expected.push_back(static_cast<uint8_t>(crc >> 8));
    return expected == reply;
}

void CheckResult(ResultFlags flags, uint8_t exceptionCode, const std::vector<uint8_t>& reply, bool write) {
    Require((flags & 0x80) == 0, "bit 0x80 is never set");
    const uint8_t exceptionFunction = (write ? FunctionWriteMultiple : FunctionReadHolding) + ExceptionBit;
    const bool exception = reply.size() >= 2 && reply[1] == exceptionFunction;
    Require(((flags & ExceptionReply) != 0) == exception, "ExceptionReply exactly when byte 1 says so");
    if (exceptionCode != 0) Require((flags & ExceptionReply) != 0, "exception code only with ExceptionReply");
    if (flags & ExceptionReply)
        Require(exceptionCode == (reply.size() > 2 ? reply[2] : 0), "exception code is reply byte 2");
    Require(((flags & NoReply) != 0) == reply.empty(), "NoReply exactly when nothing arrived");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint8_t switches = data[0];
    const bool write = switches & 0x01;
    const bool fixCrc = switches & 0x02;
    const int parity = (switches & 0x04) ? 1 : 0;
    const int address = data[2] + ((switches & 0x08) ? 256 : 0);
    const bool trace = switches & 0x10;
    const bool header = switches & 0x20;
    const int maxCount = write ? MaxWriteCount : MaxReadCount;
    const int count = 1 + data[1] % maxCount;
    const uint32_t lineErrors = data[3] & (LineOverrun | LineParity | LineFraming | LineBreak);

    std::vector<uint8_t> reply(data + 4, data + std::min(size, 4 + MaxReply));
    if (header && reply.size() >= 2) {
        reply[0] = static_cast<uint8_t>(address);
        reply[1] = write ? FunctionWriteMultiple : FunctionReadHolding;
    }
    const size_t fullLength = write ? 8 : static_cast<size_t>(2 * count + 5);
    if (fixCrc && reply.size() >= fullLength) {
        const uint16_t crc = Crc16(reply.data(), static_cast<int>(fullLength) - 3);
        reply[fullLength - 2] = static_cast<uint8_t>(crc & 0xFF);
        reply[fullLength - 1] = static_cast<uint8_t>(crc >> 8);
    }
    const uint8_t function = write ? FunctionWriteMultiple : FunctionReadHolding;

    // The pure checker, on a heap buffer of exactly the reply's size.
    {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[reply.size() ? reply.size() : 1]);
        if (!reply.empty()) std::memcpy(exact.get(), reply.data(), reply.size());
        uint8_t exceptionCode = 0xEE;
        const ResultFlags flags = CheckReply(function, reply.empty() ? nullptr : exact.get(), reply.size(),
                                             count, address, parity, lineErrors, exceptionCode);
        CheckResult(flags, exceptionCode, reply, write);
        Require((flags == 0) == ExactlyRight(write, reply, count, address, parity, lineErrors),
                "flags 0 exactly for the right reply");
    }

    // The master over the in-memory port: it reads at most 2N+7 (read) or 8 (write) bytes.
    LinkSettings settings;
    settings.address = address;
    settings.parity = parity;
    settings.traceEnabled = trace ? 1 : 0;
    settings.traceFileName = "/dev/null";
    const size_t asked = write ? 8 : static_cast<size_t>(2 * count + 7);
    const std::vector<uint8_t> taken(reply.begin(), reply.begin() + std::min(reply.size(), asked));
    MemoryPort port(reply, lineErrors);
    PortMaster master(port, settings);
    uint8_t exceptionCode = 0xEE;
    std::unique_ptr<uint16_t[]> values(new uint16_t[count]);
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<uint16_t>(0xA5A5 ^ i);
    std::vector<uint8_t> request(FrameBufferSize);
    ResultFlags flags;
    if (write) {
        flags = master.writeMultipleRegisters(0x0400, count, values.get(), exceptionCode);
        const size_t length = BuildWriteRequest(address, 0x0400, count, values.get(), request.data());
        request.resize(length);
        for (int i = 0; i < count; ++i)
            Require(values[i] == static_cast<uint16_t>(0xA5A5 ^ i), "a write leaves the values as they were");
    } else {
        flags = master.readHoldingRegisters(15, count, values.get(), exceptionCode);
        request.resize(BuildReadRequest(address, 15, count, request.data()));
        for (int i = 0; i < count; ++i) {
            const size_t hi = 3 + 2 * static_cast<size_t>(i);
            const uint16_t expected = static_cast<uint16_t>((hi < taken.size() ? taken[hi] << 8 : 0) +
                                                            (hi + 1 < taken.size() ? taken[hi + 1] : 0));
            Require(values[i] == expected, "word i is bytes 3+2i and 4+2i of the reply, 0 where missing");
        }
    }
    Require(port.written == request, "the master writes the request the frame builder makes");
    CheckResult(flags, exceptionCode, taken, write);
    Require((flags == 0) == ExactlyRight(write, taken, count, address, parity, lineErrors),
            "the master's flags are 0 exactly for the right reply");
    return 0;
}
