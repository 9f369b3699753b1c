#include "records/trend_csv.h"

#include "records/csv.h"

#include <QDateTime>

namespace olv::records {

namespace {

QString LocalTime(int64_t ms, const char* format) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QString::fromLatin1(format));
}

void AddRows(QByteArray& table, const device::TrendSource& source, const std::deque<device::TrendPoint>& points,
             int64_t fromMs, int64_t toMs) {
    const device::InstrumentIdentity& id = source.instrument;
    const QStringList instrument{QStringLiteral("COM%1").arg(id.portNumber), id.portPath,
                                 QString::number(id.address),
                                 id.model ? QString::number(*id.model) : QString(),
                                 id.serial ? QString::number(*id.serial) : QString()};
    for (const device::TrendPoint& point : points) {
        if (point.timeMs < fromMs || point.timeMs > toMs) continue;
        table += CsvRecord(QStringList{LocalTime(point.timeMs, "dd.MM.yyyy"), LocalTime(point.timeMs, "hh:mm:ss"),
                                       SpreadsheetNumber(point.value), source.units,
                                       QStringLiteral("0x%1").arg(point.status, 4, 16, QLatin1Char('0'))} +
                           instrument);
    }
}

} // namespace

QByteArray TrendCsv(const device::LiveTrend& trend, int64_t fromMs, int64_t toMs, bool zoomed) {
    QByteArray table(CsvBom);
    if (zoomed)
        table += CsvRecord({QStringLiteral("Часть графика, показанная увеличенной: с %1 по %2")
                                .arg(LocalTime(fromMs, "dd.MM.yyyy hh:mm:ss"), LocalTime(toMs, "dd.MM.yyyy hh:mm:ss"))});
    table += CsvRecord({QStringLiteral("Дата"), QStringLiteral("Время"), QStringLiteral("Значение"),
                        QStringLiteral("Единицы"), QStringLiteral("Статус"), QStringLiteral("Порт"),
                        QStringLiteral("Устройство"), QStringLiteral("Адрес"), QStringLiteral("Модель"),
                        QStringLiteral("Заводской номер")});
    for (const device::TrendSeries& series : trend.earlierSeries())
        AddRows(table, series.source, series.points, fromMs, toMs);
    if (trend.source()) AddRows(table, *trend.source(), trend.points(), fromMs, toMs);
    return table;
}

} // namespace olv::records
