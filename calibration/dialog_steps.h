#pragma once

#include "calibration/certificate.h"
#include "calibration/procedure.h"
#include "calibration/results.h"
#include "calibration/run.h"
#include "calibration/trim.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <vector>

// What the window's "Калибровка" shows at each step, decided without widgets: the texts, the table's
// rows and their marking, the settling indicator, the trim step, the certificate's data.
namespace olv::calibration {

// "смещение X, множитель Y".
QString TrimText(const Trim& trim);
// A number typed with the point or the comma as its decimal separator; none unless finite.
std::optional<double> TypedNumber(const QString& text);

// The settling indicator, 0..100: the first half settles (the band against the spread, or the window
// filling), the second averages.
int SettlePercent(RunState state, const RunProgress& progress);

// Which of a run's controls may be used in a state.
struct RunControls {
    bool applied = false; // "Давление подано"
    bool accept = false;
    bool repeat = false;
    bool skip = false;
    bool reference = false; // the typed reference
    bool next = false;
};
RunControls RunControlsIn(RunState state);

// "Проверка до подстройки" / "Проверка после подстройки".
QString RunTitle(bool asFound);

// One row of a table of results: its eight texts, and how the row is coloured.
enum class RowMark { Empty, Skipped, Pass, Fail };
struct TableRow {
    QStringList texts;
    RowMark mark = RowMark::Empty;
};
// The first `rows` steps of `steps`; those with a result show it, the others their number, point and
// direction only.
std::vector<TableRow> TableRows(const std::vector<Step>& steps, const std::vector<PointResult>& results,
                                size_t rows);

// The trim step's choice, in the order of its box.
enum class TrimChoice { None, Zero, TwoPoint };
// What the as-found table suggests: none when it passed, the two-point trim when two points were measured.
TrimChoice SuggestedTrim(const std::vector<PointResult>& asFound);
struct TrimStep {
    TrimProposal proposal;             // not ok for TrimChoice::None
    std::vector<PointResult> expected; // the errors expected after the proposed trim (as found if none)
    QString text;                      // the proposal in words, old → new, the expected verdict
    bool writable = false;
};
// `held` is the trim the meter held at the check's start; `written` a trim written since.
TrimStep ProposeTrimStep(TrimChoice choice, const Trim& held, const std::vector<PointResult>& asFound,
                         const std::optional<TrimRecord>& written, const Procedure& procedure,
                         const Range& range);

// The certificate of a check from what it collected: its number from the serial number and the
// start, and its uncertainty.
CertificateData AssembleCertificate(CertificateData collected, const QString& serial);
// The certificate step's summary: number, outcome, conclusion.
QString CertificateSummary(const CertificateData& data);

} // namespace olv::calibration
