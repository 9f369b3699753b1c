#pragma once

#include "monitor/frames.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace olv::monitor {

// The link type of the capture files: DLT_USER0, one RTU frame (address, PDU, CRC) per record.
inline constexpr uint32_t LinkTypeUser0 = 147;
// Larger files are not read, and no file the program saves is larger: a shift of a flooded 38400 bit/s
// line is far below this.
inline constexpr int64_t MaxCaptureFileSize = int64_t{2} << 30;
// A record longer than this is no frame of a serial line (the longest is 256 bytes).
inline constexpr uint32_t MaxRecordSize = 65535;

// The file header (microsecond time stamps, little-endian) and one record, appended to out.
void AppendPcapHeader(std::string& out);
void AppendPcapRecord(std::string& out, Micros time, const uint8_t* bytes, size_t size);

// A record of no bytes is a marker: frames were dropped there, as many as its original length says
// (a capture file whose oldest frames had to go to keep it within its bound). No serial line has an
// empty frame, so it cannot be taken for one.
void AppendPcapMarker(std::string& out, Micros time, int64_t droppedFrames);

enum class PcapProblem {
    None,
    Unreadable,    // missing, not a regular file, no permission, a read error (error tells which)
    NotPcap,       // no pcap header, or a record header no pcap writer makes (badRecord tells which)
    OtherLinkType, // a capture of something else than RTU frames
    Truncated,     // ends inside a record
    TooLarge,      // above MaxCaptureFileSize
    Cancelled,     // the progress callback asked to stop
};

// What is wrong with a record header that no pcap writer makes.
enum class RecordFault {
    None,
    LongerThanOriginal, // more bytes kept than the frame had
    TooLong,            // more than MaxRecordSize bytes
    BadStamp,           // the fraction of its time stamp is a second or more
};

struct PcapCheck {
    PcapProblem problem = PcapProblem::None;
    uint32_t linkType = 0;
    int64_t records = 0;
    int64_t size = 0;          // of the file, in bytes, once it was opened
    int error = 0;             // errno of an Unreadable file (EINVAL: not a regular file)
    int64_t droppedFrames = 0; // what the marker records say were dropped
    // Little-endian with microsecond stamps, as AppendPcapHeader writes: its records can be copied
    // into such a file as they are.
    bool native = false;
    // A NotPcap file refused for a record header: which record (1 for the first), what is wrong with
    // it, its included and original lengths and the fraction of its stamp as they stand in the file.
    int64_t badRecord = 0;
    RecordFault recordFault = RecordFault::None;
    uint32_t included = 0, original = 0, fraction = 0;
};

using PcapRecord = std::function<void(Micros, const uint8_t*, size_t)>;
// Told how far the reading has come: bytes of both passes done, of `total` (twice the file's size).
// Returning false stops the reading (PcapProblem::Cancelled). Called at least every 64 kB.
using PcapProgress = std::function<bool(int64_t done, int64_t total)>;

// Reads a capture file (either byte order, microsecond or nanosecond stamps): checks the whole file
// first, then hands each record to `record` in order; a marker comes as a record of no bytes. When the
// check fails nothing is handed over. The file is read in pieces of 64 kB, never held whole; a file
// larger than MaxCaptureFileSize is refused before anything of it is read.
PcapCheck ReadPcap(const QString& path, const PcapRecord& record, const PcapProgress& progress = {});

// The same on a file already open, read from its start with pread (the descriptor's offset is left
// alone and it stays open).
PcapCheck ReadPcapFrom(int fd, const PcapRecord& record, const PcapProgress& progress = {});

// The records of a capture file that ReadPcapFrom accepts, written to `out` as AppendPcapRecord and
// AppendPcapMarker write them (little-endian, microseconds), read with pread from its start. False,
// errno set, when it could not be read whole or written.
bool CopyPcapRecords(int from, int out);

// The box text for a refused file: what is wrong, with the reason of an unreadable one, the record
// and its fault for a record header no pcap writer makes, and the size and the limit of one too large.
QString PcapProblemText(const PcapCheck& check);

// A size in words: "2,5 ГБ (2 684 354 560 байт)".
QString SizeText(int64_t bytes);

// Copies the file `from` to `target` all or nothing: into a temporary file next to target, synced,
// then renamed over it. False with errno set on any failure; then target is as it was.
bool CopyFileReplacing(const QString& from, const QString& target);

} // namespace olv::monitor
