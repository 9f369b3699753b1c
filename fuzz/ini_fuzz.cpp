// Any settings file, then one write of a key, through the INI editor.
//
// Input: a header line, then the file's bytes. The header (up to the first '\n') is
// "<mode>\t<section>\t<key>\t<value>"; mode 'i' writes the value as an integer (parsed from the value
// text; text that does not parse writes the length of the file), anything else as text. Characters
// that would make a name something else ('[', ']', '=', ';', '#', line breaks, blanks at the ends) are
// replaced in section and key names, as the program's own names never hold them; the value is taken
// as it comes, line breaks included.
//
// Invariants:
//   - every line of the file that the write does not touch is byte-identical and in order: at most one
//     existing line changes (the key's line, keeping everything up to its '='; or a last line that only
//     gains a line break), and at most two new lines appear (a section header and the key);
//   - a UTF-8 byte order mark at the start of the file stays there, and is not part of the first line;
//   - reading the key back gives the value written, as the reading rules make it (line breaks become
//     blanks, blanks at the ends and matching quotes are dropped, at most 1023 characters), stored in
//     Windows-1251 (characters without a byte there read back as '?') or in UTF-8 (read back exactly);
//   - writing the same value again leaves the file alone: same bytes, same inode;
//   - a second read of another key of the file gives the same answer before and after the write.
#include "fuzz/fuzz_check.h"

#include "settings/ini_file.h"
#include "text/cp1251.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using olv::fuzz::Require;
using olv::settings::IniFile;

namespace {

QString WorkFile() {
    static const QString path = [] {
        // Every write syncs the file to disk; in memory (/dev/shm) that costs next to nothing.
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/olv-ini-fuzz-XXXXXX";
        const char* dir = ::mkdtemp(pattern.data());
        Require(dir != nullptr, "a temporary folder can be made");
        static std::string made = dir;
        std::atexit([] {
            ::unlink((made + "/fuzz.ini").c_str());
            ::rmdir(made.c_str());
        });
        return QString::fromLocal8Bit(dir) + "/fuzz.ini";
    }();
    return path;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ino_t Inode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// Lines with their terminators; a lone CR does not end a line.
std::vector<QByteArray> Lines(const QByteArray& bytes) {
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype nl = bytes.indexOf('\n', start);
        const qsizetype end = nl < 0 ? bytes.size() : nl + 1;
        lines.push_back(bytes.mid(start, end - start));
        start = end;
    }
    return lines;
}

QByteArray Name(QByteArray raw) {
    for (char& c : raw) {
        if (c == '[' || c == ']' || c == '=' || c == ';' || c == '#' || c == '\r' || c == '\n' || c == '\t' ||
            c == ' ' || c == '\v' || c == '\f')
            c = '_';
    }
    return raw.isEmpty() ? QByteArray("k") : raw;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// What reading gives for a value written as this text.
QString AsRead(QString text) {
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    const auto blank = [](QChar c) { return c.unicode() < 0x80 && IsBlank(static_cast<char>(c.unicode())); };
    qsizetype begin = 0, end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    text = text.mid(begin, end - begin);
    if (text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') && text.back() == text.front())
        text = text.mid(1, text.size() - 2);
    return text.left(1023);
}

const QByteArray Bom("\xEF\xBB\xBF");

QByteArray WithoutBom(const QByteArray& bytes) {
    return bytes.startsWith(Bom) ? bytes.mid(Bom.size()) : bytes;
}

void CheckUntouchedLines(const QByteArray& before, const QByteArray& after) {
    const std::vector<QByteArray> old = Lines(before), now = Lines(after);
    size_t prefix = 0;
    while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
           old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    const size_t oldMiddle = old.size() - prefix - suffix;
    const size_t newMiddle = now.size() - prefix - suffix;
    Require(oldMiddle <= 1, "at most one existing line changes");
    Require(newMiddle <= oldMiddle + 2, "at most two lines are added");
    if (oldMiddle == 1) {
        Require(newMiddle >= 1, "a changed line stays");
        const QByteArray& was = old[prefix];
        const QByteArray& is = now[prefix];
        const bool gainedBreak =
            !was.endsWith('\n') && is.startsWith(was) && is.endsWith('\n') && is.size() - was.size() <= 2;
        const qsizetype equals = was.indexOf('=');
        const bool valueChanged = equals >= 0 && newMiddle == 1 && is.startsWith(was.left(equals + 1)) &&
                                  was.endsWith('\n') == is.endsWith('\n');
        Require(gainedBreak || valueChanged, "a changed line keeps its key or only gains a line break");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype headerEnd = input.indexOf('\n');
    if (headerEnd < 0) return 0;
    const QList<QByteArray> fields = input.left(headerEnd).split('\t');
    if (fields.size() < 4) return 0;
    const bool asInteger = fields[0] == "i";
    const QString section = olv::text::FromCp1251(Name(fields[1]));
    const QString key = olv::text::FromCp1251(Name(fields[2]));
    QByteArray valueBytes = fields[3];
    for (qsizetype i = 4; i < fields.size(); ++i)
        valueBytes += '\t' + fields[i];
    const QByteArray fileBytes = input.mid(headerEnd + 1);

    const QString path = WorkFile();
    {
        QFile file(path);
        Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the work file opens");
        Require(file.write(fileBytes) == fileBytes.size(), "the work file is written");
    }
    IniFile ini(path);
    const QString other = ini.readString("Other", "probe", "<none>");

    QString expected;
    QString alsoExpected; // the same value stored in UTF-8
    if (asInteger) {
        const int32_t value = olv::settings::ParseIniInteger(QString::fromLatin1(valueBytes))
                                  .value_or(static_cast<int32_t>(fileBytes.size()));
        ini.writeInteger(section, key, value);
        Require(ini.readInteger(section, key, value ^ 1) == value, "an integer reads back as written");
        expected = QString::number(value);
    } else {
        const QString value = olv::text::FromCp1251(valueBytes);
        ini.writeString(section, key, value);
        expected = AsRead(olv::text::FromCp1251(olv::text::ToCp1251(value)));
        alsoExpected = AsRead(value);
    }
    const QString readBack = ini.readString(section, key, "\x01no such key");
    Require(readBack == expected || (!asInteger && readBack == alsoExpected),
            "the value reads back as written");
    if (section.compare("Other", Qt::CaseInsensitive) != 0 || key.compare("probe", Qt::CaseInsensitive) != 0)
        Require(ini.readString("Other", "probe", "<none>") == other, "another key reads as before");

    const QByteArray once = ReadAll(path);
    Require(once.startsWith(Bom) == fileBytes.startsWith(Bom), "a byte order mark stays");
    CheckUntouchedLines(WithoutBom(fileBytes), WithoutBom(once));

    const ino_t inode = Inode(path);
    if (asInteger)
        ini.writeInteger(section, key, expected.toInt());
    else
        ini.writeString(section, key, olv::text::FromCp1251(valueBytes));
    Require(ReadAll(path) == once, "the same write twice changes nothing more");
    Require(Inode(path) == inode, "the same write twice leaves the file alone");
    return 0;
}
