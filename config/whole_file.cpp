#include "config/whole_file.h"

#include "link/plain_file.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olv::config {

namespace {

QString SystemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString& reason) {
    const QByteArray name = QFile::encodeName(path);
    struct stat old {};
    const bool existing = ::stat(name.constData(), &old) == 0;
    if (existing && !S_ISREG(old.st_mode)) {
        reason = QStringLiteral("это не обычный файл (папка, канал или устройство)");
        return false;
    }
    const QFileInfo info(path);
    QByteArray temp =
        QFile::encodeName(info.absolutePath()) + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        reason = SystemReason(errno);
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool written = ::fchmod(fd, existing ? (old.st_mode & 07777) : (0666 & ~mask)) == 0 &&
                   link::WriteAll(fd, bytes.constData(), static_cast<size_t>(bytes.size())) &&
                   ::fsync(fd) == 0;
    int error = written ? 0 : errno;
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && ::rename(temp.constData(), name.constData()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        ::unlink(temp.constData());
        reason = SystemReason(error);
        return false;
    }
    const int folder =
        ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

} // namespace olv::config
