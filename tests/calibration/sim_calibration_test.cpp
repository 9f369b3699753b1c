// A whole check against the virtual instrument with a sensor error model: as found out of tolerance,
// the trim worked out and written into registers 59..62 through the line, as left within the noise.

#include "calibration/run.h"
#include "calibration/trim.h"
#include "device/encodings.h"
#include "device/live_value.h"
#include "link/line_port.h"
#include "link/link_settings.h"
#include "link/port_master.h"
#include "tests/support/sim_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace olv;
using namespace olv::calibration;

namespace {

// The program's master on the simulator's line: the meter at address 1, a reference meter at 2.
class Bench {
  public:
    explicit Bench(std::vector<std::string> args) {
        args.insert(args.begin(), "--quiet");
        std::string error;
        started_ = sim.start(args) && port.open(sim.path(), link::LineSettings{}, error);
        settings.parity = 0; // a pseudo-terminal carries no parity
        settings.timeoutMs = 200;
        settings.address = 1;
    }
    bool started() const { return started_; }

    std::optional<float> read(int address) {
        settings.address = address;
        device::LiveReading reading;
        uint8_t code = 0;
        if (device::ReadLiveValue(master, 0, reading, code) != 0 || code != 0) return std::nullopt;
        return reading.liveImplausible ? std::nanf("") : reading.liveValue;
    }
    Range range() {
        uint16_t w[4] = {};
        uint8_t code = 0;
        settings.address = 1;
        EXPECT_EQ(master.readHoldingRegisters(18, 4, w, code), 0);
        return {device::WordsToFloat(w[2], w[3]), device::WordsToFloat(w[0], w[1]), QStringLiteral("МПа")};
    }
    bool writeTrim(const Trim& trim) {
        const std::array<uint16_t, 4> words = TrimWords(trim);
        uint8_t code = 0;
        settings.address = 1;
        return master.writeMultipleRegisters(59, 4, words.data(), code) == 0 && code == 0;
    }
    std::optional<Trim> readTrim() {
        uint16_t w[4] = {};
        uint8_t code = 0;
        settings.address = 1;
        if (master.readHoldingRegisters(59, 4, w, code) != 0 || code != 0) return std::nullopt;
        return TrimFromWords(w);
    }
    void apply(double pressure, bool reference) {
        const std::string p = std::to_string(pressure);
        EXPECT_EQ(sim.command("apply " + p).rfind("ok", 0), 0u);
        if (reference) {
            EXPECT_EQ(sim.command("@2 apply " + p).rfind("ok", 0), 0u);
        }
    }

    // One table: every step applied, polled once a (simulated) second until measured, and accepted.
    // `atStep` runs once the pressure of that step is applied (a fault, say).
    std::vector<PointResult> check(const Procedure& procedure, const Range& range,
                                   const std::function<void(size_t step, CalibrationRun&)>& atStep = {}) {
        int64_t now = 0;
        CalibrationRun run(procedure, range, [&] { return now; });
        const bool withReference = procedure.reference == ReferenceMode::Instrument;
        while (run.state() != RunState::Finished) {
            apply(run.currentStep()->nominal, withReference);
            EXPECT_TRUE(run.pressureApplied());
            if (atStep) atStep(run.stepIndex(), run);
            for (int i = 0; i < 60 && run.state() != RunState::Settled && run.state() != RunState::TimedOut;
                 ++i) {
                now += 1000;
                run.feed({read(1), withReference ? read(2) : std::nullopt});
            }
            QString reason;
            if (!run.accept(reason)) {
                ADD_FAILURE() << "step " << run.stepIndex() << ": " << reason.toStdString() << " / "
                              << run.message().toStdString();
                return run.results();
            }
        }
        return run.results();
    }

    test::SimInstrument sim; // ended by its pid when the bench goes
    link::LinePort port;
    link::LinkSettings settings;
    link::PortMaster master{port, settings};

  private:
    bool started_ = false;
};

TEST(SimCalibration, ATwoPointTrimAgainstAReferenceMeterBringsTheMeterWithinItsNoise) {
    // Zero +0.5 % of span, gain +1 %, noise 0.005 % of span; the meter already carries an earlier trim.
    Bench bench({"--instruments-range", "1-2", "--sensor-error", "zero=0.5,gain=1,noise=0.005,seed=11"});
    ASSERT_TRUE(bench.started());
    ASSERT_EQ(bench.sim.command("@2 sensor-error off").rfind("ok", 0), 0u);
    const Trim earlier{0.01f, 0.98f};
    ASSERT_TRUE(bench.writeTrim(earlier));
    const Range range = bench.range();
    ASSERT_FLOAT_EQ(range.maximum, 1.6f);

    Procedure procedure = DefaultProcedure(range);
    procedure.reference = ReferenceMode::Instrument;
    const std::vector<PointResult> asFound = bench.check(procedure, range);
    ASSERT_EQ(asFound.size(), 5u);
    const Summary found = Summarize(asFound);
    EXPECT_FALSE(found.pass);
    // At 0: the sensor's 0.008 sent as 0.008 × 0.98 + 0.01.
    EXPECT_NEAR(asFound[0].error, 0.01784, 0.0002);

    const TrimProposal proposal = ProposeTrim(TrimKind::TwoPoint, *bench.readTrim(), asFound, range.span());
    ASSERT_TRUE(proposal.ok) << proposal.refusal.toStdString();
    EXPECT_EQ(proposal.current, earlier);
    EXPECT_NEAR(proposal.proposed.multiplier, 1 / 1.01, 2e-4);
    EXPECT_NEAR(proposal.proposed.offset, -0.008 / 1.01, 2e-4);
    EXPECT_FALSE(proposal.needsConfirmation);
    ASSERT_TRUE(bench.writeTrim(proposal.proposed));
    EXPECT_EQ(bench.readTrim(), proposal.proposed);

    const std::vector<PointResult> asLeft = bench.check(procedure, range);
    ASSERT_EQ(asLeft.size(), 5u);
    const Summary left = Summarize(asLeft);
    EXPECT_TRUE(left.pass);
    const std::vector<PointResult> expected =
        ExpectedResults(asFound, earlier, proposal.proposed, procedure.tolerance, range.span());
    for (size_t i = 0; i < asLeft.size(); ++i) {
        // Within the noise: its standard deviation is 0.005 % of span, that of a mean of five smaller.
        EXPECT_LT(std::fabs(asLeft[i].errorPercent), 0.02) << i;
        EXPECT_NEAR(asLeft[i].error, expected[i].error, 0.0003) << i << ": as the proposal expected";
    }
}

TEST(SimCalibration, AZeroTrimLeavesTheHysteresisAndTheRunPausesWhileTheMeterIsSilent) {
    // Zero +0.5 % and hysteresis 0.2 % of span; the reference is the pressure applied.
    Bench bench({"--sensor-error", "zero=0.5,hysteresis=0.2,noise=0.005,seed=4"});
    ASSERT_TRUE(bench.started());
    const Range range = bench.range();
    Procedure procedure = DefaultProcedure(range);
    procedure.reference = ReferenceMode::Applied;
    procedure.descending = true;

    // The sensor comes from the swing above: a pressure below the range first, so that the first zero
    // is approached from below like every ascending point.
    const double below = range.minimum - 0.05 * range.span();
    bench.apply(below, false);
    bool paused = false;
    const std::vector<PointResult> asFound =
        bench.check(procedure, range, [&](size_t step, CalibrationRun& run) {
            if (step != 2) return;
            ASSERT_EQ(bench.sim.command("fault noreply on"), "ok fault noreply on");
            run.feed({bench.read(1), std::nullopt});
            paused = run.state() == RunState::Paused;
            ASSERT_EQ(bench.sim.command("fault noreply off"), "ok fault noreply off");
        });
    EXPECT_TRUE(paused) << "a meter that does not answer pauses the wait";
    ASSERT_EQ(asFound.size(), 9u);
    const Summary found = Summarize(asFound);
    EXPECT_FALSE(found.pass);
    ASSERT_TRUE(found.largestHysteresis);
    EXPECT_NEAR(*found.largestHysteresis / range.span() * 100, 0.2, 0.02);

    const TrimProposal proposal = ProposeTrim(TrimKind::Zero, {0, 1}, asFound, range.span());
    ASSERT_TRUE(proposal.ok) << proposal.refusal.toStdString();
    EXPECT_NEAR(proposal.proposed.offset, -0.008, 0.0002);
    EXPECT_EQ(proposal.proposed.multiplier, 1.0f);
    ASSERT_TRUE(bench.writeTrim(proposal.proposed));
    EXPECT_EQ(bench.sim.dump()["trim_multiplier"], "1");

    bench.apply(below, false);
    const std::vector<PointResult> asLeft = bench.check(procedure, range);
    ASSERT_EQ(asLeft.size(), 9u);
    EXPECT_TRUE(Summarize(asLeft).pass);
    for (const PointResult& r : asLeft) {
        // The ascending readings half the hysteresis below, the descending ones above; no zero error left.
        const double half = r.step.point == 4 ? -0.1 : r.step.direction == Direction::Up ? -0.1 : 0.1;
        EXPECT_NEAR(r.errorPercent, half, 0.02) << r.step.point;
    }
}

} // namespace
