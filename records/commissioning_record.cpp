#include "records/commissioning_record.h"

#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"

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

} // namespace

QString RecordHtml(const RecordData& data, const QString& trendImage, QSize trendSize) {
    const std::vector<FieldValue> fields = FieldsOf(data.state);
    const auto rowsOf = [&](unsigned groups) {
        QString rows;
        for (const FieldValue& field : fields)
            if (field.group & groups) rows += Row(field.name, field.text);
        return rows;
    };
    const QString units = device::UnitName(data.state.image.words[device::reg::DampingUnits] & 0xFF);

    QString html = QStringLiteral("<html><body>");
    html += QStringLiteral("<h2>Протокол настройки</h2><p>%1</p>").arg(Escaped(data.caption));
    html += Table(
        Row(QStringLiteral("Дата и время"), data.printedAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))) +
        Row(QStringLiteral("Порт"), QStringLiteral("%1 (%2)").arg(data.port, data.devicePath)) +
        Row(QStringLiteral("Адрес"), QString::number(data.address)));

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

    const bool trendDrawn = !trendImage.isEmpty() && !trendSize.isEmpty() && data.trend.count > 0;
    // The picture does not fit under the tables of the first page: it starts the next one with its
    // heading, rather than leaving the heading alone at the foot of the first.
    html += trendDrawn
                ? QStringLiteral("<h3 style=\"page-break-before: always\">Тренд за последние 10 минут</h3>")
                : Heading("Тренд за последние 10 минут");
    if (trendDrawn) {
        // The picture across the page's width, in its own proportions.
        constexpr int width = 560;
        html += QStringLiteral("<p><img src=\"%1\" width=\"%2\" height=\"%3\"></p>")
                    .arg(trendImage)
                    .arg(width)
                    .arg(width * trendSize.height() / trendSize.width());
    }
    html += data.trend.count == 0
                ? Table(Row(QStringLiteral("Измерений"), QStringLiteral("Данных нет")))
                : Table(Row(QStringLiteral("Измерений"), QString::number(data.trend.count)) +
                        Row(QStringLiteral("Минимум"),
                            QStringLiteral("%1 %2").arg(Number(data.trend.minimum), units)) +
                        Row(QStringLiteral("Максимум"),
                            QStringLiteral("%1 %2").arg(Number(data.trend.maximum), units)) +
                        Row(QStringLiteral("Среднее"),
                            QStringLiteral("%1 %2").arg(Number(data.trend.mean), units)));

    html += QStringLiteral("<p><br>Наладчик: ______________________________</p>"
                           "<p><br>Подпись: ______________________________</p></body></html>");
    return html;
}

} // namespace olv::records
