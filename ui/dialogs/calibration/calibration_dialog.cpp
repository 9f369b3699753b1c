// "Калибровка": the dialog's frame (its pages, the wiring of their handlers) and Cancel. The steps
// are rooms of their own: calibration_setup.cpp, calibration_run.cpp, calibration_trim.cpp and
// calibration_certificate.cpp.
#include "ui/dialogs/calibration/calibration_dialog.h"

#include "ui/dialogs/calibration/calibration_host.h"

#include "calibration/dialog_steps.h"
#include "calibration/number_texts.h"
#include "device/encodings.h"
#include "device/register_map.h"
#include "messages/message_boxes.h"
#include "records/visit.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cmath>

using namespace olv::calibration;
using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
namespace reg = olv::device::reg;

CalibrationDialog::CalibrationDialog(CalibrationHost& host, const olv::records::InstrumentState& state,
                                     QWidget* parent)
    : QDialog(parent), host_(host), state_(state) {
    setObjectName(QStringLiteral("CalibrationDialog"));
    setWindowTitle(QStringLiteral("Калибровка"));
    const auto& w = state_.image.words;
    range_ = {olv::device::WordsToFloat(w[reg::RangeMin], w[reg::RangeMin + 1]),
              olv::device::WordsToFloat(w[reg::RangeMax], w[reg::RangeMax + 1]),
              olv::device::UnitName(w[reg::DampingUnits] & 0xFF)};
    found_ = TrimFromWords(&w[reg::TrimOffset]);
    procedure_ = DefaultProcedure(range_);

    auto* layout = new QVBoxLayout(this);
    Pages = new QStackedWidget(this);
    layout->addWidget(Pages);
    BuildSetupPage();
    BuildRunPage();
    BuildTrimPage();
    BuildCertificatePage();
    CancelButton = new QPushButton(QStringLiteral("Отмена"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    auto* foot = new QHBoxLayout;
    foot->addStretch();
    foot->addWidget(CancelButton);
    layout->addLayout(foot);
    Wire();
    resize(900, 640);
}

CalibrationDialog::~CalibrationDialog() = default;

bool CalibrationDialog::ready(QString& reason) const {
    if (range_.valid() && range_.span() > 0 && std::isfinite(found_.offset) &&
        std::isfinite(found_.multiplier))
        return true;
    reason = range_.valid()
                 ? QStringLiteral("Подстройка прибора (%1) не является числом.").arg(TrimText(found_))
                 : QStringLiteral("Диапазон прибора (%1 … %2) не годится для калибровки: максимум "
                                  "должен быть больше минимума.")
                       .arg(ValueText(range_.minimum), ValueText(range_.maximum));
    return false;
}

QString CalibrationDialog::SerialText() const {
    return olv::records::SerialText(state_);
}

void CalibrationDialog::Warn(const QString& text) {
    host_.boxes().show({text, QStringLiteral("Ошибка"), BoxIcon::Warning, BoxButtons::Ok, {}});
}

void CalibrationDialog::Wire() {
    const auto click = [this](QPushButton* button, void (CalibrationDialog::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    click(StartButton, &CalibrationDialog::StartClick);
    click(AppliedButton, &CalibrationDialog::AppliedClick);
    click(AcceptButton, &CalibrationDialog::AcceptClick);
    click(RepeatButton, &CalibrationDialog::RepeatClick);
    click(SkipButton, &CalibrationDialog::SkipClick);
    click(NextButton, &CalibrationDialog::NextClick);
    click(WriteTrimButton, &CalibrationDialog::WriteTrimClick);
    click(NoTrimButton, &CalibrationDialog::NoTrimClick);
    click(SaveButton, &CalibrationDialog::SaveClick);
    // A check is never closed without its certificate and journal line.
    connect(CloseButton, &QPushButton::clicked, this, [this] {
        if (certificatePath_.isEmpty()) SaveClick();
        accept();
    });
    connect(CancelButton, &QPushButton::clicked, this, &CalibrationDialog::reject);
    connect(ReferenceEdit, &QLineEdit::returnPressed, this, [this] { AcceptClick(); });
    connect(TrimKindBox, &QComboBox::currentIndexChanged, this, [this] { TrimKindChange(); });
    connect(ReferenceModeBox, &QComboBox::currentIndexChanged, this,
            [this](int mode) { ReferenceAddressBox->setEnabled(mode == 1); });
    ReferenceAddressBox->setEnabled(false);
}

// ---- Cancel -----------------------------------------------------------------------------------------

void CalibrationDialog::reject() {
    const bool changed = trim_ && (!trim_->after || !(*trim_->after == found_));
    if (changed) {
        const QString holds =
            trim_->after ? QStringLiteral("В прибор записана подстройка: %1.").arg(TrimText(*trim_->after))
                         : QStringLiteral("В прибор записывалась подстройка; что он хранит, неизвестно.");
        const BoxAnswer answer =
            host_.boxes().show({QStringLiteral("%1\nДо калибровки было: %2.\nЗаписать прежние значения?")
                                    .arg(holds, TrimText(found_)),
                                QStringLiteral("Подтвердите действие"),
                                BoxIcon::Warning,
                                BoxButtons::YesNo,
                                {}});
        // The write's own box says what became of it.
        if (answer == BoxAnswer::Yes)
            host_.writeTrim(found_, trim_->kind, SerialText(),
                            QStringLiteral("Возврат подстройки (калибровка отменена)"), false);
    }
    run_.reset();
    stage_ = Stage::Setup;
    QDialog::reject();
}
