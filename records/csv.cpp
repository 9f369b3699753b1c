#include "records/csv.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>

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

// A text that a spreadsheet would evaluate ("=...", "+...", "@...", "-" before anything but a number)
// is kept as text by a leading apostrophe.
bool LooksLikeFormula(const QString& text) {
    if (text.isEmpty()) return false;
    const QChar first = text.front();
    if (first == u'=' || first == u'+' || first == u'@' || first == u'\t' || first == u'\r') return true;
    return first == u'-' && (text.size() == 1 || !(text[1].isDigit() || text[1] == u'.'));
}

// Whether the writer puts an apostrophe in front: a formula, or apostrophes in front of one (which
// would otherwise read back with one apostrophe less).
bool NeedsGuardOf(const QString& text) {
    qsizetype at = 0;
    while (at < text.size() && text[at] == u'\'')
        ++at;
    return LooksLikeFormula(text.mid(at));
}

QByteArray CsvField(QString text) {
    text = CleanCsvText(text);
    if (NeedsGuardOf(text)) text.prepend(u'\'');
    const bool quoted = text.contains(u';') || text.contains(u'"') || text.contains(u'\n') ||
                        text.contains(u'\r') || text.startsWith(u' ') || text.endsWith(u' ');
    if (!quoted) return text.toUtf8();
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return '"' + text.toUtf8() + '"';
}

QByteArray CsvRecordOf(const QStringList& fields) {
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ';';
        line += CsvField(fields[i]);
    }
    return line + "\r\n";
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

QString CleanCsvText(const QString& text) {
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue; // CR LF is a line break
        const QChar::Category category = c.category();
        if (c == u'\n' || c == u'\t' ||
            (category != QChar::Other_Control && category != QChar::Other_Format)) {
            clean += c;
            continue;
        }
        const bool latin = c.unicode() < 0x100;
        clean += (latin ? QStringLiteral("\\x") : QStringLiteral("\\u")) +
                 QString::number(c.unicode(), 16).rightJustified(latin ? 2 : 4, u'0').toUpper();
    }
    return clean;
}

bool CsvNeedsFormulaGuard(const QString& text) {
    return NeedsGuardOf(text);
}

QByteArray CsvRecord(const QStringList& fields) {
    return CsvRecordOf(fields);
}

QString SpreadsheetNumber(float value) {
    if (!std::isfinite(value)) return QString();
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    QString number = QString::fromLatin1(text, end - text);
    number.replace(u'.', u',');
    return number;
}

QString SpreadsheetDecimal(const QString& text) {
    static const QRegularExpression decimal(QStringLiteral("^[-+]?[0-9]+\\.[0-9]+([eE][-+]?[0-9]+)?$"));
    if (!decimal.match(text).hasMatch()) return text;
    QString number = text;
    number.replace(u'.', u',');
    return number;
}

} // namespace olv::records
