#include "calibration/dialog_steps.h"

#include "calibration/certificate_files.h"
#include "calibration/number_texts.h"
#include "device/number_text.h"

#include <algorithm>
#include <cmath>

namespace olv::calibration {

namespace {

QString SignedValue(double v) {
    return (v > 0 ? QStringLiteral("+") : QString()) + ValueText(v);
}

} // namespace

QString TrimText(const Trim& t) {
    return QStringLiteral("смещение %1, множитель %2").arg(ValueText(t.offset), ValueText(t.multiplier));
}

std::optional<double> TypedNumber(const QString& text) {
    QString t = text.trimmed();
    t.replace(u',', u'.');
    const std::optional<double> v = device::ParseFloat(t);
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return v;
}

int SettlePercent(RunState state, const RunProgress& p) {
    switch (state) {
    case RunState::Settling:
        return p.meterSpread && *p.meterSpread > 0
                   ? static_cast<int>(50 * std::min(1.0, p.band / *p.meterSpread))
                   : 50 * p.meterReadings / std::max(p.window, 1);
    case RunState::Averaging:
        return 50 + 50 * p.averaged / std::max(p.meanCount, 1);
    case RunState::Settled:
    case RunState::Finished:
        return 100;
    default:
        return 0;
    }
}

RunControls RunControlsIn(RunState state) {
    RunControls c;
    c.applied = state == RunState::AwaitingPressure;
    c.accept = state == RunState::Settled;
    c.repeat = state == RunState::Settling || state == RunState::Averaging || state == RunState::Settled ||
               state == RunState::TimedOut;
    c.skip = state != RunState::Finished;
    c.reference = state != RunState::Finished;
    c.next = state == RunState::Finished;
    return c;
}

QString RunTitle(bool asFound) {
    return asFound ? QStringLiteral("Проверка до подстройки") : QStringLiteral("Проверка после подстройки");
}

std::vector<TableRow> TableRows(const std::vector<Step>& steps, const std::vector<PointResult>& results,
                                size_t rows) {
    std::vector<TableRow> table;
    for (size_t i = 0; i < rows && i < steps.size(); ++i) {
        const PointResult* r = i < results.size() ? &results[i] : nullptr;
        const bool shown = r && !r->skipped;
        TableRow row;
        row.texts = {QString::number(i + 1),
                     ValueText(steps[i].nominal),
                     DirectionName(steps[i].direction),
                     shown ? ValueText(r->reference) : QString(),
                     shown ? ValueText(r->reading) : QString(),
                     shown ? SignedValue(r->error) : QString(),
                     shown ? PercentText(r->errorPercent, true) : QString(),
                     !r           ? QString()
                     : r->skipped ? QStringLiteral("пропущена")
                                  : VerdictText(r->pass)};
        row.mark = !r           ? RowMark::Empty
                   : r->skipped ? RowMark::Skipped
                   : r->pass    ? RowMark::Pass
                                : RowMark::Fail;
        table.push_back(row);
    }
    return table;
}

TrimChoice SuggestedTrim(const std::vector<PointResult>& asFound) {
    const Summary summary = Summarize(asFound);
    return summary.pass                 ? TrimChoice::None
           : summary.points.size() >= 2 ? TrimChoice::TwoPoint
                                        : TrimChoice::Zero;
}

TrimStep ProposeTrimStep(TrimChoice choice, const Trim& held, const std::vector<PointResult>& asFound,
                         const std::optional<TrimRecord>& written, const Procedure& procedure,
                         const Range& range) {
    TrimStep step;
    const Summary found = Summarize(asFound);
    QString text = QStringLiteral("До подстройки: %1").arg(VerdictText(found.pass));
    if (found.largestErrorPercent)
        text += QStringLiteral(", наибольшая погрешность %1 % диапазона")
                    .arg(PercentText(*found.largestErrorPercent, true));
    text += QStringLiteral(".\nВ приборе: %1.").arg(TrimText(held));
    step.expected = asFound;
    if (written)
        text += QStringLiteral("\nЗаписано: %1 (%2).")
                    .arg(written->after ? TrimText(*written->after) : QStringLiteral("не прочитано"),
                         written->outcome);
    if (choice == TrimChoice::None) {
        text += QStringLiteral("\nПодстройка не предлагается.");
    } else {
        const TrimKind kind = choice == TrimChoice::Zero ? TrimKind::Zero : TrimKind::TwoPoint;
        step.proposal = ProposeTrim(kind, held, asFound, range.span());
        const TrimProposal& p = step.proposal;
        if (!p.ok) {
            text += QStringLiteral("\n%1 невозможна: %2").arg(TrimKindName(kind), p.refusal);
        } else {
            text += QStringLiteral("\nПредлагается: смещение %1 → %2, множитель %3 → %4.")
                        .arg(ValueText(p.current.offset), ValueText(p.proposed.offset),
                             ValueText(p.current.multiplier), ValueText(p.proposed.multiplier));
            if (p.needsConfirmation) text += QStringLiteral("\nВнимание: ") + p.confirmation;
            step.expected = ExpectedResults(asFound, held, p.proposed, procedure.tolerance, range.span());
            const Summary after = Summarize(step.expected);
            text += QStringLiteral("\nОжидается после подстройки: %1").arg(VerdictText(after.pass));
            if (after.largestErrorPercent)
                text += QStringLiteral(", наибольшая погрешность %1 % диапазона")
                            .arg(PercentText(*after.largestErrorPercent, true));
            text += u'.';
            step.writable = true;
        }
    }
    step.text = text;
    return step;
}

CertificateData AssembleCertificate(CertificateData d, const QString& serial) {
    d.number = CertificateNumber(serial, d.when);
    d.uncertainty = CertificateUncertainty(d);
    return d;
}

QString CertificateSummary(const CertificateData& d) {
    const std::optional<bool> verdict = FinalVerdict(d);
    return QStringLiteral("Сертификат № %1\n%2.\n\nЗаключение: %3")
        .arg(d.number, CalibrationOutcomeText(d),
             verdict ? QStringLiteral("прибор %1.").arg(VerdictText(*verdict))
                     : QStringLiteral("не определено: после подстройки проверка не проводилась."));
}

} // namespace olv::calibration
