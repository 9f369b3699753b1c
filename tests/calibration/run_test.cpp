// The run of a check as a state machine fed with polls and a clock the test moves.

#include "calibration/reference.h"
#include "calibration/run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace olv::calibration;

namespace {

const Range Mpa{0, 1.6, QStringLiteral("МПа")};

struct Bench {
    explicit Bench(ReferenceMode mode = ReferenceMode::Typed) : Bench(WithReference(mode)) {}
    explicit Bench(const Procedure& procedure) : run(procedure, Mpa, [this] { return now; }) {}
    static Procedure WithReference(ReferenceMode mode) {
        Procedure p = DefaultProcedure(Mpa);
        p.reference = mode;
        return p;
    }
    // One poll a second.
    void poll(std::optional<float> meter, std::optional<float> reference = std::nullopt) {
        now += 1000;
        run.feed({meter, reference});
    }
    void polls(int count, std::optional<float> meter, std::optional<float> reference = std::nullopt) {
        for (int i = 0; i < count; ++i)
            poll(meter, reference);
    }
    int64_t now = 0;
    CalibrationRun run;
    QString reason;
};

TEST(CalibrationRun, MeasuresAPointOnceItsReadingsSettleAndTakesATypedReference) {
    Bench b;
    EXPECT_EQ(b.run.state(), RunState::AwaitingPressure);
    EXPECT_EQ(b.run.steps().size(), 5u);
    EXPECT_TRUE(b.run.message().contains(QStringLiteral("Подайте давление 0.0000 МПа")))
        << b.run.message().toStdString();
    b.polls(10, 0.001f);
    EXPECT_EQ(b.run.state(), RunState::AwaitingPressure)
        << "readings before the pressure is applied count for nothing";

    ASSERT_TRUE(b.run.pressureApplied());
    EXPECT_FALSE(b.run.pressureApplied());
    b.polls(4, 0.001f);
    EXPECT_EQ(b.run.state(), RunState::Settling);
    EXPECT_EQ(b.run.progress().meterReadings, 4);
    b.poll(0.001f);
    EXPECT_EQ(b.run.state(), RunState::Averaging);
    b.polls(4, 0.0012f);
    EXPECT_EQ(b.run.progress().averaged, 4);
    EXPECT_FALSE(b.run.accept(b.reason));
    b.poll(0.0012f);
    ASSERT_EQ(b.run.state(), RunState::Settled);
    EXPECT_TRUE(b.run.message().contains(QStringLiteral("Введите значение эталона")));

    EXPECT_FALSE(b.run.accept(b.reason)) << "no reference typed yet";
    EXPECT_FALSE(b.run.setTypedReference(QStringLiteral("abc"), b.reason));
    EXPECT_TRUE(b.reason.contains(QStringLiteral("не число")));
    EXPECT_FALSE(b.run.setTypedReference(QStringLiteral("0,001"), b.reason));
    EXPECT_FALSE(b.run.setTypedReference(QStringLiteral("-0.1601"), b.reason))
        << "10 % of span below the range";
    EXPECT_TRUE(b.reason.contains(QStringLiteral("вне диапазона")));
    EXPECT_FALSE(b.run.setTypedReference(QStringLiteral("1.7601"), b.reason));
    ASSERT_TRUE(b.run.setTypedReference(QStringLiteral(" 0.0002"), b.reason)) << b.reason.toStdString();
    ASSERT_TRUE(b.run.pendingResult());
    EXPECT_TRUE(b.run.message().contains(QStringLiteral("эталон 0.0002 МПа")))
        << b.run.message().toStdString();

    ASSERT_TRUE(b.run.accept(b.reason));
    ASSERT_EQ(b.run.results().size(), 1u);
    const PointResult& r = b.run.results()[0];
    EXPECT_NEAR(r.reading, 0.0012, 1e-9);
    EXPECT_NEAR(r.error, 0.001, 1e-9);
    EXPECT_NEAR(r.errorPercent, 0.0625, 1e-6);
    EXPECT_TRUE(r.pass);
    EXPECT_EQ(r.readingCount, 5);
    EXPECT_EQ(b.run.state(), RunState::AwaitingPressure);
    EXPECT_EQ(b.run.stepIndex(), 1u);
    EXPECT_DOUBLE_EQ(b.run.currentStep()->nominal, 0.4);
    EXPECT_FALSE(b.run.pendingResult()) << "the next step has a reference of its own";
}

TEST(CalibrationRun, ATimeOutLeavesThePointUnacceptedUntilRepeatedOrSkipped) {
    Bench b;
    b.run.pressureApplied();
    // A drift of 0.05 % of span a second: five readings always spread 0.2 %.
    for (int i = 0; i < 119; ++i)
        b.poll(static_cast<float>(0.0008 * i));
    EXPECT_EQ(b.run.state(), RunState::Settling);
    b.poll(0.1f);
    ASSERT_EQ(b.run.state(), RunState::TimedOut);
    EXPECT_TRUE(b.run.message().contains(QStringLiteral("не установились за 120 с")))
        << b.run.message().toStdString();
    b.run.setTypedReference(QStringLiteral("0"), b.reason);
    EXPECT_FALSE(b.run.accept(b.reason));
    EXPECT_TRUE(b.reason.contains(QStringLiteral("Точка не принята")));
    b.polls(10, 0.0f);
    EXPECT_EQ(b.run.state(), RunState::TimedOut) << "readings after the time-out change nothing";

    ASSERT_TRUE(b.run.repeat(b.reason));
    EXPECT_EQ(b.run.state(), RunState::Settling);
    EXPECT_EQ(b.run.progress().waitedMs, 0);
    b.polls(10, 0.0f);
    EXPECT_EQ(b.run.state(), RunState::Settled);
    EXPECT_FALSE(b.run.accept(b.reason)) << "a repeat asks for the reference again";

    ASSERT_TRUE(b.run.skip(b.reason));
    ASSERT_EQ(b.run.results().size(), 1u);
    EXPECT_TRUE(b.run.results()[0].skipped);
    EXPECT_EQ(b.run.state(), RunState::AwaitingPressure);
}

TEST(CalibrationRun, ASilentMeterPausesTheWaitWhichStartsAfreshWhenItAnswers) {
    Bench b;
    b.run.pressureApplied();
    b.polls(4, 0.0f);
    b.poll(std::nullopt);
    ASSERT_EQ(b.run.state(), RunState::Paused);
    EXPECT_TRUE(b.run.message().startsWith(QStringLiteral("Прибор не отвечает")));
    EXPECT_FALSE(b.run.repeat(b.reason));
    b.polls(300, std::nullopt);
    EXPECT_EQ(b.run.state(), RunState::Paused) << "the time spent paused is no time-out";
    b.poll(0.0f);
    EXPECT_EQ(b.run.state(), RunState::Settling);
    EXPECT_EQ(b.run.progress().meterReadings, 1)
        << "readings before the silence are not joined to later ones";
    EXPECT_EQ(b.run.progress().waitedMs, 0);
    b.polls(9, 0.0f);
    EXPECT_EQ(b.run.state(), RunState::Settled);
    b.poll(std::nullopt);
    EXPECT_EQ(b.run.state(), RunState::Settled) << "a measured point needs no more readings";
    // A reading that holds no number is an answer: no pause, the window starts again after it.
    b.run.repeat(b.reason);
    b.polls(3, 0.0f);
    b.poll(std::nanf(""));
    EXPECT_EQ(b.run.state(), RunState::Settling);
    EXPECT_EQ(b.run.progress().meterReadings, 0);
    EXPECT_TRUE(b.run.message().contains(QStringLiteral("не число: 1"))) << b.run.message().toStdString();
}

TEST(CalibrationRun, AReferenceMeterIsSettledByTheSameRuleAndPausesWhenSilent) {
    Bench b(ReferenceMode::Instrument);
    EXPECT_FALSE(b.run.setTypedReference(QStringLiteral("0"), b.reason));
    b.run.pressureApplied();
    b.polls(3, 0.001f, 0.0f);
    b.poll(0.001f, std::nullopt);
    ASSERT_EQ(b.run.state(), RunState::Paused);
    EXPECT_TRUE(b.run.message().startsWith(QStringLiteral("Эталонный прибор не отвечает")));
    b.poll(0.001f, 0.0f);
    EXPECT_EQ(b.run.state(), RunState::Settling);
    // The meter is steady but the reference still moves: nobody is averaged.
    b.polls(5, 0.001f, 0.0f);
    b.polls(3, 0.001f, 0.01f);
    EXPECT_EQ(b.run.state(), RunState::Settling);
    EXPECT_TRUE(b.run.message().contains(QStringLiteral("эталона"))) << b.run.message().toStdString();
    b.polls(9, 0.001f, 0.0004f);
    EXPECT_EQ(b.run.state(), RunState::Averaging);
    b.poll(0.001f, 0.0004f);
    ASSERT_EQ(b.run.state(), RunState::Settled);
    ASSERT_TRUE(b.run.accept(b.reason)) << b.reason.toStdString();
    EXPECT_NEAR(b.run.results()[0].reference, 0.0004, 1e-9);
    EXPECT_NEAR(b.run.results()[0].error, 0.0006, 1e-9);
}

TEST(CalibrationRun, AnAppliedPressureIsItsOwnReferenceToTheLastStep) {
    Procedure p = Bench::WithReference(ReferenceMode::Applied);
    p.descending = true;
    Bench b(p);
    ASSERT_EQ(b.run.steps().size(), 9u);
    while (b.run.state() != RunState::Finished) {
        ASSERT_TRUE(b.run.pressureApplied());
        const float nominal = static_cast<float>(b.run.currentStep()->nominal);
        b.polls(10, nominal + 0.002f);
        ASSERT_EQ(b.run.state(), RunState::Settled);
        ASSERT_TRUE(b.run.accept(b.reason)) << b.reason.toStdString();
    }
    EXPECT_EQ(b.run.stepIndex(), 9u);
    EXPECT_FALSE(b.run.currentStep());
    EXPECT_EQ(b.run.message(), QStringLiteral("Проверка завершена."));
    EXPECT_FALSE(b.run.skip(b.reason));
    EXPECT_FALSE(b.run.accept(b.reason));
    const Summary s = Summarize(b.run.results());
    EXPECT_EQ(s.accepted, 9);
    EXPECT_TRUE(s.pass);
    EXPECT_NEAR(*s.largestHysteresis, 0, 1e-6);
}

TEST(CalibrationRun, ARefusedProcedureFinishesAtOnceWithItsReason) {
    Procedure p = DefaultProcedure(Mpa);
    p.points.clear();
    Bench b(p);
    EXPECT_EQ(b.run.state(), RunState::Finished);
    EXPECT_TRUE(b.run.steps().empty());
    EXPECT_EQ(b.run.message(), QStringLiteral("Не задано ни одной точки."));
    EXPECT_FALSE(b.run.pressureApplied());
}

TEST(CheckReferenceAddress, RefusesTheBroadcastTheMetersOwnAndWhatNoFrameHolds) {
    EXPECT_TRUE(CheckReferenceAddress(1, 2).isEmpty());
    EXPECT_TRUE(CheckReferenceAddress(1, 255).isEmpty());
    EXPECT_TRUE(CheckReferenceAddress(1, 1).contains(QStringLiteral("проверяемого")));
    for (int bad : {0, -1, 256})
        EXPECT_FALSE(CheckReferenceAddress(1, bad).isEmpty()) << bad;
}

// Whatever the meter sends and the engineer does, the run keeps its books: one result per step left
// behind, Finished exactly after the last, a pending result exactly when a measured point has a
// reference, and never a result for a step that was not measured.
TEST(CalibrationRun, RandomPollsAndActionsKeepTheRunConsistent) {
    std::mt19937 random(4242);
    const float values[] = {0.0f, 0.4f, 0.4001f, 1.6f, std::nanf(""), INFINITY, -INFINITY, 3.4e38f, -1e-38f};
    for (int run = 0; run < 200; ++run) {
        Procedure p = Bench::WithReference(static_cast<ReferenceMode>(random() % 3));
        p.descending = random() % 2;
        p.cycles = 1 + static_cast<int>(random() % 2);
        p.settling.timeoutSeconds = 5 + static_cast<int>(random() % 30);
        Bench b(p);
        for (int i = 0; i < 2000 && b.run.state() != RunState::Finished; ++i) {
            const unsigned pick = random() % 20;
            if (pick == 0)
                b.run.pressureApplied();
            else if (pick == 1)
                b.run.accept(b.reason);
            else if (pick == 2 && random() % 4 == 0)
                b.run.skip(b.reason);
            else if (pick == 3 && random() % 4 == 0)
                b.run.repeat(b.reason);
            else if (pick == 4)
                b.run.setTypedReference(QString::number(random() % 3 * 0.4), b.reason);
            else {
                const std::optional<float> meter =
                    random() % 15 == 0 ? std::nullopt
                                       : std::optional<float>(random() % 4 ? 0.4f : values[random() % 9]);
                const std::optional<float> reference =
                    random() % 15 == 0 ? std::nullopt
                                       : std::optional<float>(random() % 5 ? 0.4f : values[random() % 9]);
                b.poll(meter, reference);
            }
            ASSERT_EQ(b.run.results().size(), b.run.stepIndex());
            ASSERT_EQ(b.run.state() == RunState::Finished, b.run.stepIndex() == b.run.steps().size());
            if (b.run.state() == RunState::Settled && p.reference != ReferenceMode::Typed) {
                ASSERT_TRUE(b.run.pendingResult());
            }
            if (b.run.state() != RunState::Settled) {
                ASSERT_FALSE(b.run.pendingResult());
            }
            ASSERT_FALSE(b.run.message().isEmpty());
        }
        for (const PointResult& r : b.run.results())
            if (!r.skipped) {
                ASSERT_TRUE(std::isfinite(r.reading));
                ASSERT_TRUE(std::isfinite(r.reference));
            }
    }
}

} // namespace
