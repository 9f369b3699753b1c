#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

// Readable failure messages for Qt texts and byte strings.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"';
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            *os << "\\r";
        else if (c == '\n')
            *os << "\\n";
        else if (u < 0x20 || u >= 0x7F)
            *os << "\\x"
                << "0123456789ABCDEF"[u >> 4] << "0123456789ABCDEF"[u & 15];
        else
            *os << c;
    }
    *os << '"';
}

namespace olv::test {

// Every test runs in a fresh, empty working directory; the previous one is restored afterwards.
class WorkDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previous_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    }
    void TearDown() override { QDir::setCurrent(previous_); }

    QString path(const QString& name) const { return dir_.filePath(name); }

    static void writeFile(const QString& file, const QByteArray& bytes) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    static QByteArray readFile(const QString& file) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll();
    }

  private:
    QTemporaryDir dir_;
    QString previous_;
};

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
