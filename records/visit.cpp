#include "records/visit.h"

namespace olv::records {

namespace {

// The columns of a journal line (see JournalLine): the changed fields follow in threes.
constexpr int WhenColumn = 0, SerialColumn = 5, OperationColumn = 6, OutcomeColumn = 7, FixedColumns = 8;

QString SiteSection(const QString& serial) {
    return QStringLiteral("INSTRUMENT_") + serial;
}

JournalChange ChangeOf(const QStringList& fields) {
    JournalChange change{
        fields.value(WhenColumn), fields.value(OperationColumn), fields.value(OutcomeColumn), {}};
    for (qsizetype i = FixedColumns; i + 2 < fields.size(); i += 3)
        change.changes << QStringLiteral("%1: %2 → %3").arg(fields[i], fields[i + 1], fields[i + 2]);
    return change;
}

} // namespace

InstrumentSite LoadInstrumentSite(const settings::IniSnapshot& file, const QString& serial) {
    const QString section = SiteSection(serial);
    return {file.readString(section, QStringLiteral("Site"), QString()),
            file.readString(section, QStringLiteral("Tag"), QString())};
}

std::vector<settings::IniEntry> InstrumentSiteEntries(const QString& serial, const InstrumentSite& site) {
    const QString section = SiteSection(serial);
    return {{section, QStringLiteral("Site"), site.site.simplified()},
            {section, QStringLiteral("Tag"), site.tag.simplified()}};
}

QString LoadPerson(const settings::IniSnapshot& file) {
    return file.readString(QStringLiteral("RECORDS"), QStringLiteral("Person"), QString());
}

settings::IniEntry PersonEntry(const QString& person) {
    return {QStringLiteral("RECORDS"), QStringLiteral("Person"), person.simplified()};
}

QString DocumentNumber(const QString& prefix, const QString& serial, const QDateTime& when) {
    return QStringLiteral("%1-%2-%3").arg(prefix, serial, when.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

QString PageText(int page, int pages) {
    return QStringLiteral("Страница %1 из %2").arg(page).arg(pages);
}

std::vector<JournalChange> VisitChanges(const std::vector<QStringList>& journal, const QString& serial,
                                        const QDate& day) {
    const QString date = day.toString(QStringLiteral("yyyy-MM-dd"));
    std::vector<JournalChange> changes;
    for (auto it = journal.rbegin(); it != journal.rend(); ++it)
        if (it->value(SerialColumn) == serial && it->value(WhenColumn).startsWith(date + u' '))
            changes.push_back(ChangeOf(*it));
    return changes;
}

std::optional<JournalChange> LastCalibration(const std::vector<QStringList>& journal, const QString& serial) {
    for (const QStringList& fields : journal)
        if (fields.value(SerialColumn) == serial &&
            fields.value(OperationColumn) == QString::fromUtf8(CalibrationOperation))
            return ChangeOf(fields);
    return std::nullopt;
}

} // namespace olv::records
