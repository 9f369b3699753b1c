#include "calibration/trim.h"

#include "calibration/number_texts.h"
#include "device/encodings.h"
#include "device/register_map.h"

#include <QStringList>

#include <cmath>
#include <map>

namespace olv::calibration {

std::array<uint16_t, 4> TrimWords(const Trim& trim) {
    std::array<uint16_t, 4> words{};
    device::FloatToWords(trim.offset, words[0], words[1]);
    device::FloatToWords(trim.multiplier, words[2], words[3]);
    return words;
}

Trim TrimFromWords(const uint16_t* words4) {
    return {device::WordsToFloat(words4[0], words4[1]), device::WordsToFloat(words4[2], words4[3])};
}

QString TrimKindName(TrimKind kind) {
    return kind == TrimKind::Zero ? QStringLiteral("подстройка нуля")
                                  : QStringLiteral("подстройка по двум точкам");
}

namespace {

bool Finite(double v) {
    return std::isfinite(v);
}

// The checks every proposal shares before any arithmetic; an empty text when they pass.
QString CheckInputs(const Trim& current, double span, std::initializer_list<TrimPoint> points) {
    if (!Finite(span) || span <= 0)
        return QStringLiteral("Диапазон прибора задан неверно: подстройку рассчитать нельзя.");
    if (!Finite(current.offset) || !Finite(current.multiplier) || current.multiplier == 0)
        return QStringLiteral("Текущая подстройка прибора (смещение %1, множитель %2) не позволяет "
                              "восстановить показания датчика.")
            .arg(ValueText(current.offset), ValueText(current.multiplier));
    for (const TrimPoint& p : points)
        if (!Finite(p.reference) || !Finite(p.reading))
            return QStringLiteral("Показание или значение эталона не число: подстройку рассчитать нельзя.");
    return {};
}

// Rounds the pair to single precision as it will be stored, refuses what cannot be written, and marks a
// large change for confirmation.
TrimProposal Finish(TrimProposal proposal, double offset, double multiplier, double span) {
    const float o = static_cast<float>(offset), m = static_cast<float>(multiplier);
    if (!Finite(offset) || !Finite(multiplier) || !Finite(o) || !Finite(m)) {
        proposal.refusal = QStringLiteral("Расчёт подстройки не даёт числа: подстройка не предлагается.");
        return proposal;
    }
    if (m <= 0) {
        proposal.refusal =
            QStringLiteral("Расчёт даёт множитель %1, не больше нуля: подстройка не предлагается.")
                .arg(ValueText(m));
        return proposal;
    }
    proposal.ok = true;
    proposal.proposed = {o, m};
    QStringList large;
    if (m < 0.9f || m > 1.1f)
        large << QStringLiteral("множитель %1 вне пределов 0.9 … 1.1").arg(ValueText(m));
    const double moved = (static_cast<double>(o) - proposal.current.offset) / span * 100.0;
    if (std::fabs(moved) > 5.0)
        large << QStringLiteral("смещение меняется на %1 % диапазона (больше 5 %)")
                     .arg(PercentText(moved, true));
    if (!large.isEmpty()) {
        proposal.needsConfirmation = true;
        proposal.confirmation = QStringLiteral("Большое изменение подстройки: ") +
                                large.join(QStringLiteral("; ")) + QStringLiteral(". Подтвердите запись.");
    }
    return proposal;
}

} // namespace

TrimProposal ZeroTrim(const Trim& current, const TrimPoint& point, double span) {
    TrimProposal proposal;
    proposal.kind = TrimKind::Zero;
    proposal.current = current;
    proposal.refusal = CheckInputs(current, span, {point});
    if (!proposal.refusal.isEmpty()) return proposal;
    // The multiplier stays, so the sensor's own value need not be recovered: the reading moves by as much
    // as the offset does.
    return Finish(proposal, current.offset + (point.reference - point.reading), current.multiplier, span);
}

TrimProposal TwoPointTrim(const Trim& current, const TrimPoint& low, const TrimPoint& high, double span) {
    TrimProposal proposal;
    proposal.kind = TrimKind::TwoPoint;
    proposal.current = current;
    proposal.refusal = CheckInputs(current, span, {low, high});
    if (!proposal.refusal.isEmpty()) return proposal;
    if (std::fabs(high.reference - low.reference) < 0.1 * span) {
        proposal.refusal =
            QStringLiteral("Точки подстройки %1 и %2 ближе друг к другу, чем на 10 % диапазона.")
                .arg(ValueText(low.reference), ValueText(high.reference));
        return proposal;
    }
    // What the sensor measured at both points, before the current trim.
    const double sensedLow = (low.reading - current.offset) / current.multiplier;
    const double sensedHigh = (high.reading - current.offset) / current.multiplier;
    const double multiplier = (high.reference - low.reference) / (sensedHigh - sensedLow);
    const double offset = low.reference - multiplier * sensedLow;
    return Finish(proposal, offset, multiplier, span);
}

TrimProposal ProposeTrim(TrimKind kind, const Trim& current, const std::vector<PointResult>& asFound,
                         double span) {
    // Reference and reading per point, averaged over its accepted results.
    std::map<int, std::pair<TrimPoint, int>> points;
    for (const PointResult& r : asFound) {
        if (r.skipped) continue;
        auto& [sum, count] = points[r.step.point];
        sum.reference += r.reference;
        sum.reading += r.reading;
        ++count;
    }
    auto meanOf = [](const std::pair<TrimPoint, int>& entry) {
        return TrimPoint{entry.first.reference / entry.second, entry.first.reading / entry.second};
    };
    if (points.empty() || (kind == TrimKind::TwoPoint && points.size() < 2)) {
        TrimProposal proposal;
        proposal.kind = kind;
        proposal.current = current;
        proposal.refusal = kind == TrimKind::Zero
                               ? QStringLiteral("Нет принятой точки для подстройки нуля.")
                               : QStringLiteral("Для подстройки по двум точкам нужны две принятые точки.");
        return proposal;
    }
    if (kind == TrimKind::Zero) return ZeroTrim(current, meanOf(points.begin()->second), span);
    return TwoPointTrim(current, meanOf(points.begin()->second), meanOf(points.rbegin()->second), span);
}

double ReadingUnder(const Trim& proposed, const Trim& current, double reading) {
    const double sensed = (reading - current.offset) / current.multiplier;
    return sensed * proposed.multiplier + proposed.offset;
}

std::vector<PointResult> ExpectedResults(const std::vector<PointResult>& results, const Trim& current,
                                         const Trim& proposed, const Tolerance& tolerance, double span) {
    std::vector<PointResult> expected;
    for (const PointResult& r : results) {
        if (r.skipped) {
            expected.push_back(r);
            continue;
        }
        const double deviation = r.readingDeviation * std::fabs(proposed.multiplier / current.multiplier);
        expected.push_back(EvaluatePoint(r.step, r.reference, ReadingUnder(proposed, current, r.reading),
                                         deviation, r.readingCount, tolerance, span));
    }
    return expected;
}

std::optional<Trim> TrimReadBack(const device::PageWriteResult& result) {
    std::array<uint16_t, 4> back{};
    for (int i = 0; i < 4; ++i) {
        const auto word = result.readBack.find(device::reg::TrimOffset + i);
        if (word == result.readBack.end()) return std::nullopt;
        back[static_cast<size_t>(i)] = word->second;
    }
    return TrimFromWords(back.data());
}

} // namespace olv::calibration
