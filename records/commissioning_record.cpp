#include "records/commissioning_record.h"

#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"

#include <algorithm>

namespace olv::records {

namespace {

QString Escaped(const QString& text) {
    return text.toHtmlEscaped();
}

QString Row(const QString& name, const QString& value) {
    return QStringLiteral("<tr><td width=\"45%\">%1</td><td>%2</td></tr>").arg(Escaped(name), Escaped(value));
}

QString Table(const QString& rows) {
    return QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">%1</table>")
        .arg(rows);
}

QString Heading(const char* text) {
    return QStringLiteral("<h3>%1</h3>").arg(QString::fromUtf8(text));
}

QString Number(double v) {
    return device::FormatValue(static_cast<float>(v)).trimmed();
}

// A field's value with its units, where it has any: the range and the trim offset are in the units of
// the value the meter sends, the rate in bits per second.
QString WithUnits(const FieldValue& field, const QString& units) {
    static const QStringList inValueUnits{QStringLiteral("Максимум диапазона"),
                                          QStringLiteral("Минимум диапазона"),
                                          QStringLiteral("Подстройка: смещение")};
    if (inValueUnits.contains(field.name) && !units.isEmpty()) return field.text + u' ' + units;
    if (field.name == QStringLiteral("Скорость обмена") && !field.text.startsWith(QStringLiteral("код")))
        return field.text + QStringLiteral(" бит/с");
    return field.text;
}

QString NotShown(const QString& text) {
    return text.isEmpty() ? QStringLiteral("не указано") : text;
}

QString ChangeText(const JournalChange& change) {
    QString text = change.operation + QStringLiteral(": ") + change.outcome;
    if (!change.changes.isEmpty()) text += QStringLiteral("; ") + change.changes.join(QStringLiteral("; "));
    return text;
}

} // namespace

RecordTrend RecordTrendOf(const device::LiveTrend& trend, const device::InstrumentIdentity& recorded,
                          int byteOrder) {
    RecordTrend taken;
    double sum = 0;
    const auto take = [&](const device::TrendSource& source, const std::deque<device::TrendPoint>& points) {
        if (points.empty()) return;
        if (source.byteOrder != byteOrder || !device::SameInstrument(source.instrument, recorded)) {
            const QString who = device::IdentityText(source.instrument);
            if (!taken.leftOut.contains(who)) taken.leftOut << who;
            return;
        }
        for (const device::TrendPoint& point : points) {
            device::TrendStats& s = taken.stats;
            s.minimum = s.count == 0 ? point.value : std::min(s.minimum, point.value);
            s.maximum = s.count == 0 ? point.value : std::max(s.maximum, point.value);
            sum += point.value;
            if (s.count == 0) taken.fromMs = point.timeMs;
            taken.toMs = point.timeMs;
            ++s.count;
        }
    };
    for (const device::TrendSeries& series : trend.earlierSeries())
        take(series.source, series.points);
    if (trend.source()) take(*trend.source(), trend.points());
    if (taken.stats.count > 0) taken.stats.mean = sum / static_cast<double>(taken.stats.count);
    return taken;
}

QString SpanText(int64_t fromMs, int64_t toMs) {
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(fromMs);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(toMs);
    const int64_t seconds = std::max<int64_t>(0, (toMs - fromMs) / 1000);
    QString length;
    if (seconds >= 3600) length = QStringLiteral("%1 ч %2 мин").arg(seconds / 3600).arg(seconds % 3600 / 60);
    else if (seconds >= 60) length = QStringLiteral("%1 мин %2 с").arg(seconds / 60).arg(seconds % 60);
    else length = QStringLiteral("%1 с").arg(seconds);
    const QString end = to.date() == from.date() ? to.toString(QStringLiteral("HH:mm:ss"))
                                                 : to.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    return QStringLiteral("%1 – %2 (%3)").arg(from.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")), end, length);
}

QString RecordHtml(const RecordData& data, const QString& trendImage, QSize trendSize) {
    const std::vector<FieldValue> fields = FieldsOf(data.state);
    const QString units = device::UnitName(data.state.image.words[device::reg::DampingUnits] & 0xFF);
    const auto rowsOf = [&](unsigned groups) {
        QString rows;
        for (const FieldValue& field : fields)
            if (field.group & groups) rows += Row(field.name, WithUnits(field, units));
        return rows;
    };

    QString html = QStringLiteral("<html><body>");
    html += QStringLiteral("<h2>Протокол настройки%1</h2><p>%2</p>")
                .arg(data.documentNumber.isEmpty() ? QString() : QStringLiteral(" № ") + Escaped(data.documentNumber),
                     Escaped(data.caption));
    html += Table(
        Row(QStringLiteral("Дата и время"), data.printedAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))) +
        Row(QStringLiteral("Порт"), QStringLiteral("%1 (%2)").arg(data.port, data.devicePath)) +
        Row(QStringLiteral("Адрес"), QString::number(data.address)) +
        Row(QStringLiteral("Объект"), NotShown(data.site.site)) +
        Row(QStringLiteral("Позиция (тег)"), NotShown(data.site.tag)));

    html += Heading("Прибор") + Table(rowsOf(IdentityFields));
    html += Heading("Конфигурация датчика") +
            Table(Row(QStringLiteral("Диапазон измерения"), RangeText(data.state)) + rowsOf(SensorFields));
    html += Heading("Параметры связи") + Table(rowsOf(LinkFields));
    html += Heading("Текст и версии") + Table(rowsOf(TextFields | VersionFields));

    QString live = QStringLiteral("не прочитано");
    if (data.liveRead)
        live = data.live.liveImplausible ? QStringLiteral("Неправильный формат числа")
                                         : QStringLiteral("%1 %2").arg(Number(data.live.liveValue), units);
    const QString status = !data.liveRead              ? QString()
                           : data.live.liveStatus == 0 ? device::NormalStatusText()
                                                       : device::StatusText(data.live.liveStatus);
    html += Heading("Текущее значение") +
            Table(Row(QStringLiteral("Значение"), live) + Row(QStringLiteral("Состояние"), status));

    const device::TrendStats trend = data.trendOf ? data.trendOf->stats : data.trend;
    const bool trendDrawn = !trendImage.isEmpty() && !trendSize.isEmpty() && trend.count > 0;
    // The heading names the span the readings cover, not the span the chart keeps: a trend of a few
    // readings is not "the last 10 minutes".
    const char* heading = data.trendOf ? "Тренд" : "Тренд за последние 10 минут";
    // The picture does not fit under the tables of the first page: it starts the next one with its
    // heading, rather than leaving the heading alone at the foot of the first.
    html += trendDrawn ? QStringLiteral("<h3 style=\"page-break-before: always\">%1</h3>").arg(QString::fromUtf8(heading))
                       : Heading(heading);
    if (trendDrawn) {
        // The picture across the page's width, in its own proportions.
        constexpr int width = 560;
        html += QStringLiteral("<p><img src=\"%1\" width=\"%2\" height=\"%3\"></p>")
                    .arg(trendImage)
                    .arg(width)
                    .arg(width * trendSize.height() / trendSize.width());
    }
    QString trendRows;
    if (data.trendOf && trend.count > 0)
        trendRows += Row(QStringLiteral("Период"), SpanText(data.trendOf->fromMs, data.trendOf->toMs));
    trendRows += trend.count == 0
                ? Row(QStringLiteral("Измерений"), QStringLiteral("Данных нет"))
                : Row(QStringLiteral("Измерений"), QString::number(trend.count)) +
                      Row(QStringLiteral("Минимум"), QStringLiteral("%1 %2").arg(Number(trend.minimum), units)) +
                      Row(QStringLiteral("Максимум"), QStringLiteral("%1 %2").arg(Number(trend.maximum), units)) +
                      Row(QStringLiteral("Среднее"), QStringLiteral("%1 %2").arg(Number(trend.mean), units));
    html += Table(trendRows);
    if (data.trendOf)
        for (const QString& other : data.trendOf->leftOut)
            html += QStringLiteral("<p>%1</p>")
                        .arg(Escaped(QStringLiteral("Измерения другого прибора (%1) в протокол не включены.").arg(other)));

    html += Heading("Изменения за посещение");
    if (data.visit.empty()) {
        html += Table(Row(QStringLiteral("Журнал изменений"), QStringLiteral("записей нет")));
    } else {
        QString rows;
        for (const JournalChange& change : data.visit)
            rows += Row(change.when, ChangeText(change));
        html += Table(rows);
    }
    html += Heading("Калибровка") +
            Table(Row(QStringLiteral("Последняя калибровка"),
                      data.lastCalibration ? data.lastCalibration->when + QStringLiteral(": ") +
                                                 data.lastCalibration->outcome
                                           : QStringLiteral("нет сведений")));

    const QString person = data.person.isEmpty() ? QStringLiteral("______________________________")
                                                 : Escaped(data.person);
    html += QStringLiteral("<p><br>Наладчик: %1</p>"
                           "<p><br>Подпись: ______________________________ Дата: %2</p></body></html>")
                .arg(person, data.printedAt.toString(QStringLiteral("dd.MM.yyyy")));
    return html;
}

} // namespace olv::records
