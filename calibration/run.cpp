#include "calibration/run.h"

#include "calibration/number_texts.h"
#include "calibration/reference.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace olv::calibration {

CalibrationRun::CalibrationRun(const Procedure& procedure, const Range& range, Clock clock)
    : procedure_(procedure), range_(range), clock_(std::move(clock)),
      invalid_(CheckProcedure(procedure, range)), meter_(procedure.settling, range.span()),
      reference_(procedure.settling, range.span()) {
    if (!clock_)
        clock_ = [] {
            return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now().time_since_epoch())
                                            .count());
        };
    if (invalid_.isEmpty()) steps_ = BuildSteps(procedure_);
    if (steps_.empty()) state_ = RunState::Finished;
}

std::optional<Step> CalibrationRun::currentStep() const {
    if (index_ >= steps_.size()) return std::nullopt;
    return steps_[index_];
}

void CalibrationRun::startWait() {
    meter_.restart();
    reference_.restart();
    waitStartMs_ = clock_();
    state_ = RunState::Settling;
}

void CalibrationRun::next() {
    typed_.reset();
    meter_.restart();
    reference_.restart();
    ++index_;
    state_ = index_ < steps_.size() ? RunState::AwaitingPressure : RunState::Finished;
}

bool CalibrationRun::pressureApplied() {
    if (state_ != RunState::AwaitingPressure) return false;
    startWait();
    return true;
}

void CalibrationRun::take(const Poll& poll) {
    const bool withReference = procedure_.reference == ReferenceMode::Instrument;
    meter_.add(*poll.meter);
    if (withReference) reference_.add(*poll.reference);
    const bool meterDone = meter_.phase() == Settler::Phase::Done;
    const bool referenceDone = !withReference || reference_.phase() == Settler::Phase::Done;
    if (meterDone && referenceDone) {
        state_ = RunState::Settled;
        return;
    }
    const bool averaging = meter_.phase() != Settler::Phase::Settling &&
                           (!withReference || reference_.phase() != Settler::Phase::Settling);
    state_ = averaging ? RunState::Averaging : RunState::Settling;
    if (clock_() - waitStartMs_ >= int64_t{procedure_.settling.timeoutSeconds} * 1000)
        state_ = RunState::TimedOut;
}

void CalibrationRun::feed(const Poll& poll) {
    const bool withReference = procedure_.reference == ReferenceMode::Instrument;
    const bool answered = poll.meter && (!withReference || poll.reference);
    switch (state_) {
    case RunState::Settling:
    case RunState::Averaging:
        if (!answered) {
            // Readings on either side of a silence are no run of steady readings: the wait starts again
            // once both answer.
            referenceSilent_ = poll.meter.has_value();
            state_ = RunState::Paused;
            return;
        }
        take(poll);
        return;
    case RunState::Paused:
        if (!answered) {
            referenceSilent_ = poll.meter.has_value();
            return;
        }
        startWait();
        take(poll);
        return;
    default:
        return; // nothing is measured before the pressure is applied, or once the step is measured
    }
}

std::optional<double> CalibrationRun::referenceValue() const {
    switch (procedure_.reference) {
    case ReferenceMode::Typed:
        return typed_;
    case ReferenceMode::Instrument:
        if (reference_.phase() != Settler::Phase::Done) return std::nullopt;
        return reference_.mean();
    case ReferenceMode::Applied:
        if (!currentStep()) return std::nullopt;
        return currentStep()->nominal;
    }
    return std::nullopt;
}

std::optional<PointResult> CalibrationRun::pendingResult() const {
    const std::optional<double> reference = referenceValue();
    if (state_ != RunState::Settled || !reference) return std::nullopt;
    return EvaluatePoint(*currentStep(), *reference, meter_.mean(), meter_.standardDeviation(),
                         meter_.averagedCount(), procedure_.tolerance, range_.span());
}

bool CalibrationRun::setTypedReference(const QString& text, QString& reason) {
    if (state_ == RunState::Finished) {
        reason = QStringLiteral("Проверка завершена.");
        return false;
    }
    if (procedure_.reference != ReferenceMode::Typed) {
        reason = procedure_.reference == ReferenceMode::Instrument
                     ? QStringLiteral("Значение эталона читается с эталонного прибора.")
                     : QStringLiteral("Значение эталона — заданное давление точки.");
        return false;
    }
    const std::optional<double> value = ParseTypedReference(text, range_, reason);
    if (!value) return false;
    typed_ = value;
    return true;
}

bool CalibrationRun::accept(QString& reason) {
    if (state_ == RunState::TimedOut) {
        reason = message();
        return false;
    }
    if (state_ != RunState::Settled) {
        reason = state_ == RunState::Finished
                     ? QStringLiteral("Проверка завершена.")
                     : QStringLiteral("Точка ещё не измерена: показания не установились.");
        return false;
    }
    const std::optional<PointResult> result = pendingResult();
    if (!result) {
        reason = QStringLiteral("Введите значение эталона.");
        return false;
    }
    results_.push_back(*result);
    next();
    return true;
}

bool CalibrationRun::repeat(QString& reason) {
    switch (state_) {
    case RunState::Settling:
    case RunState::Averaging:
    case RunState::Settled:
    case RunState::TimedOut:
        typed_.reset();
        startWait();
        return true;
    case RunState::AwaitingPressure:
        reason = QStringLiteral("Давление точки ещё не подано.");
        return false;
    case RunState::Paused:
        reason = QStringLiteral("Прибор не отвечает: измерение продолжится, когда он ответит.");
        return false;
    case RunState::Finished:
        break;
    }
    reason = QStringLiteral("Проверка завершена.");
    return false;
}

bool CalibrationRun::skip(QString& reason) {
    if (state_ == RunState::Finished) {
        reason = QStringLiteral("Проверка завершена.");
        return false;
    }
    results_.push_back(SkippedPoint(*currentStep()));
    next();
    return true;
}

RunProgress CalibrationRun::progress() const {
    RunProgress p;
    const bool withReference = procedure_.reference == ReferenceMode::Instrument;
    p.meterSpread = meter_.spread();
    if (withReference) p.referenceSpread = reference_.spread();
    p.band = meter_.band();
    p.window = procedure_.settling.window;
    p.meterReadings = meter_.windowCount();
    p.averaged =
        withReference ? std::min(meter_.averagedCount(), reference_.averagedCount()) : meter_.averagedCount();
    p.meanCount = procedure_.settling.meanCount;
    const bool waiting = state_ == RunState::Settling || state_ == RunState::Averaging;
    p.waitedMs = waiting ? std::max<int64_t>(clock_() - waitStartMs_, 0) : 0;
    p.timeoutMs = int64_t{procedure_.settling.timeoutSeconds} * 1000;
    return p;
}

QString CalibrationRun::stepText() const {
    const Step step = *currentStep();
    QString text = QStringLiteral("точка %1 из %2: %3, %4 ход")
                       .arg(index_ + 1)
                       .arg(steps_.size())
                       .arg(ValueText(step.nominal, range_.units), DirectionName(step.direction));
    if (procedure_.cycles > 1)
        text += QStringLiteral(", цикл %1 из %2").arg(step.cycle + 1).arg(procedure_.cycles);
    return text;
}

QString CalibrationRun::spreadText() const {
    const auto one = [&](const Settler& s, const QString& whose) {
        const std::optional<double> spread = s.spread();
        QString text = spread ? QStringLiteral("разброс %1 последних показаний %2%3")
                                    .arg(procedure_.settling.window)
                                    .arg(whose, ValueText(*spread, range_.units))
                              : QStringLiteral("%1 из %2 показаний%3")
                                    .arg(s.windowCount())
                                    .arg(procedure_.settling.window)
                                    .arg(whose);
        if (s.invalidCount() > 0) text += QStringLiteral(" (не число: %1)").arg(s.invalidCount());
        return text;
    };
    QString text = one(meter_, QString());
    if (procedure_.reference == ReferenceMode::Instrument)
        text += QStringLiteral("; ") + one(reference_, QStringLiteral(" эталона"));
    return text + QStringLiteral(", допускается %1").arg(ValueText(meter_.band(), range_.units));
}

QString CalibrationRun::message() const {
    if (!invalid_.isEmpty()) return invalid_;
    switch (state_) {
    case RunState::AwaitingPressure:
        return QStringLiteral("Подайте давление %1 (%2).")
            .arg(ValueText(currentStep()->nominal, range_.units), stepText());
    case RunState::Settling:
        return QStringLiteral("Ожидание установления показаний, %1: %2.").arg(stepText(), spreadText());
    case RunState::Averaging:
        return QStringLiteral("Показания установились, усреднение: %1 из %2 (%3).")
            .arg(progress().averaged)
            .arg(procedure_.settling.meanCount)
            .arg(stepText());
    case RunState::Settled: {
        QString text = QStringLiteral("Точка измерена (%1): показание %2")
                           .arg(stepText(), ValueText(meter_.mean(), range_.units));
        const std::optional<PointResult> result = pendingResult();
        if (!result) return text + QStringLiteral(". Введите значение эталона.");
        return text +
               QStringLiteral(", эталон %1, погрешность %2 (%3 % диапазона), %4. Примите, повторите или "
                              "пропустите точку.")
                   .arg(ValueText(result->reference, range_.units),
                        (result->error >= 0 ? QStringLiteral("+") : QString()) +
                            ValueText(result->error, range_.units),
                        PercentText(result->errorPercent, true), VerdictText(result->pass));
    }
    case RunState::TimedOut:
        return QStringLiteral("Показания не установились за %1 с (%2): %3. Точка не принята: повторите или "
                              "пропустите её.")
            .arg(procedure_.settling.timeoutSeconds)
            .arg(stepText(), spreadText());
    case RunState::Paused:
        return referenceSilent_
                   ? QStringLiteral(
                         "Эталонный прибор не отвечает: измерение приостановлено и начнётся заново, "
                         "когда он ответит.")
                   : QStringLiteral(
                         "Прибор не отвечает: измерение приостановлено и начнётся заново, когда он "
                         "ответит.");
    case RunState::Finished:
        break;
    }
    return QStringLiteral("Проверка завершена.");
}

} // namespace olv::calibration
