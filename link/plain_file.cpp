#include "link/plain_file.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olv::link {

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

bool AppendToPlainFile(const QString& path, const char* bytes, size_t count, bool sync) {
    const int fd = OpenPlainFile(path, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0) return false;
    const off_t start = ::lseek(fd, 0, SEEK_END);
    bool written = WriteAll(fd, bytes, count) && (!sync || SyncPlainFile(fd));
    int error = written ? 0 : errno;
    // A fragment would glue the next record onto it; what fitted of this one goes again.
    if (!written && start >= 0) ::ftruncate(fd, start);
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    errno = error;
    return written;
}

PlainFileContent ReadPlainFile(const QString& path, qint64 maxSize) {
    PlainFileContent content;
    const int fd = OpenPlainFile(path, O_RDONLY);
    if (fd < 0) {
        content.missing = errno == ENOENT;
        return content;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size > maxSize) {
        ::close(fd);
        return content;
    }
    // The size may change while reading; never take more than maxSize bytes.
    QByteArray bytes;
    char buffer[65536];
    bool failed = false;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || bytes.size() + n > maxSize) {
            failed = true;
            break;
        }
        if (n == 0) break;
        bytes.append(buffer, n);
    }
    ::close(fd);
    if (!failed) content.bytes = std::move(bytes);
    return content;
}

} // namespace olv::link
