#pragma once

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olv::test {

// Makes a file or folder unwritable for its lifetime: with the immutable flag (chattr +i), which even
// root cannot write through, or, for a user other than root (who may not set the flag), by taking
// away its write permissions. ok() is false where neither works: root on a file system without the
// flag. A test then fails with ImmutableFlag::Refused as its reason.
class ImmutableFlag {
  public:
    static constexpr const char* Refused =
        "cannot make the file unwritable: the file system refuses the immutable flag, and root passes "
        "through permissions";

    explicit ImmutableFlag(const QString& target) : name_(QFile::encodeName(target)) {
        fd_ = ::open(name_.constData(), O_RDONLY | O_NONBLOCK);
        int flags = 0;
        if (fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
            flags_ = flags;
            flags |= FS_IMMUTABLE_FL;
            ok_ = immutable_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
        }
        struct stat st {};
        if (!ok_ && ::geteuid() != 0 && ::stat(name_.constData(), &st) == 0) {
            mode_ = st.st_mode & 07777;
            ok_ = readOnly_ = ::chmod(name_.constData(), mode_ & ~mode_t(0222)) == 0;
        }
    }
    ~ImmutableFlag() {
        if (immutable_) ::ioctl(fd_, FS_IOC_SETFLAGS, &flags_);
        if (readOnly_) ::chmod(name_.constData(), mode_);
        if (fd_ >= 0) ::close(fd_);
    }
    ImmutableFlag(const ImmutableFlag&) = delete;
    ImmutableFlag& operator=(const ImmutableFlag&) = delete;

    bool ok() const { return ok_; }
    bool immutable() const { return immutable_; } // the flag itself, not only the permissions

  private:
    QByteArray name_;
    int fd_ = -1;
    int flags_ = 0;
    mode_t mode_ = 0;
    bool immutable_ = false;
    bool readOnly_ = false;
    bool ok_ = false;
};

} // namespace olv::test
