// Any bytes as a capture file, through the capture reader, the copy of its records and the capture that
// an opened file is read into (framer, pairing, counters, the spool of what it shows).
//
// Input: the file's bytes as they come. The seeds are files the program wrote; a header with the
// right magic, version and link type is easy for the fuzzer to keep, so mutations reach the records.
//
// Invariants:
//   - the reader accepts exactly the files a plain reading of the format here accepts (either byte
//     order, microsecond or nanosecond stamps, link type 147, every record header sound: its included
//     length at most 65535 and at most its original length, the fraction of its stamp under a second,
//     the file ending after a whole record), with the same problem for those it refuses, which then
//     hand nothing over and have a text (naming the record and its fault for a record header no
//     writer makes);
//   - an accepted file hands over exactly its records, with their stamps in microseconds, counts them
//     and the frames its markers say were dropped, and says whether it is native;
//   - the copy of its records, behind a header, is a native file that reads back the same records;
//   - read into a capture, every byte of the records is in exactly one row, in order (the ring is large
//     enough); a row is valid exactly when its CRC is, broken exactly when invalid or hit by a line
//     error; the counters count every row once; with spooling on, the spool read as a file gives the
//     rows' bytes.
#include "fuzz/fuzz_check.h"

#include "monitor/capture.h"
#include "monitor/pcap.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace olv::monitor;
using olv::fuzz::Require;

namespace {

struct Record {
    Micros time;
    std::vector<uint8_t> bytes;
    bool operator==(const Record&) const = default;
};

struct Reading {
    PcapProblem problem = PcapProblem::None;
    std::vector<Record> records;
    int64_t dropped = 0;
    bool native = false;
    int64_t badRecord = 0; // 1 for the first
    RecordFault fault = RecordFault::None;
};

// The format as its description gives it, over bytes in memory.
Reading ReadPlainly(const uint8_t* data, size_t size) {
    Reading reading;
    if (size < 24) {
        reading.problem = PcapProblem::NotPcap;
        return reading;
    }
    const uint32_t magic = uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 | uint32_t{data[3]} << 24;
    bool big = false, nanos = false;
    if (magic == 0xA1B2C3D4 || magic == 0xA1B23C4D) {
        nanos = magic == 0xA1B23C4D;
    } else if (magic == 0xD4C3B2A1 || magic == 0x4D3CB2A1) {
        big = true;
        nanos = magic == 0x4D3CB2A1;
    } else {
        reading.problem = PcapProblem::NotPcap;
        return reading;
    }
    const auto u32 = [&](size_t at) {
        return big ? uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 | uint32_t{data[at + 2]} << 8 | data[at + 3]
                   : uint32_t{data[at + 3]} << 24 | uint32_t{data[at + 2]} << 16 | uint32_t{data[at + 1]} << 8 | data[at];
    };
    const uint32_t major = big ? uint32_t{data[4]} << 8 | data[5] : uint32_t{data[5]} << 8 | data[4];
    if (major != 2) {
        reading.problem = PcapProblem::NotPcap;
        return reading;
    }
    if ((u32(20) & 0x0FFFFFFF) != 147) {
        reading.problem = PcapProblem::OtherLinkType;
        return reading;
    }
    reading.native = !big && !nanos;
    size_t at = 24;
    while (at < size) {
        if (size - at < 16) {
            reading.problem = PcapProblem::Truncated;
            return reading;
        }
        const uint32_t seconds = u32(at), part = u32(at + 4), included = u32(at + 8), original = u32(at + 12);
        if (included > 65535 || included > original || part >= (nanos ? 1000000000u : 1000000u)) {
            reading.problem = PcapProblem::NotPcap;
            reading.badRecord = static_cast<int64_t>(reading.records.size()) + 1;
            reading.fault = included > 65535      ? RecordFault::TooLong
                            : included > original ? RecordFault::LongerThanOriginal
                                                  : RecordFault::BadStamp;
            return reading;
        }
        at += 16;
        if (size - at < included) {
            reading.problem = PcapProblem::Truncated;
            return reading;
        }
        reading.records.push_back({Micros{seconds} * 1000000 + (nanos ? part / 1000 : part),
                                   std::vector<uint8_t>(data + at, data + at + included)});
        if (included == 0) reading.dropped += original;
        at += included;
    }
    return reading;
}

int MemoryFile(const uint8_t* data, size_t size) {
    const int fd = ::memfd_create("olv-pcap-fuzz", 0);
    Require(fd >= 0, "a memory file can be made");
    Require(size == 0 || ::write(fd, data, size) == static_cast<ssize_t>(size), "the memory file is written");
    return fd;
}

PcapCheck ReadFd(int fd, std::vector<Record>& records) {
    records.clear();
    return ReadPcapFrom(fd, [&](Micros time, const uint8_t* bytes, size_t size) {
        records.push_back({time, std::vector<uint8_t>(bytes, bytes + size)});
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Reading expected = ReadPlainly(data, size);
    const int fd = MemoryFile(data, size);
    std::vector<Record> records;
    const PcapCheck check = ReadFd(fd, records);
    Require(check.problem == expected.problem, "the reader accepts and refuses as the format says");
    Require(check.size == static_cast<int64_t>(size), "the size is the file's");
    if (check.problem != PcapProblem::None) {
        Require(records.empty(), "a refused file hands nothing over");
        Require(!PcapProblemText(check).isEmpty(), "a refused file has a reason");
        Require(check.badRecord == expected.badRecord && check.recordFault == expected.fault,
                "a record header no writer makes is named with its fault");
        if (check.badRecord > 0)
            Require(PcapProblemText(check).contains(QStringLiteral("записи %1").arg(check.badRecord)),
                    "the reason names the record");
        ::close(fd);
        return 0;
    }
    Require(records == expected.records, "an accepted file hands over its records");
    Require(check.records == static_cast<int64_t>(expected.records.size()), "the records are counted");
    Require(check.droppedFrames == expected.dropped, "the dropped frames are those of the markers");
    Require(check.native == expected.native, "a file is native when little-endian in microseconds");
    Require(::lseek(fd, 0, SEEK_CUR) == static_cast<off_t>(size), "the descriptor's offset is left alone");

    // The copy of the records behind a header.
    {
        std::string header;
        AppendPcapHeader(header);
        const int out = MemoryFile(reinterpret_cast<const uint8_t*>(header.data()), header.size());
        Require(CopyPcapRecords(fd, out), "an accepted file is copied");
        std::vector<Record> copied;
        const PcapCheck again = ReadFd(out, copied);
        Require(again.problem == PcapProblem::None && again.native, "the copy is a native file");
        Require(copied == records && again.droppedFrames == check.droppedFrames, "the copy holds the same records");
        ::close(out);
    }
    ::close(fd);

    // The capture an opened file is read into, spooling as a live capture does.
    Capture capture({19200, 1000, 0, 100000});
    std::vector<uint8_t> fed;
    for (const Record& record : records) {
        capture.addRecord(record.time, record.bytes.data(), record.bytes.size());
        fed.insert(fed.end(), record.bytes.begin(), record.bytes.end());
    }
    capture.end();
    std::vector<uint8_t> shown;
    Counts counted;
    std::string file;
    AppendPcapHeader(file);
    file += capture.spool();
    const Reading spooled = ReadPlainly(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    Require(spooled.problem == PcapProblem::None, "the spool is a capture file");
    Require(spooled.records.size() == static_cast<size_t>(capture.endSequence()), "every row is spooled");
    for (int64_t s = capture.firstSequence(); s < capture.endSequence(); ++s) {
        const Row* row = capture.row(s);
        Require(row != nullptr && !row->bytes.empty() && row->bytes.size() <= MaxFrameSize, "a row is a frame");
        shown.insert(shown.end(), row->bytes.begin(), row->bytes.end());
        Require(row->crcValid == CrcValid(row->bytes.data(), row->bytes.size()), "valid exactly with its CRC");
        Require((row->direction == Direction::Broken) == (!row->crcValid || row->lineError),
                "broken exactly when invalid");
        Require(spooled.records[static_cast<size_t>(s)].bytes == row->bytes, "the spool holds the row");
        ++counted.frames;
        if (row->direction == Direction::Broken) ++counted.crcErrors;
        if (row->unanswered) ++counted.unanswered;
        if (row->direction == Direction::Reply && row->aduSize() >= 2 && (row->adu()[1] & 0x80)) ++counted.exceptions;
    }
    Require(capture.firstSequence() == 0, "the ring kept every row");
    Require(shown == fed, "every byte is in exactly one row, in order");
    const Counts& total = capture.counters().total;
    Require(total.frames == counted.frames && total.crcErrors == counted.crcErrors &&
                total.exceptions == counted.exceptions && total.unanswered == counted.unanswered,
            "the counters count every row once");
    int64_t byAddress = 0;
    for (const Counts& counts : capture.counters().byAddress)
        byAddress += counts.frames;
    Require(byAddress == counted.frames - counted.crcErrors, "each valid frame counts for its address");
    return 0;
}
