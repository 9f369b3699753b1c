#include "monitor/capture.h"

#include "monitor/pcap.h"

#include "device/register_map.h"

#include <algorithm>
#include <tuple>

namespace olv::monitor {

namespace {

constexpr size_t MbapHeader = 6; // transaction, protocol, length; the unit follows

std::vector<uint16_t> WordsAt(const uint8_t* bytes, size_t size, size_t at, int count) {
    std::vector<uint16_t> words;
    for (int i = 0; i < count && at + 2 * i + 1 < size; ++i)
        words.push_back(static_cast<uint16_t>(bytes[at + 2 * i] << 8 | bytes[at + 2 * i + 1]));
    return words;
}

} // namespace

const uint8_t* Row::adu() const {
    return framing == link::Framing::ModbusTcp && bytes.size() > MbapHeader ? bytes.data() + MbapHeader
                                                                            : bytes.data();
}

size_t Row::aduSize() const {
    if (framing == link::Framing::ModbusTcp) return bytes.size() > MbapHeader ? bytes.size() - MbapHeader : 0;
    return crcValid ? bytes.size() - 2 : bytes.size();
}

int Row::address() const {
    return aduSize() > 0 ? adu()[0] : -1;
}

Capture::Capture(const Settings& settings)
    : settings_(settings), capacity_(static_cast<int64_t>(std::max<size_t>(settings.capacity, 1))),
      line_(settings.baudRate, [this](const Frame& f) { lineFrame(f); }),
      pairer_(Micros{std::max<int32_t>(settings.timeoutMs, 0)} * 1000, CharacterTime(settings.baudRate)),
      own_(settings.baudRate, [this](const Frame& f) { ownFrame(f); }) {
    for (DecodeContext& context : contexts_)
        context.byteOrder = settings.byteOrder;
}

void Capture::setByteOrder(int byteOrder) {
    settings_.byteOrder = byteOrder;
    for (size_t a = 0; a < contexts_.size(); ++a)
        if (!orderSeen_[a]) contexts_[a].byteOrder = byteOrder;
}

Row* Capture::rowAt(int64_t sequence) {
    if (sequence < firstSequence() || sequence >= end_) return nullptr;
    return &rows_[static_cast<size_t>(sequence % capacity_)];
}

const Row* Capture::row(int64_t sequence) const {
    return const_cast<Capture*>(this)->rowAt(sequence);
}

int64_t Capture::takeChanged() {
    const int64_t changed = changed_;
    changed_ = -1;
    return changed;
}

Row& Capture::append(const Frame& frame, Source source, Direction direction) {
    if (rows_.size() < static_cast<size_t>(capacity_)) rows_.emplace_back();
    Row& row = rows_[static_cast<size_t>(end_ % capacity_)];
    ++end_;
    // The slot of the row that left the ring is reused, its byte buffer with it.
    row.bytes.assign(frame.bytes, frame.bytes + frame.size);
    row.end = frame.end;
    row.source = source;
    row.framing = link::Framing::Rtu;
    row.direction = direction;
    row.crcValid = frame.crcValid;
    row.lineError = frame.lineError;
    row.unanswered = false;
    row.latency = -1;
    row.span = Span{};
    row.hasResult = false;
    row.flags = 0;
    row.exceptionCode = 0;
    row.context = DecodeContext{settings_.byteOrder, -1};
    if (spooling_) AppendPcapRecord(spool_, frame.end, frame.bytes, frame.size);
    return row;
}

void Capture::count(const Row& row) {
    const int address = row.address();
    Counts* own = address >= 0 ? &counters_.byAddress[static_cast<size_t>(address)] : nullptr;
    ++counters_.total.frames;
    if (row.direction == Direction::Broken) {
        ++counters_.total.crcErrors;
        if (own && own->frames > 0) ++own->crcErrors;
        return;
    }
    ++own->frames;
    if (row.direction == Direction::Reply && row.aduSize() >= 2 && (row.adu()[1] & 0x80)) {
        ++counters_.total.exceptions;
        ++own->exceptions;
    }
}

void Capture::markUnanswered(int64_t sequence) {
    Row* request = rowAt(sequence);
    // The request's address is needed for its counter; one that has left the ring counts in the total.
    ++counters_.total.unanswered;
    if (!request) return;
    request->unanswered = true;
    if (request->address() >= 0) ++counters_.byAddress[static_cast<size_t>(request->address())].unanswered;
    changed_ = changed_ < 0 ? sequence : std::min(changed_, sequence);
}

void Capture::learnFromReply(Row& reply, int64_t requestSequence) {
    if (reply.span.start < 0 || reply.address() < 0) return;
    const uint8_t* adu = reply.adu();
    std::vector<uint16_t> words;
    if (adu[1] == 3) {
        words = WordsAt(adu, reply.aduSize(), 3, reply.span.count);
    } else if (adu[1] == 6 || adu[1] == 16) {
        // An accepted write: the values are in its request.
        const Row* request = rowAt(requestSequence);
        if (!request || request->aduSize() < 2) return;
        words = WordsAt(request->adu(), request->aduSize(), adu[1] == 6 ? 4 : 7, reply.span.count);
    } else {
        return;
    }
    const size_t address = static_cast<size_t>(reply.address());
    Learn(reply.span.start, words.data(), static_cast<int>(words.size()), contexts_[address]);
    if (reply.span.start <= device::reg::ByteOrder &&
        device::reg::ByteOrder < reply.span.start + static_cast<int>(words.size()))
        orderSeen_[address] = true;
    reply.context = contexts_[address];
}

void Capture::lineFrame(const Frame& frame) {
    const Pairing pairing = pairer_.add(frame, end_);
    if (pairing.unanswered >= 0) markUnanswered(pairing.unanswered);
    Row& row = append(frame, Source::Line, pairing.direction);
    row.span = pairing.span;
    row.latency = pairing.latency;
    const int address = row.address();
    if (address >= 0) row.context = contexts_[static_cast<size_t>(address)];
    if (pairing.request >= 0) {
        if (Row* request = rowAt(pairing.request)) {
            request->latency = pairing.latency;
            changed_ = changed_ < 0 ? pairing.request : std::min(changed_, pairing.request);
        }
        learnFromReply(row, pairing.request);
    }
    count(row);
}

void Capture::feed(const uint8_t* bytes, size_t count, Micros at, bool lineError) {
    line_.feed(bytes, count, at, lineError);
}

void Capture::idle(Micros now) {
    line_.idle(now);
    // A reply that has begun is still pending in the framer; its request waits for it.
    if (line_.pending()) return;
    const int64_t expired = pairer_.expire(now);
    if (expired >= 0) markUnanswered(expired);
}

void Capture::end() {
    line_.flush();
    pairer_.forget();
}

void Capture::addRecord(Micros time, const uint8_t* bytes, size_t size) {
    if (size == 0) {
        line_.flush();
        pairer_.forget();
        return;
    }
    line_.feed(bytes, size, time);
    line_.flush();
}

void Capture::ownFrame(const Frame& frame) {
    if (!ownReplying_) {
        Row& row = append(frame, Source::Own, frame.crcValid ? Direction::Request : Direction::Broken);
        row.span = RequestSpan(frame.bytes, frame.size);
        if (row.address() >= 0) row.context = contexts_[static_cast<size_t>(row.address())];
        if (ownRequest_ < 0) ownRequest_ = end_ - 1;
        count(row);
        return;
    }
    const bool reply = frame.crcValid && !frame.lineError && !ownReplied_;
    Row& row = append(frame, Source::Own, reply ? Direction::Reply : Direction::Broken);
    if (reply) {
        ownReplied_ = true;
        if (Row* request = rowAt(ownRequest_)) {
            row.span = request->span;
            row.latency = frame.end - static_cast<Micros>(frame.size) * own_.characterTime() - request->end;
            request->latency = row.latency;
            changed_ = changed_ < 0 ? ownRequest_ : std::min(changed_, ownRequest_);
            if (row.address() == request->address()) learnFromReply(row, ownRequest_);
        }
    }
    if (row.address() >= 0 && !reply) row.context = contexts_[static_cast<size_t>(row.address())];
    count(row);
}

void Capture::addOwn(const link::ExchangeRecord& record, Micros sent, Micros ended) {
    ownRequest_ = -1;
    ownReplied_ = false;
    if (record.framing == link::Framing::Rtu) {
        ownReplying_ = false;
        own_.feed(record.request, record.requestLength,
                  sent + static_cast<Micros>(record.requestLength) * own_.characterTime());
        own_.flush();
        ownReplying_ = true;
        own_.feed(record.reply, record.replyLength, ended);
        own_.flush();
        ownReplying_ = false;
    } else {
        // Modbus TCP: the MBAP header gives the frame; there is no CRC and nothing to cut.
        for (const auto& [bytes, size, time, direction] :
             {std::tuple{record.request, record.requestLength, sent, Direction::Request},
              std::tuple{record.reply, record.replyLength, ended, Direction::Reply}}) {
            if (size == 0) continue;
            if (rows_.size() < static_cast<size_t>(capacity_)) rows_.emplace_back();
            Row& row = rows_[static_cast<size_t>(end_ % capacity_)];
            ++end_;
            row = Row{};
            row.bytes.assign(bytes, bytes + size);
            row.end = time;
            row.source = Source::Own;
            row.framing = link::Framing::ModbusTcp;
            row.crcValid = true;
            row.direction = size > MbapHeader + 1 ? direction : Direction::Broken;
            if (row.address() >= 0) row.context = contexts_[static_cast<size_t>(row.address())];
            if (direction == Direction::Request) {
                ownRequest_ = end_ - 1;
                row.span = RequestSpan(row.adu(), row.aduSize());
            } else if (Row* request = rowAt(ownRequest_)) {
                row.span = request->span;
                row.latency = time - request->end;
                request->latency = row.latency;
            }
            count(row);
        }
    }
    if (Row* request = rowAt(ownRequest_)) {
        request->hasResult = true;
        request->flags = record.flags;
        request->exceptionCode = record.exceptionCode;
        request->unanswered = (record.flags & link::NoReply) != 0;
        if (request->unanswered) {
            ++counters_.total.unanswered;
            if (request->address() >= 0)
                ++counters_.byAddress[static_cast<size_t>(request->address())].unanswered;
        }
    }
}

} // namespace olv::monitor
