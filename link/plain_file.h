#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace olv::link {

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
// included: EINVAL), the record could not be written whole, or the sync failed.
bool AppendToPlainFile(const QString& path, const char* bytes, size_t count, bool sync = false);

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

} // namespace olv::link
