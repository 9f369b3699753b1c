// What the calibration dialog shows at each step, decided without widgets.

#include "calibration/dialog_steps.h"

#include "calibration/certificate_files.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace olv::calibration;

namespace {

const Range Bar16{0, 1.6, QStringLiteral("bar")};

// An as-found table of a sensor reading P × (1 + gain) + zero behind an identity trim.
std::vector<PointResult> Table(double gain, double zero, const Procedure& procedure) {
    std::vector<PointResult> results;
    for (const Step& step : BuildSteps(procedure)) {
        PointResult r;
        r.step = step;
        r.reference = step.nominal;
        r.reading = step.nominal * (1 + gain) + zero;
        r.readingCount = procedure.settling.meanCount;
        r.error = r.reading - r.reference;
        r.errorPercent = 100 * r.error / Bar16.span();
        r.pass = WithinTolerance(r.error, procedure.tolerance, Bar16.span());
        results.push_back(r);
    }
    return results;
}

} // namespace

TEST(DialogSteps, SettlingIndicatorFillsItsHalvesAndNeverDividesByZero) {
    RunProgress p;
    p.window = 5;
    p.meanCount = 4;
    p.band = 0.002;
    p.meterReadings = 2;
    EXPECT_EQ(SettlePercent(RunState::Settling, p), 20); // the window filling
    p.meterSpread = 0.004;
    EXPECT_EQ(SettlePercent(RunState::Settling, p), 25); // half the band's share
    p.meterSpread = 0.001;
    EXPECT_EQ(SettlePercent(RunState::Settling, p), 50); // inside the band: the first half, no more
    p.averaged = 3;
    EXPECT_EQ(SettlePercent(RunState::Averaging, p), 87);
    EXPECT_EQ(SettlePercent(RunState::Settled, p), 100);
    EXPECT_EQ(SettlePercent(RunState::Finished, p), 100);
    for (RunState s : {RunState::AwaitingPressure, RunState::TimedOut, RunState::Paused})
        EXPECT_EQ(SettlePercent(s, p), 0);
    const RunProgress empty; // a zero window and mean count
    EXPECT_EQ(SettlePercent(RunState::Settling, empty), 0);
    EXPECT_EQ(SettlePercent(RunState::Averaging, empty), 50);
}

TEST(DialogSteps, RunControlsFollowTheState) {
    struct Row {
        RunState state;
        bool applied, accept, repeat, skip, next;
    };
    for (const Row& r : {Row{RunState::AwaitingPressure, true, false, false, true, false},
                         Row{RunState::Settling, false, false, true, true, false},
                         Row{RunState::Averaging, false, false, true, true, false},
                         Row{RunState::Settled, false, true, true, true, false},
                         Row{RunState::TimedOut, false, false, true, true, false},
                         Row{RunState::Paused, false, false, false, true, false},
                         Row{RunState::Finished, false, false, false, false, true}}) {
        const RunControls c = RunControlsIn(r.state);
        SCOPED_TRACE(static_cast<int>(r.state));
        EXPECT_EQ(c.applied, r.applied);
        EXPECT_EQ(c.accept, r.accept);
        EXPECT_EQ(c.repeat, r.repeat);
        EXPECT_EQ(c.skip, r.skip);
        EXPECT_EQ(c.reference, r.skip);
        EXPECT_EQ(c.next, r.next);
    }
}

TEST(DialogSteps, TableRowsShowMeasuredSkippedAndPendingSteps) {
    Procedure procedure = DefaultProcedure(Bar16);
    const std::vector<Step> steps = BuildSteps(procedure);
    std::vector<PointResult> results = Table(0, 0.008, procedure); // +0.5 % of span: fails
    results[0] = Table(0, -0.0016, procedure)[0];                  // -0.1 %: passes
    results[1].skipped = true;
    results.resize(3);

    const std::vector<TableRow> rows = TableRows(steps, results, 4);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].texts, (QStringList{"1", "0.0000", DirectionName(steps[0].direction), "0.0000",
                                          "-0.0016", "-0.0016", "-0.100", VerdictText(true)}));
    EXPECT_EQ(rows[0].mark, RowMark::Pass);
    EXPECT_EQ(rows[1].texts, (QStringList{"2", "0.4000", DirectionName(steps[1].direction), "", "", "", "",
                                          QStringLiteral("пропущена")}));
    EXPECT_EQ(rows[1].mark, RowMark::Skipped);
    EXPECT_EQ(rows[2].texts[5], QStringLiteral("+0.0080")); // a positive error carries its sign
    EXPECT_EQ(rows[2].texts[6], QStringLiteral("+0.500"));
    EXPECT_EQ(rows[2].mark, RowMark::Fail);
    EXPECT_EQ(rows[3].texts,
              (QStringList{"4", "1.2000", DirectionName(steps[3].direction), "", "", "", "", ""}));
    EXPECT_EQ(rows[3].mark, RowMark::Empty);
    // No more rows than steps, whatever is asked.
    EXPECT_EQ(TableRows(steps, results, steps.size() + 3).size(), steps.size());
}

TEST(DialogSteps, TrimStepProposesRefusesOrLeavesTheTrim) {
    const Procedure procedure = DefaultProcedure(Bar16);
    const Trim held{0, 1};
    const std::vector<PointResult> found = Table(0.01, 0.008, procedure);
    EXPECT_EQ(SuggestedTrim(found), TrimChoice::TwoPoint);
    EXPECT_EQ(SuggestedTrim(Table(0, 0, procedure)), TrimChoice::None);

    const TrimStep none = ProposeTrimStep(TrimChoice::None, held, found, std::nullopt, procedure, Bar16);
    EXPECT_FALSE(none.writable);
    EXPECT_FALSE(none.proposal.ok);
    EXPECT_EQ(none.expected.size(), found.size());
    EXPECT_TRUE(none.text.endsWith(QStringLiteral("\nПодстройка не предлагается.")))
        << none.text.toStdString();
    EXPECT_TRUE(none.text.contains(QStringLiteral("В приборе: смещение 0.0000, множитель 1.0000.")));

    const TrimStep two = ProposeTrimStep(TrimChoice::TwoPoint, held, found, std::nullopt, procedure, Bar16);
    ASSERT_TRUE(two.writable) << two.text.toStdString();
    EXPECT_EQ(two.proposal.kind, TrimKind::TwoPoint);
    for (const PointResult& r : two.expected)
        EXPECT_TRUE(r.pass) << r.step.nominal; // the trim brings every point in
    EXPECT_TRUE(two.text.contains(QStringLiteral("Ожидается после подстройки: ") + VerdictText(true)));

    // A zero trim of a gain error may not bring it in; written trims are told.
    TrimRecord written;
    written.after = Trim{0.5f, 1};
    written.outcome = QStringLiteral("записано");
    const TrimStep zero = ProposeTrimStep(TrimChoice::Zero, held, found, written, procedure, Bar16);
    EXPECT_EQ(zero.proposal.kind, TrimKind::Zero);
    EXPECT_TRUE(
        zero.text.contains(QStringLiteral("\nЗаписано: смещение 0.5000, множитель 1.0000 (записано).")))
        << zero.text.toStdString();

    // Every point skipped: nothing to work a trim out from, so nothing may be written.
    std::vector<PointResult> skipped = found;
    for (PointResult& r : skipped)
        r.skipped = true;
    const TrimStep refused =
        ProposeTrimStep(TrimChoice::TwoPoint, held, skipped, std::nullopt, procedure, Bar16);
    EXPECT_FALSE(refused.writable);
    EXPECT_TRUE(refused.text.contains(QStringLiteral("невозможна"))) << refused.text.toStdString();
}

TEST(DialogSteps, TypedNumbersTakeEitherSeparatorAndOnlyFiniteValues) {
    EXPECT_EQ(TypedNumber(QStringLiteral(" 0,25 ")), 0.25);
    EXPECT_EQ(TypedNumber(QStringLiteral("-1.5")), -1.5);
    for (const char* text : {"", "abc", "inf", "nan", "1e999", "1,2,3"})
        EXPECT_FALSE(TypedNumber(QString::fromLatin1(text))) << text;
}

TEST(DialogSteps, CertificateIsNumberedAndSummarised) {
    CertificateData d;
    d.when = QDateTime(QDate(2026, 3, 4), QTime(10, 20));
    d.range = Bar16;
    d.procedure = DefaultProcedure(Bar16);
    d.asFound = Table(0, 0, d.procedure);
    const CertificateData c = AssembleCertificate(d, QStringLiteral("12345"));
    EXPECT_EQ(c.number, CertificateNumber(QStringLiteral("12345"), d.when));
    EXPECT_FALSE(c.number.isEmpty());
    EXPECT_EQ(c.uncertainty.has_value(), CertificateUncertainty(d).has_value());
    const QString summary = CertificateSummary(c);
    EXPECT_TRUE(summary.startsWith(QStringLiteral("Сертификат № ") + c.number + u'\n'));
    EXPECT_TRUE(summary.endsWith(QStringLiteral("Заключение: прибор ") + VerdictText(true) + u'.'))
        << summary.toStdString();
}
