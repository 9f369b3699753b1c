#include "files/plain_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olv::files {

int OpenPlainFile(const QString& path, int flags, unsigned mode) {
    if (path.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer (and for writing, for a
    // reader); opening a terminal could wait for its carrier. O_NOCTTY: a terminal under the name must
    // not become the process's controlling terminal. fstat then refuses all of them.
    const int fd =
        ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

bool WriteAll(int fd, const char* bytes, size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        bytes += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

namespace {
std::function<void(int)>& SyncWatcher() {
    static std::function<void(int)> watcher;
    return watcher;
}
} // namespace

bool SyncPlainFile(int fd) {
    if (SyncWatcher()) SyncWatcher()(fd);
    return ::fsync(fd) == 0;
}

void WatchPlainFileSyncs(std::function<void(int fd)> watcher) {
    SyncWatcher() = std::move(watcher);
}

bool LockWithin(int fd, int operation, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        const struct timespec pause { 0, 2'000'000 };
        ::nanosleep(&pause, nullptr);
    }
}

namespace {

// An appender holds the lock for the length of one write; one that holds it longer has stopped.
constexpr std::chrono::milliseconds AppendPatience{200};

// Locks a file for appending or cutting back. A file system without such locks is used unlocked; a
// lock that another program does not give up in time refuses the operation (errno EWOULDBLOCK).
bool LockForAppend(int fd) {
    if (LockWithin(fd, LOCK_EX, AppendPatience)) return true;
    return errno != EWOULDBLOCK;
}

} // namespace

std::optional<AppendedRecord> AppendRecord(const QString& path, const char* bytes, size_t count, bool sync) {
    const int fd = OpenPlainFile(path, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    bool written = LockForAppend(fd) && ::fstat(fd, &st) == 0;
    const off_t start = written ? ::lseek(fd, 0, SEEK_END) : -1;
    written = written && start >= 0 && WriteAll(fd, bytes, count) && (!sync || SyncPlainFile(fd));
    int error = written ? 0 : errno;
    // A fragment would glue the next record onto it; what fitted of this one goes again. The lock keeps
    // any other writer's record from landing behind it meanwhile.
    if (!written && start >= 0) ::ftruncate(fd, start);
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    errno = error;
    if (!written) return std::nullopt;
    return AppendedRecord{st.st_dev, st.st_ino, start, start + static_cast<off_t>(count)};
}

bool AppendToPlainFile(const QString& path, const char* bytes, size_t count, bool sync) {
    return AppendRecord(path, bytes, count, sync).has_value();
}

bool RemoveLastRecord(const QString& path, const AppendedRecord& record) {
    const int fd = OpenPlainFile(path, O_WRONLY);
    if (fd < 0) return false;
    struct stat st {};
    const bool removed = LockForAppend(fd) && ::fstat(fd, &st) == 0 && st.st_dev == record.device &&
                         st.st_ino == record.inode && st.st_size == record.end &&
                         ::ftruncate(fd, record.begin) == 0;
    ::close(fd);
    return removed;
}

WholeFileWrite WriteWholeFile(const QString& path, const char* bytes, size_t count, const struct stat* like) {
    return WriteWholeFileFrom(path, [&](int fd) { return WriteAll(fd, bytes, count); }, like);
}

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString& reason) {
    if (WriteWholeFile(path, bytes.constData(), static_cast<size_t>(bytes.size())) == WholeFileWrite::Written)
        return true;
    reason = FileErrorText(errno);
    return false;
}

WholeFileWrite WriteWholeFileFrom(const QString& path, const std::function<bool(int fd)>& fill,
                                  const struct stat* like) {
    struct stat existing {};
    if (::stat(QFile::encodeName(path).constData(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        errno = EINVAL;
        return WholeFileWrite::Refused;
    }
    const QFileInfo info(path);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    QByteArray temp = folder + "/." + QFile::encodeName(info.fileName()) + ".olv-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return WholeFileWrite::NoTemporaryFile;
    mode_t mode = 0;
    if (like) {
        mode = like->st_mode & 07777;
        [[maybe_unused]] const int owned = ::fchown(fd, like->st_uid, like->st_gid); // only root may
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool written = ::fchmod(fd, mode) == 0 && fill(fd) && SyncPlainFile(fd);
    if (::close(fd) != 0) written = false;
    if (!written || ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        errno = error;
        return WholeFileWrite::Refused;
    }
    // Makes the rename survive a power cut. A failure here is not reported: the new file is in place.
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return WholeFileWrite::Written;
}

void RemoveLeftTemporaries(const QString& path) {
    const QFileInfo info(path);
    const QString prefix = u'.' + info.fileName() + QStringLiteral(".olv-");
    const QDir folder = info.absoluteDir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks))
        if (name.size() == prefix.size() + 6 && name.startsWith(prefix)) QFile::remove(folder.filePath(name));
}

PlainFileContent ReadPlainFile(const QString& path, qint64 maxSize) {
    PlainFileContent content;
    const int fd = OpenPlainFile(path, O_RDONLY);
    if (fd < 0) {
        content.missing = errno == ENOENT;
        return content;
    }
    content.bytes = ReadOpenFile(fd, maxSize);
    ::close(fd);
    return content;
}

std::optional<QByteArray> ReadOpenFile(int fd, qint64 maxSize) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size > maxSize || ::lseek(fd, 0, SEEK_SET) != 0) return std::nullopt;
    // The size may change while reading; never take more than maxSize bytes.
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || bytes.size() + n > maxSize) return std::nullopt;
        if (n == 0) return bytes;
        bytes.append(buffer, n);
    }
}

QString FileErrorText(int error) {
    if (error == EINVAL) return QStringLiteral("это не обычный файл (папка, канал или устройство)");
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace olv::files
