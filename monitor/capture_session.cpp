#include "monitor/capture_session.h"

#include "files/plain_file.h"
#include "monitor/capture.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olv::monitor {

namespace {

constexpr int64_t HeaderSize = 24;
constexpr int64_t RecordHeaderSize = 16;
constexpr int64_t MarkerSize = RecordHeaderSize;
// A block holds whole records, so at least the largest one; a ring has this many blocks when its
// bound allows, so that a wrap drops a sixteenth of it.
constexpr int64_t SmallestBlock = 256 * 1024;
constexpr int64_t BlocksPerRing = 16;

uint32_t Le32(const char* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(p[i]);
    return v;
}

bool PwriteAll(int fd, const char* bytes, size_t count, off_t at) {
    while (count > 0) {
        const ssize_t n = ::pwrite(fd, bytes, count, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        bytes += n;
        at += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

// Bytes [from, to) of one file appended to another through a buffer.
bool CopyRange(int in, int64_t from, int64_t to, int out) {
    std::vector<char> buffer(1 << 20);
    while (from < to) {
        const size_t want =
            static_cast<size_t>(std::min<int64_t>(to - from, static_cast<int64_t>(buffer.size())));
        const ssize_t n = ::pread(in, buffer.data(), want, static_cast<off_t>(from));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO; // the file is shorter than it was
            return false;
        }
        if (!files::WriteAll(out, buffer.data(), static_cast<size_t>(n))) return false;
        from += n;
    }
    return true;
}

QString RandomSuffix() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937 random(std::random_device{}());
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(letters[random() % (sizeof letters - 1)]);
    return suffix;
}

const QStringList SpoolPatterns{QStringLiteral(".capture-??????.spool"),
                                // the spools of earlier versions, made by name and never locked
                                QStringLiteral(".capture-??????.pcap")};

} // namespace

OpenedCaptureFile::OpenedCaptureFile(OpenedCaptureFile&& other) noexcept
    : fd(std::exchange(other.fd, -1)), size(other.size), native(other.native) {}

OpenedCaptureFile& OpenedCaptureFile::operator=(OpenedCaptureFile&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) ::close(fd);
        fd = std::exchange(other.fd, -1);
        size = other.size;
        native = other.native;
    }
    return *this;
}

OpenedCaptureFile::~OpenedCaptureFile() {
    if (fd >= 0) ::close(fd);
}

CaptureSession::CaptureSession(const Options& options) : CaptureSession(options, OpenedCaptureFile{}) {}

CaptureSession::CaptureSession(const Options& options, OpenedCaptureFile base) : base_(std::move(base)) {
    // The ring leaves room for the base's records and a marker in a file of MaxCaptureFileSize.
    const int64_t used = base_.fd >= 0 ? base_.size : HeaderSize;
    const int64_t ring =
        std::max<int64_t>(0, std::min(options.spoolBytes, MaxCaptureFileSize - used - MarkerSize));
    blockSize_ = std::max(SmallestBlock, ring / BlocksPerRing);
    blocks_.resize(static_cast<size_t>(ring / blockSize_));
    create(options.folders);
}

CaptureSession::~CaptureSession() {
    if (fd_ < 0) return;
    // Removed only while it is still this spool under the name.
    struct stat own {
    }, named{};
    const QByteArray name = QFile::encodeName(path_);
    if (::fstat(fd_, &own) == 0 && ::lstat(name.constData(), &named) == 0 && own.st_dev == named.st_dev &&
        own.st_ino == named.st_ino)
        ::unlink(name.constData());
    ::close(fd_);
}

void CaptureSession::create(const QStringList& folders) {
    std::string header;
    AppendPcapHeader(header);
    int error = ENOENT;
    for (const QString& folder : folders) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString path =
                QDir(folder).filePath(QStringLiteral(".capture-%1.spool").arg(RandomSuffix()));
            const QByteArray name = QFile::encodeName(path);
            // O_EXCL and O_NOFOLLOW: a file or a link planted under the name is never taken over.
            const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0) {
                error = errno;
                if (errno == EEXIST) continue;
                break; // this folder takes none
            }
            // The lock says a live program holds it. A remover that found it in the moment before the
            // lock may have taken it away: then it has no name any more, and another one is made.
            struct stat st {};
            const bool locked = files::LockWithin(fd, LOCK_EX, std::chrono::seconds(2));
            if (!locked || ::fstat(fd, &st) != 0 || st.st_nlink == 0) {
                error = locked ? ENOENT : EWOULDBLOCK;
                ::close(fd);
                continue;
            }
            if (!PwriteAll(fd, header.data(), header.size(), 0)) {
                error = errno;
                ::unlink(name.constData());
                ::close(fd);
                break; // a full disk: the next folder
            }
            fd_ = fd;
            path_ = path;
            return;
        }
    }
    fail(error);
}

void CaptureSession::fail(int error) {
    failed_ = true;
    error_ = error;
}

bool CaptureSession::failureToReport() {
    if (!failed_ || failureReported_) return false;
    failureReported_ = true;
    return true;
}

int64_t CaptureSession::spoolCapacity() const {
    return HeaderSize + blockSize_ * static_cast<int64_t>(blocks_.size());
}

bool CaptureSession::take(Capture& capture) {
    const bool taken = append(capture.spool());
    capture.spool().clear();
    return taken;
}

bool CaptureSession::append(const std::string& records) {
    if (failed_) return false;
    // The records for the current block gather in [runStart, at) and go out in one write; the block
    // counts them only once they are written.
    size_t runStart = 0, at = 0;
    Block run;
    const auto blockOffset = [this](size_t k) { return HeaderSize + static_cast<int64_t>(k) * blockSize_; };
    const auto flush = [&]() {
        if (at == runStart) return true;
        Block& block = blocks_[current_];
        if (!PwriteAll(fd_, records.data() + runStart, at - runStart,
                       static_cast<off_t>(blockOffset(current_) + block.used))) {
            fail(errno);
            return false;
        }
        block.used += run.used;
        block.frames += run.frames;
        block.lastTime = run.lastTime;
        run = Block{};
        runStart = at;
        return true;
    };
    while (at + RecordHeaderSize <= records.size()) {
        const char* head = records.data() + at;
        const int64_t size = RecordHeaderSize + Le32(head + 8);
        const Micros time = Micros{Le32(head)} * 1000000 + Le32(head + 4);
        if (blocks_.empty()) { // no room at all: every frame is dropped
            ++dropped_;
            droppedUntil_ = time;
            at += static_cast<size_t>(size);
            runStart = at;
            continue;
        }
        if (blocks_[current_].used + run.used + size > blockSize_) {
            if (!flush()) return false;
            current_ = (current_ + 1) % blocks_.size();
            Block& next = blocks_[current_];
            if (next.frames > 0) { // the oldest block goes
                wrapped_ = true;
                dropped_ += next.frames;
                droppedUntil_ = next.lastTime;
            }
            next = Block{};
        }
        run.used += size;
        ++run.frames;
        run.lastTime = time;
        at += static_cast<size_t>(size);
    }
    return flush();
}

bool CaptureSession::writeTo(int out) const {
    std::string head;
    AppendPcapHeader(head);
    if (!files::WriteAll(out, head.data(), head.size())) return false;
    if (base_.fd >= 0) {
        const bool copied =
            base_.native ? CopyRange(base_.fd, HeaderSize, base_.size, out) : CopyPcapRecords(base_.fd, out);
        if (!copied) return false;
    }

    // The ring's blocks, oldest first; those that would take the file past its bound are dropped too.
    std::vector<size_t> order;
    if (!blocks_.empty()) {
        for (size_t k = 1; k <= blocks_.size(); ++k) {
            const size_t index = (current_ + k) % blocks_.size();
            if (blocks_[index].frames > 0) order.push_back(index);
        }
    }
    int64_t dropped = dropped_;
    Micros droppedUntil = droppedUntil_;
    int64_t total = HeaderSize + (base_.fd >= 0 ? base_.size - HeaderSize : 0);
    for (size_t index : order)
        total += blocks_[index].used;
    size_t first = 0;
    while (first < order.size() && total + (dropped > 0 ? MarkerSize : 0) > MaxCaptureFileSize) {
        total -= blocks_[order[first]].used;
        dropped += blocks_[order[first]].frames;
        droppedUntil = blocks_[order[first]].lastTime;
        ++first;
    }
    if (dropped > 0) {
        std::string marker;
        AppendPcapMarker(marker, droppedUntil, dropped);
        if (!files::WriteAll(out, marker.data(), marker.size())) return false;
    }
    for (size_t i = first; i < order.size(); ++i) {
        const int64_t begin = HeaderSize + static_cast<int64_t>(order[i]) * blockSize_;
        if (!CopyRange(fd_, begin, begin + blocks_[order[i]].used, out)) return false;
    }
    return true;
}

bool CaptureSession::save(const QString& path, QString& reason) const {
    const auto systemReason = [](int error) {
        return error == EINVAL ? QStringLiteral("это не обычный файл (папка, канал или устройство)")
                               : QString::fromLocal8Bit(std::strerror(error));
    };
    if (base_.fd >= 0) {
        struct stat st {};
        if (::fstat(base_.fd, &st) != 0 || st.st_size != base_.size) {
            reason = QStringLiteral("файл, из которого запись была открыта, с тех пор изменился");
            return false;
        }
    }
    if (fd_ < 0 && base_.fd < 0) {
        reason = QStringLiteral("файл для кадров записи не был создан: %1").arg(systemReason(error_));
        return false;
    }
    errno = 0;
    if (files::WriteWholeFileFrom(path, [this](int fd) { return writeTo(fd); }) ==
        files::WholeFileWrite::Written)
        return true;
    reason = systemReason(errno != 0 ? errno : EIO);
    return false;
}

QStringList RemoveStaleSpools(const QStringList& folders) {
    QStringList removed;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& entry : dir.entryList(SpoolPatterns, QDir::Files | QDir::Hidden | QDir::System)) {
            const QString path = dir.filePath(entry);
            const QByteArray name = QFile::encodeName(path);
            struct stat named {};
            if (::lstat(name.constData(), &named) != 0 || !S_ISREG(named.st_mode) ||
                named.st_uid != ::getuid())
                continue;
            const int fd =
                ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) continue;
            struct stat opened {};
            // A lock held means its program is alive; the name must still be the file that was locked.
            if (::fstat(fd, &opened) == 0 && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino &&
                ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(name.constData(), &named) == 0 &&
                opened.st_dev == named.st_dev && opened.st_ino == named.st_ino &&
                ::unlink(name.constData()) == 0)
                removed << path;
            ::close(fd);
        }
    }
    return removed;
}

} // namespace olv::monitor
