#include "monitor/frames.h"

#include "link/crc16.h"

#include <algorithm>
#include <cstring>

namespace olv::monitor {

namespace {

// How long the frames of a function are, as a request and as a reply: a fixed length, or a byte
// count at countAt plus extra bytes around it (0 length and 0 extra: unknown).
struct Length {
    uint8_t fixed = 0;
    uint8_t countAt = 0;
    uint8_t extra = 0;
};

struct Shape {
    uint8_t function;
    Length request;
    Length reply;
};

// The public Modbus functions whose frames carry their own length. Others end by silence.
constexpr Shape Shapes[] = {
    {1, {8}, {0, 2, 5}},          // read coils
    {2, {8}, {0, 2, 5}},          // read discrete inputs
    {3, {8}, {0, 2, 5}},          // read holding registers
    {4, {8}, {0, 2, 5}},          // read input registers
    {5, {8}, {8}},                // write single coil
    {6, {8}, {8}},                // write single register
    {7, {4}, {5}},                // read exception status
    {8, {8}, {8}},                // diagnostics (echo)
    {11, {4}, {8}},               // get comm event counter
    {12, {4}, {0, 2, 5}},         // get comm event log
    {15, {0, 6, 9}, {8}},         // write multiple coils
    {16, {0, 6, 9}, {8}},         // write multiple registers
    {17, {4}, {0, 2, 5}},         // report server id
    {20, {0, 2, 5}, {0, 2, 5}},   // read file record
    {21, {0, 2, 5}, {0, 2, 5}},   // write file record
    {22, {10}, {10}},             // mask write register
    {23, {0, 10, 13}, {0, 2, 5}}, // read/write multiple registers
};

size_t LengthOf(const Length& length, const uint8_t* bytes, size_t count) {
    if (length.fixed > 0) return length.fixed;
    if (length.extra == 0 || count <= length.countAt) return 0;
    return length.extra + size_t{bytes[length.countAt]};
}

// A frame of a function whose length its byte count gives, before that byte has come.
bool LengthToCome(Role role, const uint8_t* bytes, size_t count) {
    if (count < 2 || (bytes[1] & 0x80)) return false;
    for (const Shape& shape : Shapes) {
        const Length& length = role == Role::Request ? shape.request : shape.reply;
        if (shape.function == bytes[1])
            return length.fixed == 0 && length.extra > 0 && count <= length.countAt;
    }
    return false;
}

} // namespace

Micros CharacterTime(int baudRate) {
    if (baudRate <= 0) baudRate = 19200;
    return (11'000'000 + baudRate / 2) / baudRate;
}

Micros FrameSilence(int baudRate) {
    if (baudRate <= 0 || baudRate > 19200) return 1750;
    return (35'000'000 * 11 / 10 + baudRate / 2) / baudRate;
}

size_t FrameLength(Role role, const uint8_t* bytes, size_t count) {
    if (count < 2) return 0;
    const uint8_t function = bytes[1];
    if (function & 0x80) return role == Role::Reply ? 5 : 0; // an exception reply
    for (const Shape& shape : Shapes)
        if (shape.function == function)
            return LengthOf(role == Role::Request ? shape.request : shape.reply, bytes, count);
    return 0;
}

bool CrcValid(const uint8_t* bytes, size_t count) {
    if (count < 4) return false;
    const uint16_t crc = link::Crc16(bytes, static_cast<int>(count) - 3);
    return bytes[count - 2] == static_cast<uint8_t>(crc) &&
           bytes[count - 1] == static_cast<uint8_t>(crc >> 8);
}

Framer::Framer(int baudRate, Sink sink)
    : sink_(std::move(sink)), character_(CharacterTime(baudRate)), silence_(FrameSilence(baudRate)) {}

void Framer::feed(const uint8_t* bytes, size_t count, Micros at, bool lineError) {
    for (size_t k = 0; k < count; ++k) {
        const Micros time = at - static_cast<Micros>(count - 1 - k) * character_;
        if (size_ > 0 && time - times_[size_ - 1] >= pause()) endPending();
        push(bytes[k], time, lineError);
    }
}

void Framer::idle(Micros now) {
    if (size_ > 0 && now - times_[size_ - 1] >= pause()) endPending();
}

Micros Framer::pause() const {
    // An address alone, the start of a frame whose length is known and not reached yet, or of one
    // whose byte count is still to come: such a frame is not split at a gap between two packets.
    bool incomplete = size_ < 2;
    for (Role role : {Role::Request, Role::Reply}) {
        const size_t length = FrameLength(role, bytes_.data(), size_);
        incomplete = incomplete || (length > size_ && length <= MaxFrameSize) ||
                     LengthToCome(role, bytes_.data(), size_);
    }
    return incomplete ? std::max(silence_, IncompleteFrameWait) : silence_;
}

void Framer::flush() {
    if (size_ > 0) endPending();
}

void Framer::push(uint8_t byte, Micros at, bool lineError) {
    if (size_ == MaxFrameSize) endPending(); // no frame is longer: what is there is broken
    bytes_[size_] = byte;
    times_[size_] = at;
    errors_[size_] = lineError;
    ++size_;
    for (Role role : {Role::Request, Role::Reply}) {
        if (FrameLength(role, bytes_.data(), size_) == size_ && CrcValid(bytes_.data(), size_)) {
            take(size_, true);
            drop(size_);
            return;
        }
    }
}

void Framer::endPending() {
    while (size_ > 0) {
        // A frame of a function whose length its bytes do not give.
        if (CrcValid(bytes_.data(), size_)) {
            take(size_, true);
            drop(size_);
            return;
        }
        // The earliest frame of known length further in (noise or a broken frame glued in front of it).
        size_t start = 0;
        for (size_t i = 1; i < size_ && start == 0; ++i) {
            for (Role role : {Role::Request, Role::Reply}) {
                const size_t length = FrameLength(role, bytes_.data() + i, size_ - i);
                if (length > 0 && i + length <= size_ && CrcValid(bytes_.data() + i, length)) start = i;
            }
        }
        if (start == 0) {
            take(size_, false);
            drop(size_);
            return;
        }
        // What comes before it may be a frame of its own whose length its bytes do not give.
        take(start, CrcValid(bytes_.data(), start));
        drop(start);
        // The rest again, as it arrived: the frame found is cut by its length, and so are any after it.
        std::array<uint8_t, MaxFrameSize> bytes;
        std::array<Micros, MaxFrameSize> times;
        const std::bitset<MaxFrameSize> errors = errors_;
        const size_t count = size_;
        std::copy_n(bytes_.begin(), count, bytes.begin());
        std::copy_n(times_.begin(), count, times.begin());
        size_ = 0;
        for (size_t k = 0; k < count; ++k)
            push(bytes[k], times[k], errors[k]);
    }
}

void Framer::take(size_t count, bool crcValid) {
    bool lineError = false;
    for (size_t k = 0; k < count; ++k)
        lineError = lineError || errors_[k];
    sink_(Frame{bytes_.data(), count, times_[count - 1], crcValid, lineError});
}

void Framer::drop(size_t count) {
    std::copy(bytes_.begin() + static_cast<long>(count), bytes_.begin() + static_cast<long>(size_),
              bytes_.begin());
    std::copy(times_.begin() + static_cast<long>(count), times_.begin() + static_cast<long>(size_),
              times_.begin());
    errors_ >>= count;
    size_ -= count;
}

} // namespace olv::monitor
