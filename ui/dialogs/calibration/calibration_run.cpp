// "Калибровка", a run (as found, as left): the live value and its settling, the table filling in,
// accept / repeat / skip a point, the error plot.
#include "ui/dialogs/calibration/calibration_dialog.h"

#include "ui/dialogs/calibration/calibration_host.h"
#include "ui/dialogs/calibration/error_plot.h"

#include "calibration/dialog_steps.h"
#include "calibration/number_texts.h"
#include "calibration/results.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

using namespace olv::calibration;

namespace {

const QColor PassColor(200, 240, 200);
const QColor FailColor(255, 200, 200);
const QColor SkippedColor(225, 225, 225);

QColor RowColour(RowMark mark) {
    switch (mark) {
    case RowMark::Skipped:
        return SkippedColor;
    case RowMark::Pass:
        return PassColor;
    case RowMark::Fail:
        return FailColor;
    case RowMark::Empty:
        break;
    }
    return QColor(Qt::white);
}

} // namespace

void CalibrationDialog::BuildRunPage() {
    auto* page = new QWidget(Pages);
    auto* layout = new QVBoxLayout(page);
    RunTitle = new QLabel(page);
    QFont title = RunTitle->font();
    title.setBold(true);
    RunTitle->setFont(title);
    layout->addWidget(RunTitle);

    auto* top = new QHBoxLayout;
    auto* value = new QVBoxLayout;
    LiveLabel = new QLabel(QStringLiteral("—"), page);
    QFont big = LiveLabel->font();
    big.setPointSize(24);
    LiveLabel->setFont(big);
    LiveLabel->setMinimumWidth(260);
    value->addWidget(LiveLabel);
    StaleLabel = new QLabel(page);
    StaleLabel->hide();
    value->addWidget(StaleLabel);
    ReferenceLiveLabel = new QLabel(page);
    value->addWidget(ReferenceLiveLabel);
    top->addLayout(value);

    auto* step = new QVBoxLayout;
    SettleBar = new QProgressBar(page);
    SettleBar->setRange(0, 100);
    SettleBar->setFormat(QStringLiteral("установление %p %"));
    step->addWidget(SettleBar);
    MessageLabel = new QLabel(page);
    MessageLabel->setWordWrap(true);
    MessageLabel->setMinimumHeight(48);
    step->addWidget(MessageLabel);
    auto* buttons = new QHBoxLayout;
    AppliedButton = new QPushButton(QStringLiteral("Давление подано"), page);
    ReferenceEdit = new QLineEdit(page);
    ReferenceEdit->setPlaceholderText(QStringLiteral("показание эталона"));
    AcceptButton = new QPushButton(QStringLiteral("Принять"), page);
    RepeatButton = new QPushButton(QStringLiteral("Повторить"), page);
    SkipButton = new QPushButton(QStringLiteral("Пропустить"), page);
    NextButton = new QPushButton(QStringLiteral("Далее"), page);
    for (QWidget* w : std::initializer_list<QWidget*>{AppliedButton, ReferenceEdit, AcceptButton,
                                                      RepeatButton, SkipButton, NextButton})
        buttons->addWidget(w);
    step->addLayout(buttons);
    top->addLayout(step, 1);
    layout->addLayout(top);

    auto* tables = new QHBoxLayout;
    ResultsTable = new QTableWidget(0, 8, page);
    ResultsTable->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("Точка"),
                                             QStringLiteral("Ход"), QStringLiteral("Эталон"),
                                             QStringLiteral("Показание"), QStringLiteral("Погрешность"),
                                             QStringLiteral("% диапазона"), QStringLiteral("Результат")});
    ResultsTable->verticalHeader()->hide();
    ResultsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ResultsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tables->addWidget(ResultsTable, 3);
    Plot = new ErrorPlot(page);
    tables->addWidget(Plot, 2);
    layout->addLayout(tables, 1);
    Pages->addWidget(page);
}

void CalibrationDialog::StartRun(Stage stage) {
    stage_ = stage;
    run_ = std::make_unique<CalibrationRun>(procedure_, range_, [this] { return now_; });
    RunTitle->setText(olv::calibration::RunTitle(stage == Stage::AsFound));
    ReferenceEdit->setVisible(procedure_.reference == ReferenceMode::Typed);
    ReferenceLiveLabel->setVisible(procedure_.reference == ReferenceMode::Instrument);
    ReferenceEdit->clear();
    ResultsTable->setRowCount(0);
    Pages->setCurrentIndex(RunPage);
    ShowRun();
}

void CalibrationDialog::Poll() {
    if ((stage_ != Stage::AsFound && stage_ != Stage::AsLeft) || !run_ || host_.lineBusy()) return;
    now_ = host_.now();
    const std::optional<float> meter = host_.readValue(host_.meterAddress());
    std::optional<float> reference;
    if (procedure_.reference == ReferenceMode::Instrument) reference = host_.readValue(reference_.address);
    if (meter) answeredMs_ = now_;
    ShowLive(meter, reference);
    run_->feed({meter, reference});
    ShowRun();
}

void CalibrationDialog::ShowLive(const std::optional<float>& meter, const std::optional<float>& reference) {
    if (meter) {
        LiveLabel->setText(std::isfinite(*meter) ? ValueText(*meter, range_.units)
                                                 : QStringLiteral("Неправильный формат числа"));
        LiveLabel->setStyleSheet(QString());
        StaleLabel->hide();
    } else {
        // The reading shown is old: greyed, with its age, as the live page marks it.
        LiveLabel->setStyleSheet(QStringLiteral("color: #808080;"));
        StaleLabel->setText(
            answeredMs_ ? QStringLiteral("нет связи, показание %1 с назад").arg((now_ - *answeredMs_) / 1000)
                        : QStringLiteral("нет связи"));
        StaleLabel->show();
    }
    if (procedure_.reference == ReferenceMode::Instrument)
        ReferenceLiveLabel->setText(QStringLiteral("Эталон (адрес %1): %2")
                                        .arg(reference_.address)
                                        .arg(!reference ? QStringLiteral("нет связи")
                                             : std::isfinite(*reference)
                                                 ? ValueText(*reference, range_.units)
                                                 : QStringLiteral("Неправильный формат числа")));
}

void CalibrationDialog::ShowRun() {
    if (!run_) return;
    const RunState state = run_->state();
    MessageLabel->setText(run_->message());
    SettleBar->setValue(SettlePercent(state, run_->progress()));
    const RunControls controls = RunControlsIn(state);
    AppliedButton->setEnabled(controls.applied);
    AcceptButton->setEnabled(controls.accept);
    RepeatButton->setEnabled(controls.repeat);
    SkipButton->setEnabled(controls.skip);
    ReferenceEdit->setEnabled(controls.reference);
    NextButton->setEnabled(controls.next);
    ShowTable(ResultsTable, run_->results(), run_->steps().size());
    Plot->setTable(run_->results(), range_, procedure_.tolerance.percent(range_.span()));
}

void CalibrationDialog::ShowTable(QTableWidget* table, const std::vector<PointResult>& results, size_t rows) {
    table->setRowCount(static_cast<int>(rows));
    const std::vector<TableRow> shown = TableRows(BuildSteps(procedure_), results, rows);
    for (size_t i = 0; i < shown.size(); ++i) {
        const int row = static_cast<int>(i);
        const QStringList& texts = shown[i].texts;
        const QColor colour = RowColour(shown[i].mark);
        for (int column = 0; column < texts.size(); ++column) {
            QTableWidgetItem* item = table->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                table->setItem(row, column, item);
            }
            item->setText(texts[column]);
            item->setBackground(colour);
        }
    }
}

void CalibrationDialog::AppliedClick() {
    if (!run_) return;
    now_ = host_.now();
    run_->pressureApplied();
    ShowRun();
}

void CalibrationDialog::AcceptClick() {
    if (!run_ || run_->state() == RunState::Finished) return;
    QString reason;
    QString typed = ReferenceEdit->text();
    typed.replace(u',', u'.'); // as every number field takes it
    if (procedure_.reference == ReferenceMode::Typed && !run_->setTypedReference(typed, reason)) {
        Warn(QStringLiteral("Значение эталона «%1» не принято: %2").arg(ReferenceEdit->text(), reason));
        ReferenceEdit->setFocus();
        ReferenceEdit->selectAll();
        return;
    }
    if (!run_->accept(reason)) {
        Warn(reason);
        return;
    }
    ReferenceEdit->clear();
    ShowRun();
}

void CalibrationDialog::RepeatClick() {
    QString reason;
    if (!run_) return;
    now_ = host_.now();
    if (!run_->repeat(reason)) Warn(reason);
    ShowRun();
}

void CalibrationDialog::SkipClick() {
    QString reason;
    if (run_ && !run_->skip(reason)) Warn(reason);
    ReferenceEdit->clear();
    ShowRun();
}

void CalibrationDialog::NextClick() {
    if (!run_ || run_->state() != RunState::Finished) return;
    if (stage_ == Stage::AsFound) {
        asFound_ = run_->results();
        stage_ = Stage::Trim;
        {
            const QSignalBlocker blocker(TrimKindBox);
            TrimKindBox->setCurrentIndex(static_cast<int>(SuggestedTrim(asFound_)));
        }
        Pages->setCurrentIndex(TrimPage);
        ShowTrimPage();
    } else if (stage_ == Stage::AsLeft) {
        asLeft_ = run_->results();
        ShowCertificatePage();
    }
}
