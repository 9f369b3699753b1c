#include "records/csv.h"

namespace olv::records {

namespace {

bool IsBreak(QChar c) {
    return c == u'\n' || c == u'\r';
}

// One record from `at`; afterwards `at` is past its line break. False when a quoted field was still
// open at the end of the text (only when breaksEndQuotes is false).
bool ReadRecord(const QString& text, QChar separator, qsizetype& at, bool breaksEndQuotes,
                QStringList& fields) {
    fields.clear();
    QString field;
    bool quoted = false;
    bool fieldStart = true;
    const qsizetype size = text.size();
    while (at < size) {
        const QChar c = text[at];
        if (quoted) {
            if (c == u'"') {
                if (at + 1 < size && text[at + 1] == u'"') {
                    field += u'"';
                    at += 2;
                    continue;
                }
                quoted = false;
                ++at;
                continue;
            }
            if (!(breaksEndQuotes && IsBreak(c))) {
                field += c;
                ++at;
                continue;
            }
            quoted = false; // a quote never closed: the line break ends the record after all
        }
        if (c == u'"' && fieldStart) {
            quoted = true;
            fieldStart = false;
            ++at;
        } else if (c == separator) {
            fields << field;
            field.clear();
            fieldStart = true;
            ++at;
        } else if (IsBreak(c)) {
            at += (c == u'\r' && at + 1 < size && text[at + 1] == u'\n') ? 2 : 1;
            fields << field;
            return true;
        } else {
            field += c;
            fieldStart = false;
            ++at;
        }
    }
    fields << field;
    return !quoted;
}

} // namespace

std::vector<QStringList> ParseCsv(const QString& text, QChar separator) {
    std::vector<QStringList> records;
    QStringList fields;
    qsizetype at = 0;
    // Once a quote was never closed, the rest is read with line breaks ending every record: finding
    // out again for each later record would read the rest of the text once per record.
    bool breaksEndQuotes = false;
    while (at < text.size()) {
        const qsizetype start = at;
        if (!ReadRecord(text, separator, at, breaksEndQuotes, fields)) {
            at = start;
            breaksEndQuotes = true;
            ReadRecord(text, separator, at, true, fields);
        }
        if (fields.size() == 1 && fields.front().isEmpty()) continue;
        records.push_back(fields);
    }
    return records;
}

} // namespace olv::records
