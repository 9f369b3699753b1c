#include "records/journal.h"

#include "files/plain_file.h"
#include "records/csv.h"
#include "link/exchange_status.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olv::records {

namespace {

const QByteArray Bom("\xEF\xBB\xBF");
const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
constexpr int SerialColumn = 5;
// A journal larger than this is not shown: it cannot be one line per write of a working life.
constexpr qint64 MaxJournalSize = 64 * 1024 * 1024;

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
bool NeedsGuard(const QString& text) {
    qsizetype at = 0;
    while (at < text.size() && text[at] == u'\'')
        ++at;
    return LooksLikeFormula(text.mid(at));
}

QByteArray CsvField(QString text) {
    text = CleanJournalText(text);
    if (NeedsGuard(text)) text.prepend(u'\'');
    const bool quoted = text.contains(u';') || text.contains(u'"') || text.contains(u'\n') ||
                        text.contains(u'\r') || text.startsWith(u' ') || text.endsWith(u' ');
    if (!quoted) return text.toUtf8();
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return '"' + text.toUtf8() + '"';
}

QByteArray CsvLine(const QStringList& fields) {
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ';';
        line += CsvField(fields[i]);
    }
    return line + "\r\n";
}

// The formula guard of CsvField taken off again.
QString Unguarded(QString field) {
    if (field.size() > 1 && field.front() == u'\'' && NeedsGuard(field.mid(1))) field.remove(0, 1);
    return field;
}

QStringList FieldsOfRecord(QStringList record) {
    for (QString& field : record)
        field = Unguarded(field);
    return record;
}

} // namespace

QString CleanJournalText(const QString& text) {
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

QByteArray JournalHeader() {
    return CsvLine({QStringLiteral("Дата и время"), QStringLiteral("Порт"), QStringLiteral("Устройство"),
                    QStringLiteral("Адрес"), QStringLiteral("Модель"), QStringLiteral("Заводской номер"),
                    QStringLiteral("Операция"), QStringLiteral("Итог"), QStringLiteral("Поле"),
                    QStringLiteral("Было"), QStringLiteral("Стало")});
}

QByteArray JournalLine(const JournalEntry& entry) {
    QStringList fields{entry.when.toString(TimeFormat),
                       entry.port,
                       entry.devicePath,
                       QString::number(entry.address),
                       entry.model,
                       entry.serial,
                       entry.operation,
                       entry.outcome};
    for (const FieldChange& change : entry.changes)
        fields << change.name << change.oldValue << change.newValue;
    return CsvLine(fields);
}

QByteArray CsvRecord(const QStringList& fields) {
    return CsvLine(fields);
}

QStringList ParseJournalLine(const QByteArray& bytes) {
    const std::vector<QStringList> records = ParseCsv(QString::fromUtf8(bytes), u';');
    return records.empty() ? QStringList{QString()} : FieldsOfRecord(records.front());
}

bool JournalTakesLine(const QString& path, QString& reason, size_t bytes) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    const bool existed = ::lstat(name.constData(), &st) == 0;
    const int fd = files::OpenPlainFile(path, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0) {
        reason = files::FileErrorText(errno);
        return false;
    }
    const off_t end = ::lseek(fd, 0, SEEK_END);
    const QByteArray probe(static_cast<qsizetype>(bytes), ' ');
    const bool taken = end >= 0 && files::WriteAll(fd, probe.constData(), bytes);
    const int error = errno;
    if (end >= 0) ::ftruncate(fd, end);
    ::close(fd);
    if (!existed) ::unlink(name.constData());
    if (!taken) reason = files::FileErrorText(error);
    return taken;
}

bool AppendJournal(const QString& path, const JournalEntry& entry, QString& reason) {
    struct stat st {};
    const bool empty = ::stat(QFile::encodeName(path).constData(), &st) != 0 || st.st_size == 0;
    const QByteArray record = (empty ? Bom + JournalHeader() : QByteArray()) + JournalLine(entry);
    if (files::AppendToPlainFile(path, record.constData(), static_cast<size_t>(record.size()), true))
        return true;
    reason = files::FileErrorText(errno);
    return false;
}

std::vector<QStringList> ReadJournal(const QString& path, const QString& serialFilter) {
    const files::PlainFileContent content = files::ReadPlainFile(path, MaxJournalSize);
    if (!content.bytes) return {};
    QByteArray bytes = *content.bytes;
    if (bytes.startsWith(Bom)) bytes.remove(0, Bom.size());
    std::vector<QStringList> records = ParseCsv(QString::fromUtf8(bytes), u';');
    static const QStringList header = ParseCsv(QString::fromUtf8(JournalHeader()), u';').front();
    std::vector<QStringList> entries;
    for (size_t i = 0; i < records.size(); ++i) {
        if (i == 0 && records[i] == header) continue;
        if (records[i].size() == 1 && records[i].front().trimmed().isEmpty()) continue; // a line of blanks
        QStringList fields = FieldsOfRecord(std::move(records[i]));
        if (!serialFilter.isEmpty() && !fields.value(SerialColumn).contains(serialFilter)) continue;
        entries.push_back(std::move(fields));
    }
    std::reverse(entries.begin(), entries.end());
    return entries;
}

QString BlockName(int start, int count) {
    return count == 1 ? QString::number(start) : QStringLiteral("%1–%2").arg(start).arg(start + count - 1);
}

QString WriteOutcome(link::ResultFlags flags, uint8_t exceptionCode, const QStringList& written) {
    if (link::Succeeded(flags, exceptionCode)) return QStringLiteral("записано");
    QString what;
    if (flags & link::ExceptionReply)
        what = QStringLiteral("исключение %1: %2")
                   .arg(exceptionCode)
                   .arg(link::ExchangeErrorBox(flags, exceptionCode).value_or(messages::Box{}).text);
    else if (flags & link::NoReply)
        what = QStringLiteral("нет ответа");
    else
        what = link::ExchangeErrorBox(flags, exceptionCode).value_or(messages::Box{}).text;
    return what + (written.isEmpty()
                       ? QStringLiteral("; ничего не записано")
                       : QStringLiteral("; записаны регистры ") + written.join(QStringLiteral(", ")));
}

} // namespace olv::records
