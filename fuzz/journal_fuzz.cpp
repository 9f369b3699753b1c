// Any bytes as a journal file, through the CSV reader and the journal reader; then the first fields
// read as the texts of journal entries, written and read back.
//
// Input: the file's bytes as they come (UTF-8 is decoded as the reader does; a byte order mark and
// the header line are the journal's own).
//
// Invariants:
//   - no record is one empty field (a blank line), no record is empty, and the records hold no more
//     characters than the text;
//   - a text without quotes is read as its lines split at ';' (CR LF, LF and a lone CR end a line);
//   - the records written out again with every field quoted (quotes doubled) read back the same;
//   - the journal reader gives the file's records, newest first, without the header and the lines of
//     blanks; with a serial filter exactly those of them whose sixth field contains it;
//   - entries made of the fields read (control characters and all) are written as lines that read
//     back, one entry per line, as the cleaned texts (CleanJournalText), also through the file with its
//     byte order mark and header; no line holds a NUL byte.
#include "fuzz/fuzz_check.h"

#include "records/csv.h"
#include "records/journal.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace olv::records;
using olv::fuzz::Require;

namespace {

QString WorkFile() {
    static const QString path = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/olv-journal-fuzz-XXXXXX";
        const char* dir = ::mkdtemp(pattern.data());
        Require(dir != nullptr, "a temporary folder can be made");
        static std::string made = dir;
        std::atexit([] {
            ::unlink((made + "/journal.csv").c_str());
            ::rmdir(made.c_str());
        });
        return QString::fromLocal8Bit(dir) + "/journal.csv";
    }();
    return path;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the work file opens");
    Require(file.write(bytes) == bytes.size(), "the work file is written");
}

QString AllQuoted(const std::vector<QStringList>& records) {
    QString text;
    for (const QStringList& record : records) {
        for (qsizetype i = 0; i < record.size(); ++i) {
            if (i > 0) text += u';';
            QString field = record[i];
            field.replace(QStringLiteral("\""), QStringLiteral("\"\""));
            text += u'"' + field + u'"';
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

// The lines of a text without quotes, split at ';'.
std::vector<QStringList> Split(const QString& text) {
    std::vector<QStringList> records;
    QString line;
    const auto end = [&] {
        if (!line.isEmpty()) records.push_back(line.split(u';'));
        line.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            end();
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else {
            line += text[i];
        }
    }
    end();
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromUtf8(bytes);
    const std::vector<QStringList> records = ParseCsv(text, u';');
    qsizetype characters = 0;
    for (const QStringList& record : records) {
        Require(!record.isEmpty(), "a record has a field");
        Require(!(record.size() == 1 && record.front().isEmpty()), "a blank line is no record");
        for (const QString& field : record)
            characters += field.size();
    }
    Require(characters <= text.size(), "the fields hold no more than the text");
    if (!text.contains(u'"')) Require(records == Split(text), "a text without quotes is its lines split at ';'");
    Require(ParseCsv(AllQuoted(records), u';') == records, "the records quoted again read back the same");

    // The journal reader over the same bytes as a file.
    const QString path = WorkFile();
    WriteFile(path, bytes);
    const std::vector<QStringList> entries = ReadJournal(path);
    for (const QStringList& entry : entries)
        Require(!(entry.size() == 1 && entry.front().trimmed().isEmpty()), "a line of blanks is no entry");
    if (!records.empty()) {
        const QString serial = records.front().value(0).left(3);
        const std::vector<QStringList> filtered = ReadJournal(path, serial);
        std::vector<QStringList> expected;
        for (const QStringList& entry : entries)
            if (serial.isEmpty() || entry.value(5).contains(serial)) expected.push_back(entry);
        Require(filtered == expected, "the filter keeps exactly the entries whose serial holds it");
    }

    // Entries of the fields read, written and read back.
    QStringList texts;
    for (const QStringList& record : records)
        texts += record;
    texts = texts.mid(0, 40);
    QByteArray journal = QByteArray("\xEF\xBB\xBF") + JournalHeader();
    std::vector<QStringList> written;
    for (qsizetype at = 0; at < texts.size(); at += 4) {
        JournalEntry entry;
        entry.when = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9));
        entry.port = texts.value(at);
        entry.devicePath = texts.value(at + 1);
        entry.serial = texts.value(at + 2);
        entry.outcome = texts.value(at + 3);
        entry.changes = {{texts.value(at + 1), texts.value(at + 2), texts.value(at + 3)}};
        const QByteArray line = JournalLine(entry);
        Require(!line.contains('\0'), "a journal line holds no NUL byte");
        Require(line.endsWith("\r\n"), "a journal line ends with CR LF");
        const QStringList fields = ParseJournalLine(line);
        const QStringList expected{QStringLiteral("2024-05-06 07:08:09"),
                                   CleanJournalText(entry.port),
                                   CleanJournalText(entry.devicePath),
                                   QStringLiteral("0"),
                                   QString(),
                                   CleanJournalText(entry.serial),
                                   QString(),
                                   CleanJournalText(entry.outcome),
                                   CleanJournalText(entry.changes[0].name),
                                   CleanJournalText(entry.changes[0].oldValue),
                                   CleanJournalText(entry.changes[0].newValue)};
        Require(fields == expected, "a journal line reads back as the cleaned fields");
        journal += line;
        written.push_back(expected);
    }
    WriteFile(path, journal);
    std::vector<QStringList> read = ReadJournal(path);
    std::reverse(read.begin(), read.end());
    Require(read == written, "the journal reads back one entry per line, as written");
    return 0;
}
