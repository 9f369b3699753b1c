// The whole-file write: what a full disk leaves, and what it never replaces.
#include "files/plain_file.h"
#include "tests/settings/settings_test_support.h"
#include "tests/support/file_size_limit.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace olv::files;
using olv::test::FileSizeLimit;

namespace {

class PlainFileTest : public olv::test::WorkDirTest {};

} // namespace

TEST_F(PlainFileTest, WholeFileOnAFullDiskLeavesNothingAndTheOldFileAlone) {
    writeFile(path("rec.pdf"), "old");
    QString reason;
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.ok());
        EXPECT_FALSE(WriteWholeFile(path("rec.pdf"), QByteArray(5000, 'x'), reason));
        EXPECT_FALSE(WriteWholeFile(path("new.pdf"), QByteArray(5000, 'x'), reason));
    }
    EXPECT_EQ(QDir(path("")).entryList(QDir::Files | QDir::Hidden), QStringList{"rec.pdf"});
    EXPECT_EQ(readFile(path("rec.pdf")), "old");
    EXPECT_TRUE(WriteWholeFile(path("rec.pdf"), "new", reason));
    EXPECT_EQ(readFile(path("rec.pdf")), "new");

    // A folder or a FIFO under the name is never replaced by a file.
    ASSERT_TRUE(QDir(path("")).mkdir("dir.pdf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.pdf")).constData(), 0644), 0);
    for (const char* name : {"dir.pdf", "fifo.pdf"}) {
        EXPECT_FALSE(WriteWholeFile(path(name), "new", reason)) << name;
        EXPECT_EQ(reason, QStringLiteral("это не обычный файл (папка, канал или устройство)")) << name;
    }
    EXPECT_TRUE(QFileInfo(path("dir.pdf")).isDir());
    EXPECT_FALSE(QFileInfo(path("fifo.pdf")).isFile());
}

// A name that is no regular file has words of its own; every other failure is told as the system tells
// it, not as that.
TEST(FileErrorText, NamesWhatIsNoRegularFileAndOtherwiseTheSystemsWords) {
    EXPECT_EQ(FileErrorText(EINVAL), QStringLiteral("это не обычный файл (папка, канал или устройство)"));
    for (int error : {ENOSPC, EFBIG, EACCES, ENOENT, EROFS, 0, 9999})
        EXPECT_EQ(FileErrorText(error), QString::fromLocal8Bit(std::strerror(error))) << error;
}
