#include "settings/ini_file.h"

#include "files/plain_file.h"
#include "text/cp1251.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace olv::settings {

namespace {

constexpr qsizetype MaxValueLength = 1023;

struct Line {
    QByteArray text; // without its line break
    QByteArray eol;  // "\r\n", "\n", or empty for a last line without a break
};

std::vector<Line> SplitLines(const QByteArray& bytes) {
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype nl = bytes.indexOf('\n', start);
        if (nl < 0) {
            lines.push_back({bytes.mid(start), {}});
            break;
        }
        const bool crlf = nl > start && bytes[nl - 1] == '\r';
        const qsizetype end = crlf ? nl - 1 : nl;
        lines.push_back({bytes.mid(start, end - start), crlf ? QByteArray("\r\n") : QByteArray("\n")});
        start = nl + 1;
    }
    return lines;
}

QByteArray JoinLines(const std::vector<Line>& lines) {
    QByteArray bytes;
    for (const Line& line : lines)
        bytes += line.text + line.eol;
    return bytes;
}

// The line ending of the file: that of its first line break; CRLF when it has none.
QByteArray LineEnding(const QByteArray& bytes) {
    const qsizetype nl = bytes.indexOf('\n');
    if (nl < 0) return "\r\n";
    return (nl > 0 && bytes[nl - 1] == '\r') ? QByteArray("\r\n") : QByteArray("\n");
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

QByteArray TrimBlanks(const QByteArray& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// Hand-edited files may begin with a UTF-8 byte order mark. It is not part of the first line: it is
// skipped when reading and put back in front when writing.
const QByteArray Bom("\xEF\xBB\xBF");

QByteArray WithoutBom(const QByteArray& bytes, bool& hadBom) {
    hadBom = bytes.startsWith(Bom);
    return hadBom ? bytes.mid(Bom.size()) : bytes;
}

bool IsAscii(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
}

// Text that is valid UTF-8 and not plain ASCII was written by a UTF-8 editor: Windows-1251 text almost
// never is (its letters are all lead bytes of UTF-8, and two of them never follow each other in it).
// Invalid sequences, overlong forms and encoded surrogates decode to U+FFFD and so do not survive the
// round trip.
bool IsUtf8Text(const QByteArray& bytes) {
    return !IsAscii(bytes) && QString::fromUtf8(bytes).toUtf8() == bytes;
}

QString Decode(const QByteArray& bytes) {
    return IsUtf8Text(bytes) ? QString::fromUtf8(bytes) : text::FromCp1251(bytes);
}

// The name of a section header line ("[name]", blanks allowed around), or nothing.
std::optional<QByteArray> SectionName(const QByteArray& text) {
    const QByteArray trimmed = TrimBlanks(text);
    if (!trimmed.startsWith('[')) return std::nullopt;
    qsizetype close = trimmed.indexOf(']');
    if (close < 0) close = trimmed.size();
    return TrimBlanks(trimmed.mid(1, close - 1));
}

struct KeyLine {
    QByteArray key;
    qsizetype equals = 0; // position of '=' in the line
};

// The key of a "key=value" line, or nothing for headers, comments and other lines.
std::optional<KeyLine> ParseKeyLine(const QByteArray& text) {
    const QByteArray trimmed = TrimBlanks(text);
    if (trimmed.isEmpty() || trimmed.startsWith('[') || trimmed.startsWith(';') || trimmed.startsWith('#'))
        return std::nullopt;
    const qsizetype equals = text.indexOf('=');
    if (equals < 0) return std::nullopt;
    QByteArray key = TrimBlanks(text.left(equals));
    if (key.isEmpty()) return std::nullopt;
    return KeyLine{std::move(key), equals};
}

struct Location {
    std::optional<size_t> keyLine;     // the line of the key, when present
    std::optional<size_t> sectionLine; // the header of the first section of that name
    std::optional<size_t> lastKeyLine; // the last key line of that first section
};

// What a line is for the lookups: a section header or a key line, with its name decoded.
struct LineName {
    enum Kind { Other, Section, Key } kind = Other;
    QString name;
};

LineName NameOf(const QByteArray& text) {
    if (const auto name = SectionName(text)) return {LineName::Section, Decode(*name)};
    if (const auto keyLine = ParseKeyLine(text)) return {LineName::Key, Decode(keyLine->key)};
    return {};
}

std::vector<LineName> NamesOf(const std::vector<Line>& lines) {
    std::vector<LineName> names;
    names.reserve(lines.size());
    for (const Line& line : lines)
        names.push_back(NameOf(line.text));
    return names;
}

Location Find(const std::vector<LineName>& names, const QString& section, const QString& key) {
    Location where;
    bool inSection = false;
    bool inFirstSection = false;
    for (size_t i = 0; i < names.size(); ++i) {
        const LineName& line = names[i];
        if (line.kind == LineName::Section) {
            inSection = line.name.compare(section, Qt::CaseInsensitive) == 0;
            inFirstSection = inSection && !where.sectionLine;
            if (inFirstSection) where.sectionLine = i;
            continue;
        }
        if (!inSection || line.kind != LineName::Key) continue;
        if (inFirstSection) where.lastKeyLine = i;
        if (!where.keyLine && line.name.compare(key, Qt::CaseInsensitive) == 0) where.keyLine = i;
    }
    return where;
}

// A settings file larger than this is not read: it cannot be one of ours, and reading it whole could
// take all the memory (a link to /dev/zero is refused earlier, as it is no regular file).
constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

// A stored text never carries a line break: it would end the line and start another one. Windows-1251
// text whose bytes happen to form UTF-8 would read back as other letters; it is stored as UTF-8.
QByteArray Encode(const QString& text, bool utf8) {
    QByteArray bytes = utf8 ? text.toUtf8() : text::ToCp1251(text);
    if (!utf8 && IsUtf8Text(bytes)) bytes = text.toUtf8();
    bytes.replace('\r', ' ');
    bytes.replace('\n', ' ');
    return bytes;
}

// The file that a save replaces: a symbolic link is followed to its end, so that the link stays a link
// and its target gets the new contents.
QString SaveTarget(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink()) return path;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

// For a folder where no new file can be made: the existing file is rewritten where it is. The new size
// is reserved first, so a full disk or a file size limit refuses the save before the first byte of
// the old contents changes.
void RewriteInPlace(const QString& path, const QString& target, const QByteArray& bytes) {
    const int fd = files::OpenPlainFile(target, O_WRONLY);
    if (fd < 0) throw IniWriteError(path);
    const off_t size = static_cast<off_t>(bytes.size());
    bool written = size == 0 || ::posix_fallocate(fd, 0, size) == 0;
    // A fresh descriptor writes from the start of the file.
    written = written && files::WriteAll(fd, bytes.constData(), static_cast<size_t>(size)) &&
              ::ftruncate(fd, size) == 0 && files::SyncPlainFile(fd);
    if (::close(fd) != 0) written = false;
    if (!written) throw IniWriteError(path);
}

// Replaces the file's contents all or nothing (WriteWholeFile); the new file keeps the old one's
// permissions (and owner, where allowed). Only a regular file (or none yet) is replaced. A file with
// several names, or one where no temporary file can be made next to it, is rewritten in place (see
// RewriteInPlace).
void Store(const QString& path, const QByteArray& bytes) {
    const QString target = SaveTarget(path);
    const QByteArray name = QFile::encodeName(target);
    struct stat old {};
    const bool existing = ::stat(name.constData(), &old) == 0;
    if (existing ? !S_ISREG(old.st_mode) : errno != ENOENT) throw IniWriteError(path);
    // A file the user made read-only stays as it is, although the folder would allow replacing it.
    if (existing && ::access(name.constData(), W_OK) != 0) throw IniWriteError(path);
    // A new file would take only this name; the file's other names would keep the old contents.
    if (existing && old.st_nlink > 1) {
        RewriteInPlace(path, target, bytes);
        return;
    }

    switch (
        files::WriteWholeFile(target, bytes.constData(), size_t(bytes.size()), existing ? &old : nullptr)) {
    case files::WholeFileWrite::Written:
        return;
    case files::WholeFileWrite::NoTemporaryFile:
        if (!existing) throw IniWriteError(path);
        RewriteInPlace(path, target, bytes);
        return;
    case files::WholeFileWrite::Refused:
        throw IniWriteError(path);
    }
}

// How long a save or a read waits for another program's save of the same file. A save holds the lock
// for milliseconds; one that holds it for seconds has stopped.
constexpr std::chrono::milliseconds LockPatience{3000};

bool SameFile(int fd, const QByteArray& name) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(name.constData(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// The contents of a settings file, read under an advisory lock (flock) that lasts as long as the object.
// The lock is on the file itself, so that every name of it (a hard link in another folder, a symbolic
// link) shares it, and no lock file is left next to it; while there is no file, the folder is locked
// for the first save. A lock taken on a file that a save replaced (by rename) meanwhile is let go and
// taken on the new one.
class LockedContents {
  public:
    LockedContents(const QString& target, int operation) {
        const QByteArray name = QFile::encodeName(target);
        const auto deadline = std::chrono::steady_clock::now() + LockPatience;
        const auto left = [&] {
            return std::max(std::chrono::milliseconds(0),
                            std::chrono::duration_cast<std::chrono::milliseconds>(
                                deadline - std::chrono::steady_clock::now()));
        };
        for (;;) {
            fd_ = files::OpenPlainFile(target, O_RDONLY);
            if (fd_ >= 0) {
                exists = true;
                if (!files::LockWithin(fd_, operation, left())) {
                    // Not in time, or a file system without these locks: read as it is.
                    timedOut = errno == EWOULDBLOCK;
                } else if (!SameFile(fd_, name)) {
                    release();
                    continue;
                } else {
                    locked = true;
                }
                bytes = files::ReadOpenFile(fd_, MaxFileSize);
                return;
            }
            if (errno != ENOENT) {
                // Not a regular file, or refused by the system: nothing to read, never written.
                exists = errno != ENOTDIR;
                bytes.reset();
                return;
            }
            bytes = QByteArray();
            if (operation == LOCK_SH) return;
            fd_ = ::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd_ < 0) return; // a folder that cannot be locked: the save goes on unlocked
            if (!files::LockWithin(fd_, LOCK_EX, left())) {
                timedOut = errno == EWOULDBLOCK;
                return;
            }
            struct stat st {};
            if (::stat(name.constData(), &st) != 0 && errno == ENOENT) {
                locked = true;
                return;
            }
            release(); // another program made the file meanwhile: its lock is the one to take
        }
    }
    ~LockedContents() { release(); }
    LockedContents(const LockedContents&) = delete;
    LockedContents& operator=(const LockedContents&) = delete;

    std::optional<QByteArray> bytes; // nothing: there but not readable as settings
    bool exists = false;
    bool locked = false;
    bool timedOut = false; // another program held the lock too long

  private:
    void release() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_ = -1;
};

int DigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

} // namespace

IniWriteError::IniWriteError(const QString& path)
    : std::runtime_error("Unable to write to " + path.toStdString()), path_(path) {}

std::optional<int32_t> ParseIniInteger(const QString& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return std::nullopt;

    // Decimal must fit int32; hexadecimal may fill all 32 bits.
    const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i]);
        if (digit < 0 || digit >= base) return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit) return std::nullopt;
    }
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);
}

IniFile::IniFile(const QString& path) : path_(QFileInfo(path).absoluteFilePath()) {}

bool IniFile::exists() const {
    return QFileInfo::exists(path_);
}

bool IniFile::readable() const {
    return snapshot().readable();
}

IniSnapshot IniFile::snapshot() const {
    const LockedContents contents(SaveTarget(path_), LOCK_SH);
    return IniSnapshot(contents.bytes.value_or(QByteArray()), contents.exists, contents.bytes.has_value());
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
    return snapshot().readString(section, key, def);
}

int32_t IniFile::readInteger(const QString& section, const QString& key, int32_t def) const {
    return snapshot().readInteger(section, key, def);
}

struct IniSnapshot::Parsed {
    std::vector<Line> lines;
    std::vector<LineName> names;
};

const IniSnapshot::Parsed& IniSnapshot::parsed() const {
    if (!parsed_) {
        bool hadBom = false;
        auto parsed = std::make_shared<Parsed>();
        parsed->lines = SplitLines(WithoutBom(bytes_, hadBom));
        parsed->names = NamesOf(parsed->lines);
        parsed_ = std::move(parsed);
    }
    return *parsed_;
}

std::optional<QByteArray> IniSnapshot::readBytes(const QString& section, const QString& key) const {
    const Parsed& file = parsed();
    const Location where = Find(file.names, section, key);
    if (!where.keyLine) return std::nullopt;
    const QByteArray& text = file.lines[*where.keyLine].text;
    QByteArray value = TrimBlanks(text.mid(text.indexOf('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

std::optional<int> IniSnapshot::lineOf(const QString& section, const QString& key) const {
    const Location where = Find(parsed().names, section, key);
    if (!where.keyLine) return std::nullopt;
    return static_cast<int>(*where.keyLine) + 1;
}

QString IniSnapshot::readString(const QString& section, const QString& key, const QString& def) const {
    const std::optional<QByteArray> value = readBytes(section, key);
    if (!value) return def;
    QString text16 = Decode(*value).left(MaxValueLength);
    if (!text16.isEmpty() && text16.back().isHighSurrogate()) text16.chop(1);
    return text16;
}

int32_t IniSnapshot::readInteger(const QString& section, const QString& key, int32_t def) const {
    return ParseIniInteger(readString(section, key, QString())).value_or(def);
}

namespace {

// The lines of a file's contents with what each is for the lookups, parsed once for all the entries
// of one write and kept in step with every change.
struct EditedLines {
    explicit EditedLines(const QByteArray& bytes) {
        const QByteArray body = WithoutBom(bytes, hadBom);
        eol = LineEnding(body);
        lines = SplitLines(body);
        names = NamesOf(lines);
    }

    QByteArray bytes() const { return (hadBom ? Bom : QByteArray()) + JoinLines(lines); }

    // A last line that gains a line break: a CR at its end now belongs to the break, as a new read of
    // the bytes would split them.
    void giveBreak(size_t i) {
        Line& line = lines[i];
        line.eol = eol;
        if (line.eol == "\n" && line.text.endsWith('\r')) {
            line.text.chop(1);
            line.eol = "\r\n";
        }
        names[i] = NameOf(line.text);
    }

    void insert(size_t i, Line line) {
        names.insert(names.begin() + static_cast<std::ptrdiff_t>(i), NameOf(line.text));
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i), std::move(line));
    }

    bool hadBom = false;
    QByteArray eol; // that of the file's first line break; stays so, as every change keeps that break
    std::vector<Line> lines;
    std::vector<LineName> names;
};

// Puts one key's value into the lines of a file, as writeString describes; raw bytes, when given, go
// in as they are instead of the encoded value.
void SetValue(EditedLines& file, const IniEntry& entry, const std::optional<QByteArray>& raw = std::nullopt) {
    std::vector<Line>& lines = file.lines;
    const Location where = Find(file.names, entry.section, entry.key);

    // A value goes back in the encoding it was read in, so that a line written by a UTF-8 editor stays
    // readable in it. A new key, or one with a plain ASCII value, follows the file: UTF-8 after a byte
    // order mark, Windows-1251 otherwise.
    bool utf8 = file.hadBom;
    if (where.keyLine) {
        const QByteArray& text = lines[*where.keyLine].text;
        const QByteArray old = TrimBlanks(text.mid(text.indexOf('=') + 1));
        if (!IsAscii(old)) utf8 = IsUtf8Text(old);
    }
    // Blanks at the start of a value are never read back; kept, they would pile up behind the spacing
    // that an existing line keeps after its '=', growing the line at every write of the same value.
    QByteArray encoded =
        raw ? QByteArray(*raw).replace('\r', ' ').replace('\n', ' ') : Encode(entry.value, utf8);
    while (!encoded.isEmpty() && IsBlank(encoded.front()))
        encoded.remove(0, 1);

    if (where.keyLine) {
        // Keep the key as spelled and the blanks after '='; replace the rest.
        QByteArray& text = lines[*where.keyLine].text;
        qsizetype start = text.indexOf('=') + 1;
        while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
            ++start;
        text = text.left(start) + encoded;
        file.names[*where.keyLine] = NameOf(text);
    } else if (where.sectionLine) {
        const size_t after = where.lastKeyLine.value_or(*where.sectionLine);
        Line added{Encode(entry.key, utf8) + '=' + encoded, file.eol};
        // A last line without a break keeps that property: the new line becomes the last one.
        if (lines[after].eol.isEmpty()) {
            added.eol.clear();
            file.giveBreak(after);
        }
        file.insert(after + 1, std::move(added));
    } else {
        if (!lines.empty() && lines.back().eol.isEmpty()) file.giveBreak(lines.size() - 1);
        file.insert(lines.size(), {'[' + Encode(entry.section, utf8) + ']', file.eol});
        file.insert(lines.size(), {Encode(entry.key, utf8) + '=' + encoded, file.eol});
    }
}

// Puts the entries into a file's bytes, in their order, with the lines parsed once; true when the
// bytes changed.
bool Change(QByteArray& bytes, const std::vector<IniEntry>& entries) {
    if (entries.empty()) return false;
    EditedLines file(bytes);
    for (const IniEntry& entry : entries)
        SetValue(file, entry);
    QByteArray updated = file.bytes();
    if (updated == bytes) return false;
    bytes = std::move(updated);
    return true;
}

bool Change(QByteArray& bytes, const IniEntry& entry, const std::optional<QByteArray>& raw) {
    EditedLines file(bytes);
    SetValue(file, entry, raw);
    QByteArray updated = file.bytes();
    if (updated == bytes) return false;
    bytes = std::move(updated);
    return true;
}

} // namespace

bool IniSnapshot::write(const IniEntry& entry) {
    parsed_.reset();
    return Change(bytes_, entry, std::nullopt);
}

bool IniSnapshot::write(const std::vector<IniEntry>& entries) {
    parsed_.reset();
    return Change(bytes_, entries);
}

bool IniSnapshot::writeBytes(const QString& section, const QString& key, const QByteArray& value) {
    parsed_.reset();
    return Change(bytes_, {section, key, QString()}, value);
}

void IniFile::update(const std::function<void(IniSnapshot&)>& change) {
    const LockedContents contents(SaveTarget(path_), LOCK_EX);
    const QByteArray before = contents.bytes.value_or(QByteArray());
    IniSnapshot snapshot(before, contents.exists, contents.bytes.has_value());
    change(snapshot);
    // Loading writes every key back; most of those writes change nothing and need no disk access.
    if (snapshot.bytes() == before) return;
    // A file that exists but cannot be read is never replaced: its contents would be lost.
    if (!contents.bytes || contents.timedOut) throw IniWriteError(path_);
    // No save of this file runs elsewhere now: a temporary file next to it is a killed save's.
    if (contents.locked) files::RemoveLeftTemporaries(SaveTarget(path_));
    Store(path_, snapshot.bytes());
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    writeStrings({{section, key, value}});
}

void IniFile::writeStrings(const std::vector<IniEntry>& entries) {
    update([&](IniSnapshot& file) { file.write(entries); });
}

void IniFile::writeInteger(const QString& section, const QString& key, int32_t value) {
    writeString(section, key, QString::number(value));
}

} // namespace olv::settings
