#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace olv::settings {

// A write to a settings file that the system refused (read-only file or folder, full disk, no such
// folder). what() is "Unable to write to <full path>".
class IniWriteError : public std::runtime_error {
  public:
    explicit IniWriteError(const QString& path);
    const QString& path() const { return path_; }

  private:
    QString path_;
};

// Reads an integer value the way the settings files store them: optional sign, then decimal digits,
// or hexadecimal digits after "$", "0x" or "0X". Decimal text must fit a signed 32-bit integer;
// hexadecimal text may use all 32 bits and is taken as two's complement ("$FFFFFFFF" is -1).
// Anything else (empty text, no digits, trailing characters, too large) gives nothing.
std::optional<int32_t> ParseIniInteger(const QString& text);

// One key's value to be written.
struct IniEntry {
    QString section;
    QString key;
    QString value;
};

// The contents of a settings file at one moment, read and changed in memory by the rules of IniFile.
class IniSnapshot {
  public:
    IniSnapshot() = default;
    explicit IniSnapshot(QByteArray bytes, bool exists = true, bool readable = true)
        : bytes_(std::move(bytes)), exists_(exists), readable_(readable) {}

    // Whether the file was there when it was read.
    bool exists() const { return exists_; }
    // False for a file that is there but cannot be read as settings (see IniFile::readable); it reads
    // as empty and is never written.
    bool readable() const { return readable_; }

    QString readString(const QString& section, const QString& key, const QString& def) const;
    int32_t readInteger(const QString& section, const QString& key, int32_t def) const;
    // The value's bytes as they stand in the file: blanks around it and matching quotes dropped, nothing
    // decoded, nothing cut. Nothing when the key is missing.
    std::optional<QByteArray> readBytes(const QString& section, const QString& key) const;
    // The number of the line (1 for the first) that readBytes takes the key's value from, as an editor
    // counts lines; nothing when the key is missing.
    std::optional<int> lineOf(const QString& section, const QString& key) const;

    // Puts the value in as IniFile::writeString would. True when the contents changed.
    bool write(const IniEntry& entry);
    // The entries in their order, each put in as write(entry) would, the lines parsed once for all.
    bool write(const std::vector<IniEntry>& entries);
    // Puts the bytes in as they are, whatever the encoding of the file (line breaks become blanks).
    bool writeBytes(const QString& section, const QString& key, const QByteArray& value);

    const QByteArray& bytes() const { return bytes_; }

  private:
    // The lines and their section and key names, decoded once for all the reads of these contents
    // (a configuration file is read key by key); a write drops them.
    struct Parsed;
    const Parsed& parsed() const;
    mutable std::shared_ptr<const Parsed> parsed_;
    QByteArray bytes_;
    bool exists_ = false;
    bool readable_ = true;
};

// An INI file read and written one key at a time, or several keys in one write.
//
// Reading: section and key names match without regard to case; the first matching key line of the
// sections of that name wins. Blanks around the value are dropped, and a value wrapped in matching
// quotes ('...' or "...") loses them. At most 1023 characters are returned. A key present with an
// empty value reads as empty; a missing key (or an unreadable file) gives the default. Lines that
// start with ';' or '#' are comments.
//
// Writing: every write goes straight to the disk, unless it would leave the file's bytes exactly as
// they are (then the file is not touched, so such a write succeeds even on a read-only file). An
// existing key keeps its line, its spelling and the spacing before the value; only the value changes.
// A new key is placed right after the last key line of the first section of that name (or right after
// its header); a new section is added at the end of the file. Every other byte of the file stays as it
// was. The file keeps its line ending; a new file gets CRLF. Line breaks inside a value are written as
// blanks, so a value can never add a line of its own. The file is replaced through a temporary file in
// the same folder, written and synced completely before it is renamed over the file, so a save that
// fails (a full disk) leaves the old file byte for byte; a symbolic link stays a link (its target is
// written); a file with several names (hard links), or one in a folder that is not writable while the
// file is, is rewritten in place once its new size is reserved, so every name sees the new contents.
// A refused write throws IniWriteError.
//
// One writer at a time: every write is a read-merge-write under an advisory lock (flock) on the file
// itself (on its folder while the file does not exist yet), so that two programs saving one file at
// once take turns and each puts its keys over what the other left. A reader takes the lock shared, so
// it never sees a rewrite in place half done. The lock is checked to still be on the file of that name
// (a save by rename replaces it). A program that holds the lock for more than a few seconds has
// stopped: a write that cannot have the lock by then is refused, a read goes on without it.
//
// Only a regular file of at most 16 MB is read; anything else under the name (a FIFO, a device, a
// socket, a folder) reads as an empty file and is never written: a write to it throws IniWriteError.
//
// Encodings: a UTF-8 byte order mark at the very start of the file is skipped when reading and kept
// when writing. A value (or name) whose bytes are valid UTF-8 and not plain ASCII reads as UTF-8, any
// other as Windows-1251. A value is written back in the encoding its line had; a new key, or one whose
// value was plain ASCII, is written in UTF-8 when the file has a byte order mark, else in Windows-1251
// (a character without such a byte is stored as '?'; text whose Windows-1251 bytes would read as UTF-8
// is stored as UTF-8).
class IniFile {
  public:
    explicit IniFile(const QString& path);

    // The absolute path, fixed when the object was made.
    const QString& path() const { return path_; }
    bool exists() const;
    // False for a file that is there but cannot be read as settings: not a regular file (a FIFO, a
    // device, a folder), too large, or refused by the system. Such a file reads as empty and every
    // write to it is refused.
    bool readable() const;

    // The contents now, read under the shared lock.
    IniSnapshot snapshot() const;
    QString readString(const QString& section, const QString& key, const QString& def) const;
    int32_t readInteger(const QString& section, const QString& key, int32_t def) const;

    // The whole read-merge-write under the lock: reads the file, lets change() read and change its
    // contents, and replaces the file once when they changed. change runs exactly once, on empty
    // contents when the file is missing or cannot be read. Throws IniWriteError, after change has run,
    // when the changed contents cannot be written (refused, an unreadable file, the lock not had).
    void update(const std::function<void(IniSnapshot&)>& change);

    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int32_t value);
    // The entries in their order, each as writeString would put it, with the file replaced once: all
    // of them are written, or (a refused write) none.
    void writeStrings(const std::vector<IniEntry>& entries);

  private:
    QString path_;
};

} // namespace olv::settings
