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
// Larger files are not read: a shift of a flooded 38400 bit/s line is far below this.
inline constexpr int64_t MaxCaptureFileSize = int64_t{2} << 30;
// A record longer than this is no frame of a serial line (the longest is 256 bytes).
inline constexpr uint32_t MaxRecordSize = 65535;

// The file header (microsecond time stamps, little-endian) and one record, appended to out.
void AppendPcapHeader(std::string& out);
void AppendPcapRecord(std::string& out, Micros time, const uint8_t* bytes, size_t size);

enum class PcapProblem {
    None,
    Unreadable,    // missing, not a regular file, no permission, a read error
    NotPcap,       // no pcap header, or a record header no pcap writer makes
    OtherLinkType, // a capture of something else than RTU frames
    Truncated,     // ends inside a record
    TooLarge,      // above MaxCaptureFileSize
};

struct PcapCheck {
    PcapProblem problem = PcapProblem::None;
    uint32_t linkType = 0;
    int64_t records = 0;
};

// Reads a capture file (either byte order, microsecond or nanosecond stamps): checks the whole file
// first, then hands each record to `record` in order. When the check fails nothing is handed over.
PcapCheck ReadPcap(const QString& path, const std::function<void(Micros, const uint8_t*, size_t)>& record);

// The box text for a refused file.
QString PcapProblemText(const PcapCheck& check);

// Copies the file `from` to `target` all or nothing: into a temporary file next to target, synced,
// then renamed over it. False with errno set on any failure; then target is as it was.
bool CopyFileReplacing(const QString& from, const QString& target);

} // namespace olv::monitor
