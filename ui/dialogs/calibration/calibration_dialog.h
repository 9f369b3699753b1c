#pragma once

#include "calibration/certificate.h"
#include "calibration/run.h"
#include "calibration/trim.h"
#include "records/instrument_state.h"

#include <QDialog>

#include <memory>
#include <optional>
#include <vector>

class CalibrationHost;
class ErrorPlot;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTableWidget;

// "Калибровка": the check of the meter on the line against a reference, step by step. The settings
// and the reference; the as-found table, one point at a time, the live value and a settling indicator
// beside it; the proposed trim with the errors expected after it, written into registers 59..62 and
// nothing else; the as-left table; the certificate, kept beside the journal. Nothing waits here: the
// window's poll timer calls Poll once a second, and each call is one reading of the line.
class CalibrationDialog : public QDialog {
    Q_OBJECT

  public:
    enum class Stage { Setup, AsFound, Trim, AsLeft, Certificate };

    // `state` is the meter as read just now: its range, units, trim, identity.
    CalibrationDialog(CalibrationHost& host, const olv::records::InstrumentState& state, QWidget* parent);
    ~CalibrationDialog() override;

    // Whether the meter can be checked (a range to take percentages of); the reason in words if not.
    bool ready(QString& reason) const;
    Stage stage() const { return stage_; }
    const olv::calibration::CalibrationRun* run() const { return run_.get(); }
    const std::optional<olv::calibration::TrimRecord>& trimRecord() const { return trim_; }
    const olv::calibration::TrimProposal& proposal() const { return proposal_; }
    QString certificatePath() const { return certificatePath_; } // the PDF, once kept

    // One tick of the window's poll: reads the meter (and the reference meter) once and feeds the run.
    void Poll();

    // Cancel: the instrument is left as it was; a trim already written is said, and the old one offered.
    void reject() override;

    // ---- Controls ----
    QStackedWidget* Pages = nullptr;
    QPushButton* CancelButton = nullptr;
    // Settings and reference.
    QLineEdit* PointsEdit = nullptr;
    QCheckBox* DescendingBox = nullptr;
    QSpinBox* CyclesBox = nullptr;
    QLineEdit* ToleranceEdit = nullptr;
    QComboBox* ToleranceUnitsBox = nullptr; // "% диапазона" / the range's units
    QSpinBox* WindowBox = nullptr;
    QLineEdit* BandEdit = nullptr; // % of span
    QSpinBox* MeanBox = nullptr;
    QSpinBox* TimeoutBox = nullptr;
    QComboBox* ReferenceModeBox = nullptr; // typed, instrument, applied
    QSpinBox* ReferenceAddressBox = nullptr;
    QLineEdit* ReferenceDescriptionEdit = nullptr;
    QLineEdit* ReferenceSerialEdit = nullptr;
    QLineEdit* ReferenceCertificateEdit = nullptr;
    QLineEdit* ReferenceUncertaintyEdit = nullptr;
    QLineEdit* PersonEdit = nullptr;
    QLineEdit* AmbientEdit = nullptr;
    QPushButton* StartButton = nullptr;
    // A run (as found, as left).
    QLabel* RunTitle = nullptr;
    QLabel* LiveLabel = nullptr;
    QLabel* StaleLabel = nullptr;
    QLabel* ReferenceLiveLabel = nullptr;
    QProgressBar* SettleBar = nullptr;
    QLabel* MessageLabel = nullptr;
    QLineEdit* ReferenceEdit = nullptr;
    QPushButton* AppliedButton = nullptr;
    QPushButton* AcceptButton = nullptr;
    QPushButton* RepeatButton = nullptr;
    QPushButton* SkipButton = nullptr;
    QPushButton* NextButton = nullptr;
    QTableWidget* ResultsTable = nullptr;
    ErrorPlot* Plot = nullptr;
    // The trim.
    QComboBox* TrimKindBox = nullptr; // "без подстройки", zero, two-point
    QLabel* ProposalLabel = nullptr;
    QTableWidget* ExpectedTable = nullptr;
    ErrorPlot* ExpectedPlot = nullptr;
    QPushButton* WriteTrimButton = nullptr;
    QPushButton* NoTrimButton = nullptr;
    // The certificate.
    QLabel* SummaryLabel = nullptr;
    QPushButton* SaveButton = nullptr;
    QPushButton* CloseButton = nullptr; // keeps the certificate first when it was not kept yet

    // Handlers.
    void StartClick();
    void AppliedClick();
    void AcceptClick();
    void RepeatClick();
    void SkipClick();
    void NextClick();
    void TrimKindChange();
    void WriteTrimClick();
    void NoTrimClick();
    void SaveClick();

  private:
    enum PageIndex { SetupPage, RunPage, TrimPage, CertificatePage };

    void BuildSetupPage();
    void BuildRunPage();
    void BuildTrimPage();
    void BuildCertificatePage();
    void Wire();
    bool CollectProcedure();
    void StartRun(Stage stage);
    void ShowRun();
    void ShowLive(const std::optional<float>& meter, const std::optional<float>& reference);
    void ShowTable(QTableWidget* table, const std::vector<olv::calibration::PointResult>& results,
                   size_t rows);
    void ShowTrimPage();
    void ShowCertificatePage();
    olv::calibration::CertificateData Certificate() const;
    void Warn(const QString& text);
    QString SerialText() const;

    CalibrationHost& host_;
    olv::records::InstrumentState state_;
    olv::calibration::Range range_;
    olv::calibration::Trim found_; // the trim the meter held when the check began
    Stage stage_ = Stage::Setup;
    olv::calibration::Procedure procedure_;
    olv::calibration::ReferenceInfo reference_;
    QString person_;
    std::optional<double> ambient_;
    std::unique_ptr<olv::calibration::CalibrationRun> run_;
    int64_t now_ = 0;                   // the clock at the last poll
    std::optional<int64_t> answeredMs_; // when the meter last answered
    std::vector<olv::calibration::PointResult> asFound_;
    std::vector<olv::calibration::PointResult> asLeft_;
    olv::calibration::TrimProposal proposal_;
    std::optional<olv::calibration::TrimRecord> trim_;
    QDateTime startedAt_;
    QString certificatePath_;
};
