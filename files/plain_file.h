#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <sys/types.h>

namespace olv::files {

// Opens a path only when it names a regular file (after following symbolic links). The open itself
// never blocks: a FIFO without a writer, a device or a socket is refused by fstat before any read or
// write could wait on it; a directory is refused as well. Returns the descriptor in blocking mode, or
// -1 with errno set (EINVAL for a file that is not regular). flags are those of open(2); O_NONBLOCK,
// O_NOCTTY and O_CLOEXEC are added; mode is used with O_CREAT.
int OpenPlainFile(const QString& path, int flags, unsigned mode = 0666);

// Appends the bytes to a regular file as one record, creating the file when missing, and closes it
// again. The record is whole or absent: when not every byte could be written (a full disk, a file
// size limit) the file is cut back to where the record began. With sync the record is on the disk
// before the call returns. False, with errno set, when the file cannot be opened (not a regular file
// included: EINVAL), the record could not be written whole, the sync failed, or another program held the
// file's lock far longer than one append takes (EWOULDBLOCK).
bool AppendToPlainFile(const QString& path, const char* bytes, size_t count, bool sync = false);

// Where an appended record landed: the file (device and inode) and the bytes it took.
struct AppendedRecord {
    dev_t device = 0;
    ino_t inode = 0;
    off_t begin = 0;
    off_t end = 0;
};

// As AppendToPlainFile, and tells where the record landed; nothing (errno set) when it was not written.
// Two programs appending to one file take turns (an advisory lock for the length of one record), so
// that cutting back a short write never cuts the other's record.
std::optional<AppendedRecord> AppendRecord(const QString& path, const char* bytes, size_t count,
                                           bool sync = false);

// Takes a record appended earlier off the file again, when it is still the last thing in that same
// file (not a file that took its name since, not one that grew after it). False when it is not.
bool RemoveLastRecord(const QString& path, const AppendedRecord& record);

// Takes an advisory lock (flock operation LOCK_SH or LOCK_EX) on an open file, trying until the time is
// up, so that a program that stopped while holding the lock never holds this one up for long. False
// when the lock could not be had in time or the file cannot be locked.
bool LockWithin(int fd, int operation, std::chrono::milliseconds patience);

// How a whole-file write ended.
enum class WholeFileWrite { Written, NoTemporaryFile, Refused };

// Writes a file whole or not at all: the bytes go to a temporary file next to it (".NAME.olv-XXXXXX"),
// written and synced completely before it is renamed over path, and the folder is synced after. Any
// failure (a full disk, a file size limit) removes the temporary file and leaves what was under the
// name as it was, errno set. The new file takes the permissions and, where allowed, the owner of like;
// without it 0666 less the umask. NoTemporaryFile: none could be made in that folder.
// A name that is there and is no regular file (a folder, a FIFO, a device) is never replaced: Refused,
// errno EINVAL.
WholeFileWrite WriteWholeFile(const QString& path, const char* bytes, size_t count,
                              const struct stat* like = nullptr);
// WriteWholeFile of a byte array: true when it was written; else false with the reason in words.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString& reason);
// The same with the contents written by fill into the temporary file's descriptor (for contents too
// large to hold in memory); fill returns false, errno set, when it could not write them all.
WholeFileWrite WriteWholeFileFrom(const QString& path, const std::function<bool(int fd)>& fill,
                                  const struct stat* like = nullptr);

// Removes the temporary files of WriteWholeFile that a program killed while writing path left behind
// (regular files only). Only while no other program can be writing that file (under its lock).
void RemoveLeftTemporaries(const QString& path);

// The errno of a file that could not be opened, written or read, in words for the user: EINVAL, with
// which every function here refuses a name that is no regular file, as "это не обычный файл (папка,
// канал или устройство)", any other code as the system words it.
QString FileErrorText(int error);

// Writes every byte, going on after short writes and interrupted calls. False on any other failure.
bool WriteAll(int fd, const char* bytes, size_t count);

// fsync(2) of a file the program writes; false when it failed. Every such sync goes through here so
// that a test can see when it happens: a watcher, when one is set, is called with the descriptor
// just before the sync. Only tests set one; an empty function removes it.
bool SyncPlainFile(int fd);
void WatchPlainFileSyncs(std::function<void(int fd)> watcher);

// The whole content of a regular file of at most maxSize bytes. Nothing when it is missing, not a
// regular file, larger than maxSize or unreadable; missing tells the first case from the others.
struct PlainFileContent {
    std::optional<QByteArray> bytes;
    bool missing = false;
};
PlainFileContent ReadPlainFile(const QString& path, qint64 maxSize);
// The same for a file already open (read from its start): nothing when larger than maxSize or unreadable.
std::optional<QByteArray> ReadOpenFile(int fd, qint64 maxSize);

} // namespace olv::files
