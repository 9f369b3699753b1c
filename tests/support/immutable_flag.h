#pragma once

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace olv::test {

// Marks a file or folder immutable for its lifetime (chattr +i), which even root cannot write through.
// ok() is false where the file system or the process's rights do not allow the flag.
class ImmutableFlag {
  public:
    explicit ImmutableFlag(const QString& target) {
        fd_ = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK);
        if (fd_ < 0) return;
        int flags = 0;
        if (::ioctl(fd_, FS_IOC_GETFLAGS, &flags) != 0) return;
        flags_ = flags;
        flags |= FS_IMMUTABLE_FL;
        ok_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ~ImmutableFlag() {
        if (ok_) ::ioctl(fd_, FS_IOC_SETFLAGS, &flags_);
        if (fd_ >= 0) ::close(fd_);
    }
    ImmutableFlag(const ImmutableFlag&) = delete;
    ImmutableFlag& operator=(const ImmutableFlag&) = delete;

    bool ok() const { return ok_; }

  private:
    int fd_ = -1;
    int flags_ = 0;
    bool ok_ = false;
};

} // namespace olv::test
