#include "calibration/certificate.h"

#include "calibration/number_texts.h"
#include "text/cp1251.h"
#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"

#include <QStringList>

#include <cmath>

namespace olv::calibration {

namespace {

// ---- HTML -------------------------------------------------------------------------------------------

QString Cell(const QString& text) {
    return QStringLiteral("<td>%1</td>").arg(text.toHtmlEscaped());
}

QString Row(const QString& name, const QString& value) {
    return QStringLiteral("<tr><td width=\"45%\">%1</td><td>%2</td></tr>")
        .arg(name.toHtmlEscaped(), value.toHtmlEscaped());
}

QString Table(const QString& rows) {
    return QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">%1</table>")
        .arg(rows);
}

QString Heading(const QString& text) {
    return QStringLiteral("<h3>%1</h3>").arg(text.toHtmlEscaped());
}

QString Paragraph(const QString& text) {
    return QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped());
}

// ---- Words ------------------------------------------------------------------------------------------

QString SignedValue(double v, const QString& units) {
    return (v > 0 ? QStringLiteral("+") : QString()) + ValueText(v, units);
}

QString ResultText(const PointResult& r) {
    return r.skipped ? QStringLiteral("пропущена") : VerdictText(r.pass);
}

QString ToleranceText(const Tolerance& tolerance, const Range& range) {
    const double span = range.span();
    return QStringLiteral("±%1 % диапазона (±%2)")
        .arg(PercentText(tolerance.percent(span)), ValueText(tolerance.units(span), range.units));
}

QString ReferenceModeText(const ReferenceInfo& reference) {
    switch (reference.mode) {
    case ReferenceMode::Typed:
        return QStringLiteral("показания эталона вводились вручную");
    case ReferenceMode::Instrument:
        return QStringLiteral("эталонный прибор на линии, адрес %1").arg(reference.address);
    case ReferenceMode::Applied:
        return QStringLiteral("давление точки, заданное задатчиком");
    }
    return {};
}

QString PointsText(const Procedure& procedure, const Range& range) {
    QStringList points;
    for (double p : SortedPoints(procedure))
        points << ValueText(p);
    return points.join(QStringLiteral("; ")) + u' ' + range.units;
}

QString SettlingText(const SettlingRule& rule, const Range& range) {
    return QStringLiteral("разброс %1 последних показаний не более %2 (%3 % диапазона), затем среднее %4 "
                          "показаний; ожидание не дольше %5 с")
        .arg(rule.window)
        .arg(ValueText(rule.bandUnits(range.span()), range.units),
             PercentText(rule.bandUnits(range.span()) / range.span() * 100.0))
        .arg(rule.meanCount)
        .arg(rule.timeoutSeconds);
}

QString TrimValues(const Trim& t) {
    return QStringLiteral("смещение %1, множитель %2").arg(ValueText(t.offset), ValueText(t.multiplier));
}

QString ResultsTable(const std::vector<PointResult>& results, const Range& range) {
    const QString u = range.units.isEmpty() ? QString() : QStringLiteral(", ") + range.units;
    QString rows =
        QStringLiteral("<tr><th>№</th><th>Точка%1</th><th>Ход</th><th>Цикл</th><th>Эталон%1</th>"
                       "<th>Показание%1</th><th>Погрешность%1</th><th>Погрешность, % диапазона</th>"
                       "<th>Результат</th></tr>")
            .arg(u.toHtmlEscaped());
    int number = 0;
    for (const PointResult& r : results) {
        rows += QStringLiteral("<tr>") + Cell(QString::number(++number)) + Cell(ValueText(r.step.nominal)) +
                Cell(DirectionName(r.step.direction)) + Cell(QString::number(r.step.cycle + 1));
        if (r.skipped)
            rows += Cell(QString()) + Cell(QString()) + Cell(QString()) + Cell(QString());
        else
            rows += Cell(ValueText(r.reference)) + Cell(ValueText(r.reading)) +
                    Cell(SignedValue(r.error, {})) + Cell(PercentText(r.errorPercent, true));
        rows += Cell(ResultText(r)) + QStringLiteral("</tr>");
    }
    return Table(rows);
}

QString SummaryRows(const Summary& s, const Procedure& procedure, const Range& range) {
    const double span = range.span();
    QString rows = Row(QStringLiteral("Наибольшая погрешность"),
                       s.largestErrorPercent ? PercentText(*s.largestErrorPercent, true) +
                                                   QStringLiteral(" % диапазона при допуске ") +
                                                   ToleranceText(procedure.tolerance, range)
                                             : QStringLiteral("нет принятых точек"));
    if (s.largestHysteresis)
        rows += Row(QStringLiteral("Наибольший гистерезис"),
                    QStringLiteral("%1 (%2 % диапазона)")
                        .arg(ValueText(*s.largestHysteresis, range.units),
                             PercentText(*s.largestHysteresis / span * 100.0)));
    if (s.largestRepeatability)
        rows += Row(QStringLiteral("Повторяемость (наибольший размах)"),
                    QStringLiteral("%1 (%2 % диапазона)")
                        .arg(ValueText(*s.largestRepeatability, range.units),
                             PercentText(*s.largestRepeatability / span * 100.0)));
    if (s.skipped > 0) rows += Row(QStringLiteral("Пропущено точек"), QString::number(s.skipped));
    return rows + Row(QStringLiteral("Результат"), VerdictText(s.pass));
}

QString TrimSection(const CertificateData& data) {
    if (!data.trim) return Table(Row(QStringLiteral("Подстройка"), QStringLiteral("без подстройки")));
    const TrimRecord& t = *data.trim;
    QString rows = Row(QStringLiteral("Вид"), TrimKindName(t.kind));
    rows += Row(QStringLiteral("До подстройки"), TrimValues(t.before));
    if (!t.after)
        rows += Row(QStringLiteral("После записи"),
                    QStringLiteral("не прочитано: что хранит прибор, неизвестно"));
    else if (*t.after == t.before)
        rows +=
            Row(QStringLiteral("После записи"), QStringLiteral("без подстройки: в приборе прежние значения"));
    else
        rows +=
            Row(QStringLiteral("Смещение"),
                QStringLiteral("%1 → %2").arg(ValueText(t.before.offset), ValueText(t.after->offset))) +
            Row(QStringLiteral("Множитель"), QStringLiteral("%1 → %2").arg(ValueText(t.before.multiplier),
                                                                           ValueText(t.after->multiplier)));
    rows += Row(QStringLiteral("Запись"), t.outcome);
    return Table(rows);
}

QString UncertaintySection(const CertificateData& data) {
    if (!data.uncertainty) return Paragraph(QStringLiteral("Неопределённость не определена."));
    const UncertaintyBudget& b = *data.uncertainty;
    const QString& u = data.range.units;
    return Table(
               Row(QStringLiteral("Расширенная неопределённость U (k = 2)"),
                   QStringLiteral("%1 (%2 % диапазона)")
                       .arg(ValueText(b.expanded, u), PercentText(b.expanded / data.range.span() * 100.0))) +
               Row(QStringLiteral("u_эт, эталон"), ValueText(b.reference, u)) +
               Row(QStringLiteral("u_р, разрешение показаний"), ValueText(b.resolution, u)) +
               Row(QStringLiteral("u_п, повторяемость"), ValueText(b.repeatability, u)) +
               Row(QStringLiteral("Суммарная стандартная неопределённость"), ValueText(b.combined, u))) +
           Paragraph(UncertaintyFormula());
}

// ---- CSV --------------------------------------------------------------------------------------------

QString CsvField(QString text) {
    if (!text.contains(u';') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return u'"' + text.replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

QString CsvNumber(double v) {
    if (!std::isfinite(v)) return {};
    return QString::fromLatin1(device::FormatC("%.7g", v == 0 ? 0.0 : v));
}

void CsvRows(QString& text, const QString& table, const std::vector<PointResult>& results,
             const CertificateData& data) {
    int number = 0;
    const QString tolerance = CsvNumber(data.procedure.tolerance.units(data.range.span()));
    for (const PointResult& r : results) {
        QStringList fields{table, QString::number(++number), CsvNumber(r.step.nominal),
                           DirectionName(r.step.direction), QString::number(r.step.cycle + 1)};
        if (r.skipped)
            fields << QString() << QString() << QString() << QString();
        else
            fields << CsvNumber(r.reference) << CsvNumber(r.reading) << CsvNumber(r.error)
                   << CsvNumber(r.errorPercent);
        fields << tolerance << data.range.units << ResultText(r);
        for (QString& f : fields)
            f = CsvField(f);
        text += fields.join(u';') + QStringLiteral("\r\n");
    }
}

} // namespace

bool TrimChanged(const CertificateData& data) {
    return data.trim && (!data.trim->after || !(*data.trim->after == data.trim->before));
}

std::optional<bool> FinalVerdict(const CertificateData& data) {
    if (!data.asLeft.empty()) return Summarize(data.asLeft).pass;
    if (TrimChanged(data)) return std::nullopt;
    return Summarize(data.asFound).pass;
}

std::optional<UncertaintyBudget> CertificateUncertainty(const CertificateData& data) {
    const std::vector<PointResult>& table = data.asLeft.empty() ? data.asFound : data.asLeft;
    return ExpandedUncertainty(data.reference.uncertainty, ShownResolution(), RepeatabilityOf(table));
}

QString CalibrationOutcomeText(const CertificateData& data) {
    const auto table = [](const QString& name, const std::vector<PointResult>& results) {
        const Summary s = Summarize(results);
        return name + u' ' + VerdictText(s.pass) +
               (s.largestErrorPercent
                    ? QStringLiteral(" (%1 %)").arg(PercentText(*s.largestErrorPercent, true))
                    : QString());
    };
    QStringList parts{table(QStringLiteral("до подстройки"), data.asFound)};
    if (!data.trim) {
        parts << QStringLiteral("без подстройки");
    } else if (!data.trim->after) {
        parts << TrimKindName(data.trim->kind) + QStringLiteral(": ") + data.trim->outcome +
                     QStringLiteral(", что хранит прибор, неизвестно");
    } else if (*data.trim->after == data.trim->before) {
        parts << QStringLiteral("без подстройки (") + data.trim->outcome + u')';
    } else {
        const Trim& b = data.trim->before;
        const Trim& a = *data.trim->after;
        parts << QStringLiteral("%1: смещение %2 → %3, множитель %4 → %5")
                     .arg(TrimKindName(data.trim->kind), ValueText(b.offset), ValueText(a.offset),
                          ValueText(b.multiplier), ValueText(a.multiplier));
    }
    if (!data.asLeft.empty()) parts << table(QStringLiteral("после подстройки"), data.asLeft);
    return parts.join(QStringLiteral("; "));
}

QString CertificateHtml(const CertificateData& data) {
    const device::RegisterImage& image = data.image;
    const auto word = [&](int r) { return image.words[static_cast<size_t>(r)]; };
    const int32_t serial =
        static_cast<int32_t>(device::JoinWords(word(device::reg::SerialHigh), word(device::reg::SerialLow)));

    QString html =
        QStringLiteral("<html><body><h2>Сертификат о калибровке%1</h2>")
            .arg(data.number.isEmpty() ? QString() : QStringLiteral(" № ") + data.number.toHtmlEscaped());
    html += Paragraph(data.caption);
    html +=
        Table(Row(QStringLiteral("Дата и время"), data.when.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))) +
              Row(QStringLiteral("Порт"), QStringLiteral("%1 (%2)").arg(data.port, data.devicePath)) +
              Row(QStringLiteral("Адрес"), QString::number(data.address)));

    html +=
        Heading(QStringLiteral("Прибор")) +
        Table(Row(QStringLiteral("Модель"), QString::number(word(device::reg::Model))) +
              Row(QStringLiteral("Код модели"), QString::number(word(device::reg::ModelCode))) +
              Row(QStringLiteral("Заводской номер"), QString::number(serial)) +
              Row(QStringLiteral("Текст прибора"), device::TextFromWords(&image.words[device::reg::Text])) +
              Row(QStringLiteral("Версии"), QStringLiteral("модель %1, версия модуля %2, версия ПО модуля %3")
                                                .arg(image.moduleModel)
                                                .arg(image.moduleHardware)
                                                .arg(image.moduleSoftware)) +
              Row(QStringLiteral("Диапазон измерения"),
                  QStringLiteral("%1 … %2").arg(ValueText(data.range.minimum),
                                                ValueText(data.range.maximum, data.range.units))) +
              Row(QStringLiteral("Единицы"), data.range.units));

    const ReferenceInfo& ref = data.reference;
    html += Heading(QStringLiteral("Эталон")) +
            Table(Row(QStringLiteral("Описание"), ref.description) +
                  Row(QStringLiteral("Заводской номер"), ref.serial) +
                  Row(QStringLiteral("Свидетельство (сертификат)"), ref.certificate) +
                  Row(QStringLiteral("Неопределённость эталона (k = 2)"),
                      ValueText(ref.uncertainty, data.range.units)) +
                  Row(QStringLiteral("Значение эталона"), ReferenceModeText(ref)));

    html += Heading(QStringLiteral("Условия и исполнитель")) +
            Table(Row(QStringLiteral("Температура окружающего воздуха"),
                      data.ambientCelsius && std::isfinite(*data.ambientCelsius)
                          ? QString::fromLatin1(device::FormatC("%.1f", *data.ambientCelsius)) +
                                QStringLiteral(" °C")
                          : QStringLiteral("не указана")) +
                  Row(QStringLiteral("Калибровку выполнил"), data.person));

    const Procedure& p = data.procedure;
    html += Heading(QStringLiteral("Методика")) +
            Table(Row(QStringLiteral("Точки"), PointsText(p, data.range)) +
                  Row(QStringLiteral("Ход"),
                      p.descending ? QStringLiteral("прямой и обратный") : QStringLiteral("прямой")) +
                  Row(QStringLiteral("Циклов"), QString::number(p.cycles)) +
                  Row(QStringLiteral("Допуск"), ToleranceText(p.tolerance, data.range)) +
                  Row(QStringLiteral("Установление показаний"), SettlingText(p.settling, data.range)));

    html += Heading(QStringLiteral("Проверка до подстройки")) + ResultsTable(data.asFound, data.range) +
            Table(SummaryRows(Summarize(data.asFound), p, data.range));
    html += Heading(QStringLiteral("Подстройка")) + TrimSection(data);
    html += Heading(QStringLiteral("Проверка после подстройки"));
    html +=
        data.asLeft.empty()
            ? Paragraph(TrimChanged(data) ? QStringLiteral("не проводилась")
                                          : QStringLiteral("не проводилась: прибор оставлен без подстройки"))
            : ResultsTable(data.asLeft, data.range) +
                  Table(SummaryRows(Summarize(data.asLeft), p, data.range));
    html += Heading(QStringLiteral("Неопределённость")) + UncertaintySection(data);

    const std::optional<bool> verdict = FinalVerdict(data);
    html +=
        Heading(QStringLiteral("Заключение")) +
        Paragraph(verdict
                      ? QStringLiteral("Прибор %1.").arg(VerdictText(*verdict))
                      : QStringLiteral("Результат не определён: после подстройки проверка не проводилась."));
    html += QStringLiteral("<p><br>Калибровку выполнил: %1 ______________________________ (подпись)</p>"
                           "<p><br>Дата: ____________________</p></body></html>")
                .arg(data.person.toHtmlEscaped());
    return html;
}

QByteArray CertificateCsv(const CertificateData& data) {
    QString text = QStringLiteral("Таблица;№;Точка;Ход;Цикл;Эталон;Показание;Погрешность;Погрешность, % "
                                  "диапазона;Допуск;Единицы;Результат\r\n");
    CsvRows(text, QStringLiteral("до подстройки"), data.asFound, data);
    CsvRows(text, QStringLiteral("после подстройки"), data.asLeft, data);
    return text::ToCp1251(text);
}

} // namespace olv::calibration
