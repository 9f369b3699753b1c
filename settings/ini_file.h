#pragma once

#include <QString>

#include <cstdint>
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
// written); where the folder is not writable but the file is, the file is rewritten in place once its
// new size is reserved. A refused write throws IniWriteError.
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

    QString readString(const QString& section, const QString& key, const QString& def) const;
    int32_t readInteger(const QString& section, const QString& key, int32_t def) const;

    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int32_t value);
    // The entries in their order, each as writeString would put it, with the file replaced once: all
    // of them are written, or (a refused write) none.
    void writeStrings(const std::vector<IniEntry>& entries);

  private:
    QString path_;
};

} // namespace olv::settings
