#pragma once

#include "calibration/procedure.h"
#include "calibration/results.h"
#include "calibration/settling.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace olv::calibration {

// Where a check stands. Every change comes from a call below: the run has no timers and no threads,
// so a window drives it from its poll and a headless program from its loop.
enum class RunState {
    AwaitingPressure, // the step's pressure is to be applied; pressureApplied() starts the wait
    Settling,         // waiting for the readings to settle
    Averaging,        // settled: the next readings are averaged
    Settled,          // measured: accept (with a typed reference in that mode), repeat or skip
    TimedOut,         // the readings did not settle in time: the point is not accepted; repeat or skip
    Paused,           // the meter or the reference meter stopped answering: the wait goes on when both answer
    Finished,         // every step accepted or skipped
};

// What one poll of the line gave.
struct Poll {
    std::optional<float> meter; // none: no answer; NaN: an answer that holds no number
    std::optional<float>
        reference; // the same of the reference meter; looked at in ReferenceMode::Instrument only
};

// How far the wait of the current step has come, for a settling indicator.
struct RunProgress {
    std::optional<double> meterSpread;     // of the last `window` readings, once there are that many
    std::optional<double> referenceSpread; // likewise of the reference meter
    double band = 0;                       // the spread allowed, units
    int window = 0;                        // readings the spread is taken of
    int meterReadings = 0;                 // readings in the meter's window so far
    int averaged = 0;                      // readings averaged so far (the fewer of meter and reference)
    int meanCount = 0;
    int64_t waitedMs = 0; // since the wait began (or went on after a pause)
    int64_t timeoutMs = 0;
};

// One table of a check (as found, or as left): the steps of a procedure, each settled, measured and
// accepted or skipped, fed one poll at a time.
class CalibrationRun {
  public:
    using Clock = std::function<int64_t()>; // steady milliseconds

    // A procedure that CheckProcedure refuses gives a run that is Finished at once, with no steps, its
    // message the reason.
    CalibrationRun(const Procedure& procedure, const Range& range, Clock clock);

    RunState state() const { return state_; }
    const Procedure& procedure() const { return procedure_; }
    const Range& range() const { return range_; }
    const std::vector<Step>& steps() const { return steps_; }
    size_t stepIndex() const { return index_; } // steps().size() once finished
    std::optional<Step> currentStep() const;
    const std::vector<PointResult>& results() const { return results_; }

    // What the engineer should know now, in words (the step, the spread, the reason of a time-out or a
    // pause, the measured point).
    QString message() const;
    RunProgress progress() const;
    // In Settled: what accept() would record (with a typed reference not given yet: none).
    std::optional<PointResult> pendingResult() const;

    // The step's pressure is applied: the wait for settled readings begins. Only in AwaitingPressure.
    bool pressureApplied();
    // One poll. In Settling and Averaging the readings go to the settling rule; no answer pauses the
    // wait; in Paused an answer (of both meters in ReferenceMode::Instrument) restarts it. The time-out
    // is looked at here, by the clock.
    void feed(const Poll& poll);
    // The value the reference shows at this step (ReferenceMode::Typed): refused with the reason when it
    // is not a number or lies outside the range by more than 10 % of the span.
    bool setTypedReference(const QString& text, QString& reason);
    // Records the measured point and goes to the next step. Only in Settled, with a reference.
    bool accept(QString& reason);
    // Measures the step again from the start of its wait (a typed reference is asked for again).
    bool repeat(QString& reason);
    // Gives the step up: it is recorded as skipped, and the next step follows.
    bool skip(QString& reason);

  private:
    void next();
    void startWait();
    void take(const Poll& poll);
    std::optional<double> referenceValue() const;
    QString stepText() const;
    QString spreadText() const;

    Procedure procedure_;
    Range range_;
    Clock clock_;
    QString invalid_;
    std::vector<Step> steps_;
    size_t index_ = 0;
    RunState state_ = RunState::AwaitingPressure;
    Settler meter_;
    Settler reference_;
    std::optional<double> typed_;
    int64_t waitStartMs_ = 0;
    bool referenceSilent_ = false; // the pause is the reference meter's
    std::vector<PointResult> results_;
};

} // namespace olv::calibration
