// "Калибровка", the trim: the proposal, old → new, with the errors expected after it, and its write
// into registers 59..62.
#include "ui/dialogs/calibration/calibration_dialog.h"

#include "ui/dialogs/calibration/calibration_host.h"
#include "ui/dialogs/calibration/error_plot.h"

#include "calibration/dialog_steps.h"
#include "messages/message_boxes.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace olv::calibration;
using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;

void CalibrationDialog::BuildTrimPage() {
    auto* page = new QWidget(Pages);
    auto* layout = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Подстройка"), page));
    TrimKindBox = new QComboBox(page);
    TrimKindBox->addItems(
        {QStringLiteral("без подстройки"), TrimKindName(TrimKind::Zero), TrimKindName(TrimKind::TwoPoint)});
    row->addWidget(TrimKindBox);
    row->addStretch();
    layout->addLayout(row);
    ProposalLabel = new QLabel(page);
    ProposalLabel->setWordWrap(true);
    layout->addWidget(ProposalLabel);
    auto* tables = new QHBoxLayout;
    ExpectedTable = new QTableWidget(0, 8, page);
    ExpectedTable->setHorizontalHeaderLabels(
        {QStringLiteral("№"), QStringLiteral("Точка"), QStringLiteral("Ход"), QStringLiteral("Эталон"),
         QStringLiteral("Ожидаемое показание"), QStringLiteral("Погрешность"), QStringLiteral("% диапазона"),
         QStringLiteral("Результат")});
    ExpectedTable->verticalHeader()->hide();
    ExpectedTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ExpectedTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tables->addWidget(ExpectedTable, 3);
    ExpectedPlot = new ErrorPlot(page);
    tables->addWidget(ExpectedPlot, 2);
    layout->addLayout(tables, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    WriteTrimButton = new QPushButton(QStringLiteral("Записать подстройку"), page);
    NoTrimButton = new QPushButton(QStringLiteral("Далее без подстройки"), page);
    buttons->addWidget(WriteTrimButton);
    buttons->addWidget(NoTrimButton);
    layout->addLayout(buttons);
    Pages->addWidget(page);
}

void CalibrationDialog::TrimKindChange() {
    ShowTrimPage();
}

void CalibrationDialog::ShowTrimPage() {
    const TrimStep step = ProposeTrimStep(static_cast<TrimChoice>(TrimKindBox->currentIndex()), found_,
                                          asFound_, trim_, procedure_, range_);
    proposal_ = step.proposal;
    WriteTrimButton->setEnabled(step.writable);
    ProposalLabel->setText(step.text);
    ShowTable(ExpectedTable, step.expected, step.expected.size());
    ExpectedPlot->setTable(step.expected, range_, procedure_.tolerance.percent(range_.span()));
}

void CalibrationDialog::WriteTrimClick() {
    if (stage_ != Stage::Trim || !proposal_.ok) return;
    if (proposal_.needsConfirmation &&
        host_.boxes().show(
            {QStringLiteral("Подстройка изменится сильно: %1\nЗаписать её?").arg(proposal_.confirmation),
             QStringLiteral("Подтвердите действие"),
             BoxIcon::Warning,
             BoxButtons::YesNo,
             {}}) != BoxAnswer::Yes)
        return;
    const std::optional<TrimRecord> written =
        host_.writeTrim(proposal_.proposed, proposal_.kind, SerialText(),
                        QStringLiteral("Запись подстройки (калибровка)"), true);
    if (!written) return; // nothing was written
    // What the instrument holds before this write, for a cancel: the trim of the check's start.
    TrimRecord record = *written;
    record.before = found_;
    trim_ = record;
    if (record.after && *record.after == proposal_.proposed) {
        StartRun(Stage::AsLeft);
        return;
    }
    ShowTrimPage(); // the box said what went wrong; the page says what the instrument holds
}

void CalibrationDialog::NoTrimClick() {
    if (stage_ != Stage::Trim) return;
    ShowCertificatePage();
}
