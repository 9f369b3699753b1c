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

const QByteArray Bom(CsvBom);
const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
constexpr int SerialColumn = 5;
// A journal larger than this is not shown: it cannot be one line per write of a working life.
constexpr qint64 MaxJournalSize = 64 * 1024 * 1024;

// The formula guard of CsvRecord taken off again.
QString Unguarded(QString field) {
    if (field.size() > 1 && field.front() == u'\'' && CsvNeedsFormulaGuard(field.mid(1))) field.remove(0, 1);
    return field;
}

QStringList FieldsOfRecord(QStringList record) {
    for (QString& field : record)
        field = Unguarded(field);
    return record;
}

} // namespace

QString CleanJournalText(const QString& text) {
    return CleanCsvText(text);
}

QByteArray JournalHeader() {
    return CsvRecord({QStringLiteral("Дата и время"), QStringLiteral("Порт"), QStringLiteral("Устройство"),
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
    for (const FieldChange& change : entry.changes) {
        if (change.number)
            fields << change.name << SpreadsheetDecimal(change.oldValue) << SpreadsheetDecimal(change.newValue);
        else
            fields << change.name << change.oldValue << change.newValue;
    }
    return CsvRecord(fields);
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
        QStringList fields = FieldsOfRecord(std::move(records[i]));
        // A line of blanks (also one that is blank once the formula guard is off: "'\r" by hand).
        if (fields.size() == 1 && fields.front().trimmed().isEmpty()) continue;
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
