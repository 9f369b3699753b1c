#include "monitor/pcap.h"

#include "files/plain_file.h"

#include <QFile>
#include <QFileInfo>

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

// Reads a file in pieces, so that a capture of any length costs one buffer.
class Reader {
  public:
    explicit Reader(int fd) : fd_(fd) {}
    // Exactly count bytes, or false at the end of the file (eof() tells) or on an error.
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
    // No byte of the next item was there: the file ended between two items.
    bool cleanEnd(size_t before) const { return eof_ && consumed() == before; }
    size_t consumed() const { return total_ - (filled_ - at_); }

  private:
    bool fill() {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) failed_ = true;
            if (n <= 0) {
                eof_ = n == 0;
                return false;
            }
            at_ = 0;
            filled_ = static_cast<size_t>(n);
            total_ += filled_;
            return true;
        }
    }
    int fd_;
    uint8_t buffer_[65536];
    size_t at_ = 0, filled_ = 0, total_ = 0;
    bool eof_ = false, failed_ = false;
};

// One pass over the file; `record` is called only when given.
PcapCheck Pass(int fd, const std::function<void(Micros, const uint8_t*, size_t)>* record) {
    PcapCheck check;
    Reader in(fd);
    uint8_t header[24];
    if (!in.take(header, sizeof header)) {
        check.problem = in.failed() ? PcapProblem::Unreadable : PcapProblem::NotPcap;
        return check;
    }
    uint32_t magic;
    std::memcpy(&magic, header, 4);
    const bool swapped = magic == Swap(MagicMicros) || magic == Swap(MagicNanos);
    if (swapped) magic = Swap(magic);
    if (magic != MagicMicros && magic != MagicNanos) {
        check.problem = PcapProblem::NotPcap;
        return check;
    }
    const auto word = [swapped](const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return swapped ? Swap(v) : v;
    };
    const uint16_t major = swapped ? static_cast<uint16_t>(header[4] << 8 | header[5])
                                   : static_cast<uint16_t>(header[5] << 8 | header[4]);
    if (major != 2) {
        check.problem = PcapProblem::NotPcap;
        return check;
    }
    // The upper bits of the link type field may carry the FCS length.
    check.linkType = word(header + 20) & 0x0FFFFFFF;
    if (check.linkType != LinkTypeUser0) {
        check.problem = PcapProblem::OtherLinkType;
        return check;
    }
    const int64_t fraction = magic == MagicNanos ? 1000 : 1;
    std::vector<uint8_t> buffer(MaxRecordSize);
    uint8_t* data = buffer.data();
    for (;;) {
        uint8_t head[16];
        const size_t before = in.consumed();
        if (!in.take(head, sizeof head)) {
            if (in.failed())
                check.problem = PcapProblem::Unreadable;
            else if (!in.cleanEnd(before))
                check.problem = PcapProblem::Truncated;
            return check;
        }
        const uint32_t seconds = word(head), part = word(head + 4), included = word(head + 8);
        const uint32_t original = word(head + 12);
        if (included > MaxRecordSize || included > original || part >= 1000000 * fraction) {
            check.problem = PcapProblem::NotPcap;
            return check;
        }
        if (!in.take(data, included)) {
            check.problem = in.failed() ? PcapProblem::Unreadable : PcapProblem::Truncated;
            return check;
        }
        ++check.records;
        if (record) (*record)(Micros{seconds} * 1000000 + part / fraction, data, included);
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

void AppendPcapRecord(std::string& out, Micros time, const uint8_t* bytes, size_t size) {
    Put32(out, static_cast<uint32_t>(time / 1000000));
    Put32(out, static_cast<uint32_t>(time % 1000000));
    Put32(out, static_cast<uint32_t>(size));
    Put32(out, static_cast<uint32_t>(size));
    out.append(reinterpret_cast<const char*>(bytes), size);
}

PcapCheck ReadPcap(const QString& path, const std::function<void(Micros, const uint8_t*, size_t)>& record) {
    PcapCheck check;
    const int fd = files::OpenPlainFile(path, O_RDONLY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0) ::close(fd);
        check.problem = PcapProblem::Unreadable;
        return check;
    }
    if (st.st_size > MaxCaptureFileSize) {
        ::close(fd);
        check.problem = PcapProblem::TooLarge;
        return check;
    }
    check = Pass(fd, nullptr);
    if (check.problem == PcapProblem::None) {
        // A file that changes between the passes is read as it is then; the check came first.
        if (::lseek(fd, 0, SEEK_SET) == 0)
            check = Pass(fd, &record);
        else
            check.problem = PcapProblem::Unreadable;
    }
    ::close(fd);
    return check;
}

QString PcapProblemText(const PcapCheck& check) {
    switch (check.problem) {
    case PcapProblem::None:
        return {};
    case PcapProblem::Unreadable:
        return QStringLiteral("Файл не удалось прочитать.");
    case PcapProblem::NotPcap:
        return QStringLiteral("Это не файл записи обмена (pcap).");
    case PcapProblem::OtherLinkType:
        return QStringLiteral("В файле записан не обмен по линии Modbus RTU (тип канала %1, нужен 147).")
            .arg(check.linkType);
    case PcapProblem::Truncated:
        return QStringLiteral("Файл обрывается на середине кадра.");
    case PcapProblem::TooLarge:
        return QStringLiteral("Файл слишком велик (больше 2 ГБ).");
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
