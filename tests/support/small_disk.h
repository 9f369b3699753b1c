#pragma once

#include <QFile>
#include <QTemporaryDir>

#include <sched.h>
#include <sys/mount.h>

namespace olv::test {

// A folder on a 16 kB tmpfs, half taken by a filler, while it lives: writes into it fail with ENOSPC
// after 8 kB. It is mounted in a mount namespace of this process's own, so that nothing outside sees
// it; that needs root. giveBack() takes the filler away.
class SmallDisk {
  public:
    SmallDisk() {
        static const bool ownMounts =
            ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        QFile filler(path() + "/.filler");
        ok_ = ownMounts &&
              ::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", 0, "size=16k") == 0 &&
              filler.open(QIODevice::WriteOnly) && filler.write(QByteArray(8192, 'f')) == 8192 &&
              filler.flush();
    }
    // A folder never mounted stays as it is.
    ~SmallDisk() { ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH); }

    // False when the tmpfs could not be mounted and filled (it needs root).
    bool ok() const { return ok_; }
    QString path() const { return dir_.path(); }
    void giveBack() { QFile::remove(path() + "/.filler"); }

  private:
    QTemporaryDir dir_;
    bool ok_ = false;
};

} // namespace olv::test
