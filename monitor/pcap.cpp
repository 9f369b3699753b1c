#include "monitor/pcap.h"

#include "files/plain_file.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace olv::monitor {

namespace {

constexpr uint32_t MagicMicros = 0xA1B2C3D4;
constexpr uint32_t MagicNanos = 0xA1B23C4D;

void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v));
    out.push_back(static_cast<char>(v >> 8));
}

uint32_t Swap(uint32_t v) {
    return __builtin_bswap32(v);
}

// Reads a file in pieces with pread from a position of its own, so that a capture of any length costs
// one buffer and the descriptor's offset is never touched. Each piece is reported to `progress`.
class Reader {
  public:
    Reader(int fd, const PcapProgress* progress, int64_t doneBefore, int64_t total)
        : fd_(fd), progress_(progress), doneBefore_(doneBefore), total_(total) {}
    // Exactly count bytes, or false at the end of the file (eof() tells), on an error or when cancelled.
    bool take(uint8_t* out, size_t count) {
        while (count > 0) {
            if (at_ == filled_ && !fill()) return false;
            const size_t n = std::min(count, filled_ - at_);
            std::memcpy(out, buffer_ + at_, n);
            out += n;
            at_ += n;
            count -= n;
        }
        return true;
    }
    bool eof() const { return eof_; }
    bool failed() const { return failed_; }
    int error() const { return error_; }
    bool cancelled() const { return cancelled_; }
    // No byte of the next item was there: the file ended between two items.
    bool cleanEnd(size_t before) const { return eof_ && consumed() == before; }
    size_t consumed() const { return read_ - (filled_ - at_); }

  private:
    bool fill() {
        if (eof_ || failed_ || cancelled_) return false;
        if (progress_ && *progress_ && !(*progress_)(doneBefore_ + static_cast<int64_t>(read_), total_)) {
            cancelled_ = true;
            return false;
        }
        for (;;) {
            const ssize_t n = ::pread(fd_, buffer_, sizeof buffer_, static_cast<off_t>(read_));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                failed_ = true;
                error_ = errno;
            }
            if (n <= 0) {
                eof_ = n == 0;
                return false;
            }
            at_ = 0;
            filled_ = static_cast<size_t>(n);
            read_ += filled_;
            return true;
        }
    }
    int fd_;
    const PcapProgress* progress_;
    int64_t doneBefore_, total_;
    uint8_t buffer_[65536];
    size_t at_ = 0, filled_ = 0, read_ = 0;
    bool eof_ = false, failed_ = false, cancelled_ = false;
    int error_ = 0;
};

// Why the reading stopped when the reader could not give what was asked.
PcapProblem ProblemOf(const Reader& in, PcapProblem otherwise) {
    if (in.cancelled()) return PcapProblem::Cancelled;
    if (in.failed()) return PcapProblem::Unreadable;
    return otherwise;
}

// A record with both its lengths (a marker's original length is the count of frames dropped).
using RawRecord = std::function<void(Micros, const uint8_t*, uint32_t included, uint32_t original)>;

// One pass over the file; `record` is called only when given.
PcapCheck Pass(int fd, const RawRecord* record, const PcapProgress& progress, int64_t doneBefore,
               int64_t total) {
    PcapCheck check;
    Reader in(fd, &progress, doneBefore, total);
    uint8_t header[24];
    const auto stopped = [&](PcapProblem problem) {
        check.problem = problem;
        check.error = in.error();
        return check;
    };
    if (!in.take(header, sizeof header)) return stopped(ProblemOf(in, PcapProblem::NotPcap));
    uint32_t magic;
    std::memcpy(&magic, header, 4);
    const bool swapped = magic == Swap(MagicMicros) || magic == Swap(MagicNanos);
    if (swapped) magic = Swap(magic);
    if (magic != MagicMicros && magic != MagicNanos) return stopped(PcapProblem::NotPcap);
    const auto word = [swapped](const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return swapped ? Swap(v) : v;
    };
    const uint16_t major = swapped ? static_cast<uint16_t>(header[4] << 8 | header[5])
                                   : static_cast<uint16_t>(header[5] << 8 | header[4]);
    if (major != 2) return stopped(PcapProblem::NotPcap);
    // The upper bits of the link type field may carry the FCS length.
    check.linkType = word(header + 20) & 0x0FFFFFFF;
    if (check.linkType != LinkTypeUser0) return stopped(PcapProblem::OtherLinkType);
    check.native = !swapped && magic == MagicMicros;
    const int64_t fraction = magic == MagicNanos ? 1000 : 1;
    std::vector<uint8_t> buffer(MaxRecordSize);
    uint8_t* data = buffer.data();
    for (;;) {
        uint8_t head[16];
        const size_t before = in.consumed();
        if (!in.take(head, sizeof head)) {
            if (in.cancelled() || in.failed() || !in.cleanEnd(before))
                return stopped(ProblemOf(in, PcapProblem::Truncated));
            return check;
        }
        const uint32_t seconds = word(head), part = word(head + 4), included = word(head + 8);
        const uint32_t original = word(head + 12);
        const RecordFault fault = included > MaxRecordSize        ? RecordFault::TooLong
                                  : included > original           ? RecordFault::LongerThanOriginal
                                  : part >= 1000000 * fraction    ? RecordFault::BadStamp
                                                                  : RecordFault::None;
        if (fault != RecordFault::None) {
            check.badRecord = check.records + 1;
            check.recordFault = fault;
            check.included = included;
            check.original = original;
            check.fraction = part;
            return stopped(PcapProblem::NotPcap);
        }
        if (!in.take(data, included)) return stopped(ProblemOf(in, PcapProblem::Truncated));
        ++check.records;
        if (included == 0) check.droppedFrames += original;
        if (record) (*record)(Micros{seconds} * 1000000 + part / fraction, data, included, original);
    }
}

} // namespace

void AppendPcapHeader(std::string& out) {
    Put32(out, MagicMicros);
    Put16(out, 2); // version 2.4
    Put16(out, 4);
    Put32(out, 0); // time zone: the stamps are UTC
    Put32(out, 0); // accuracy
    Put32(out, MaxRecordSize);
    Put32(out, LinkTypeUser0);
}

namespace {

void PutRecordHeader(std::string& out, Micros time, uint32_t included, uint32_t original) {
    // A stamp holds 0 .. 2^32-1 seconds: a time outside (a frame timed before the first byte of a
    // file stamped at 0) is written at the nearest end, never as a stamp no reader takes.
    time = std::clamp<Micros>(time, 0, Micros{UINT32_MAX} * 1000000 + 999999);
    Put32(out, static_cast<uint32_t>(time / 1000000));
    Put32(out, static_cast<uint32_t>(time % 1000000));
    Put32(out, included);
    Put32(out, original);
}

} // namespace

void AppendPcapRecord(std::string& out, Micros time, const uint8_t* bytes, size_t size) {
    PutRecordHeader(out, time, static_cast<uint32_t>(size), static_cast<uint32_t>(size));
    out.append(reinterpret_cast<const char*>(bytes), size);
}

void AppendPcapMarker(std::string& out, Micros time, int64_t droppedFrames) {
    PutRecordHeader(out, time, 0, static_cast<uint32_t>(std::clamp<int64_t>(droppedFrames, 1, UINT32_MAX)));
}

PcapCheck ReadPcapFrom(int fd, const PcapRecord& record, const PcapProgress& progress) {
    PcapCheck check;
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    if (!statted || !S_ISREG(st.st_mode)) {
        check.problem = PcapProblem::Unreadable;
        check.error = statted ? EINVAL : errno;
        return check;
    }
    check.size = st.st_size;
    if (st.st_size > MaxCaptureFileSize) {
        check.problem = PcapProblem::TooLarge;
        return check;
    }
    const int64_t total = 2 * static_cast<int64_t>(st.st_size);
    check = Pass(fd, nullptr, progress, 0, total);
    // A file that changes between the passes is read as it is then; the check came first.
    if (check.problem == PcapProblem::None) {
        const RawRecord each = [&record](Micros time, const uint8_t* bytes, uint32_t included, uint32_t) {
            if (record) record(time, bytes, included);
        };
        check = Pass(fd, &each, progress, st.st_size, total);
    }
    check.size = st.st_size;
    return check;
}

bool CopyPcapRecords(int from, int out) {
    std::string records;
    bool written = true;
    const RawRecord each = [&](Micros time, const uint8_t* bytes, uint32_t included, uint32_t original) {
        if (included == 0)
            PutRecordHeader(records, time, 0, original); // a marker keeps its count, 0 included
        else
            AppendPcapRecord(records, time, bytes, included);
        if (records.size() < (1 << 20) || !written) return;
        written = files::WriteAll(out, records.data(), records.size());
        records.clear();
    };
    const PcapCheck check = Pass(from, &each, {}, 0, 0);
    if (check.problem != PcapProblem::None) {
        errno = check.error != 0 ? check.error : EIO;
        return false;
    }
    return written && files::WriteAll(out, records.data(), records.size());
}

PcapCheck ReadPcap(const QString& path, const PcapRecord& record, const PcapProgress& progress) {
    const int fd = files::OpenPlainFile(path, O_RDONLY);
    if (fd < 0) {
        PcapCheck check;
        check.problem = PcapProblem::Unreadable;
        check.error = errno;
        return check;
    }
    const PcapCheck check = ReadPcapFrom(fd, record, progress);
    ::close(fd);
    return check;
}

QString SizeText(int64_t bytes) {
    QString digits = QString::number(bytes);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u'\u00A0');
    const double gib = double(bytes) / double(int64_t{1} << 30);
    const double mib = double(bytes) / double(1 << 20);
    const QString rounded = gib >= 1
                                ? QString::number(gib, 'f', 1).replace(u'.', u',') + QStringLiteral(" ГБ")
                                : QString::number(mib, 'f', 1).replace(u'.', u',') + QStringLiteral(" МБ");
    return QStringLiteral("%1 (%2 байт)").arg(rounded, digits);
}

QString PcapProblemText(const PcapCheck& check) {
    switch (check.problem) {
    case PcapProblem::None:
        return {};
    case PcapProblem::Unreadable:
        if (check.error == EINVAL)
            return QStringLiteral("Это не обычный файл (папка, канал или устройство).");
        if (check.error != 0)
            return QStringLiteral("Файл не удалось прочитать: %1.")
                .arg(QString::fromLocal8Bit(std::strerror(check.error)));
        return QStringLiteral("Файл не удалось прочитать.");
    case PcapProblem::NotPcap:
        switch (check.recordFault) {
        case RecordFault::None:
            break;
        case RecordFault::LongerThanOriginal:
            return QStringLiteral("Это не файл записи обмена (pcap): в записи %1 сохранено %2 байт, "
                                  "больше, чем было в кадре (%3).")
                .arg(check.badRecord)
                .arg(check.included)
                .arg(check.original);
        case RecordFault::TooLong:
            return QStringLiteral("Это не файл записи обмена (pcap): в записи %1 — %2 байт, "
                                  "а записей длиннее %3 байт не бывает.")
                .arg(check.badRecord)
                .arg(check.included)
                .arg(MaxRecordSize);
        case RecordFault::BadStamp:
            return QStringLiteral("Это не файл записи обмена (pcap): у записи %1 доля секунды в метке "
                                  "времени (%2) не меньше секунды.")
                .arg(check.badRecord)
                .arg(check.fraction);
        }
        return QStringLiteral("Это не файл записи обмена (pcap).");
    case PcapProblem::OtherLinkType:
        return QStringLiteral("В файле записан не обмен по линии Modbus RTU (тип канала %1, нужен 147).")
            .arg(check.linkType);
    case PcapProblem::Truncated:
        return QStringLiteral("Файл обрывается на середине кадра.");
    case PcapProblem::TooLarge:
        return QStringLiteral("Файл слишком велик: %1, а программа открывает файлы не больше %2.")
            .arg(SizeText(check.size), SizeText(MaxCaptureFileSize));
    case PcapProblem::Cancelled:
        return QStringLiteral("Чтение прервано.");
    }
    return {};
}

bool CopyFileReplacing(const QString& from, const QString& target) {
    const int in = files::OpenPlainFile(from, O_RDONLY);
    if (in < 0) return false;
    const auto copy = [in](int out) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return n == 0;
            if (!files::WriteAll(out, buffer, static_cast<size_t>(n))) return false;
        }
    };
    const bool written = files::WriteWholeFileFrom(target, copy) == files::WholeFileWrite::Written;
    const int error = errno;
    ::close(in);
    errno = error;
    return written;
}

} // namespace olv::monitor
