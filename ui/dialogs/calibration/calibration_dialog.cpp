// "Калибровка": building the dialog's pages, wiring them and their handlers.
#include "ui/dialogs/calibration/calibration_dialog.h"

#include "ui/dialogs/calibration/calibration_host.h"
#include "ui/dialogs/calibration/error_plot.h"

#include "calibration/certificate_files.h"
#include "calibration/number_texts.h"
#include "calibration/reference.h"
#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "messages/message_boxes.h"
#include "records/visit.h"
#include "settings/ini_file.h"
#include "settings/station_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace olv::calibration;
using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
namespace reg = olv::device::reg;

namespace {

enum PageIndex { SetupPage, RunPage, TrimPage, CertificatePage };

const QColor PassColor(200, 240, 200);
const QColor FailColor(255, 200, 200);
const QColor SkippedColor(225, 225, 225);

// A number typed with the point or the comma as its decimal separator.
std::optional<double> TypedNumber(const QString& text) {
    QString t = text.trimmed();
    t.replace(u',', u'.');
    const std::optional<double> v = olv::device::ParseFloat(t);
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return v;
}

QString TrimText(const Trim& t) {
    return QStringLiteral("смещение %1, множитель %2").arg(ValueText(t.offset), ValueText(t.multiplier));
}

QString SignedValue(double v) {
    return (v > 0 ? QStringLiteral("+") : QString()) + ValueText(v);
}

const QString RecordsSection = QStringLiteral("CALIBRATION");

} // namespace

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

// ---- Building ---------------------------------------------------------------------------------------

void CalibrationDialog::BuildSetupPage() {
    auto* page = new QWidget(Pages);
    auto* columns = new QHBoxLayout(page);
    const olv::settings::IniSnapshot station =
        olv::settings::IniFile(olv::settings::StationSettingsPath()).snapshot();
    const auto kept = [&](const char* key) {
        return station.readString(RecordsSection, QString::fromLatin1(key), QString());
    };

    auto* procedure = new QGroupBox(QStringLiteral("Методика"), page);
    auto* form = new QFormLayout(procedure);
    QStringList points;
    for (double p : procedure_.points)
        points << ValueText(p);
    PointsEdit = new QLineEdit(points.join(QStringLiteral("; ")), procedure);
    form->addRow(QStringLiteral("Точки, %1").arg(range_.units), PointsEdit);
    DescendingBox = new QCheckBox(QStringLiteral("обратный ход (гистерезис)"), procedure);
    form->addRow(QString(), DescendingBox);
    CyclesBox = new QSpinBox(procedure);
    CyclesBox->setRange(1, MaxCycles);
    form->addRow(QStringLiteral("Циклов"), CyclesBox);
    ToleranceEdit = new QLineEdit(PercentText(procedure_.tolerance.value), procedure);
    ToleranceUnitsBox = new QComboBox(procedure);
    ToleranceUnitsBox->addItems({QStringLiteral("% диапазона"), range_.units});
    auto* tolerance = new QHBoxLayout;
    tolerance->addWidget(ToleranceEdit);
    tolerance->addWidget(ToleranceUnitsBox);
    form->addRow(QStringLiteral("Допуск ±"), tolerance);
    WindowBox = new QSpinBox(procedure);
    WindowBox->setRange(2, 60);
    WindowBox->setValue(procedure_.settling.window);
    form->addRow(QStringLiteral("Показаний для установления"), WindowBox);
    BandEdit = new QLineEdit(PercentText(procedure_.settling.band), procedure);
    form->addRow(QStringLiteral("Разброс не более, % диапазона"), BandEdit);
    MeanBox = new QSpinBox(procedure);
    MeanBox->setRange(1, 60);
    MeanBox->setValue(procedure_.settling.meanCount);
    form->addRow(QStringLiteral("Показаний в среднем"), MeanBox);
    TimeoutBox = new QSpinBox(procedure);
    TimeoutBox->setRange(1, 3600);
    TimeoutBox->setValue(procedure_.settling.timeoutSeconds);
    form->addRow(QStringLiteral("Ожидание не дольше, с"), TimeoutBox);
    columns->addWidget(procedure);

    auto* reference = new QGroupBox(QStringLiteral("Эталон и исполнитель"), page);
    auto* refForm = new QFormLayout(reference);
    ReferenceModeBox = new QComboBox(reference);
    ReferenceModeBox->addItems({QStringLiteral("вводится вручную"),
                                QStringLiteral("эталонный прибор на линии"),
                                QStringLiteral("давление задатчика")});
    refForm->addRow(QStringLiteral("Значение эталона"), ReferenceModeBox);
    ReferenceAddressBox = new QSpinBox(reference);
    ReferenceAddressBox->setRange(1, 255);
    ReferenceAddressBox->setValue(host_.meterAddress() < 255 ? host_.meterAddress() + 1 : 1);
    refForm->addRow(QStringLiteral("Адрес эталонного прибора"), ReferenceAddressBox);
    ReferenceDescriptionEdit = new QLineEdit(kept("Reference"), reference);
    refForm->addRow(QStringLiteral("Эталон"), ReferenceDescriptionEdit);
    ReferenceSerialEdit = new QLineEdit(kept("ReferenceSerial"), reference);
    refForm->addRow(QStringLiteral("Заводской номер эталона"), ReferenceSerialEdit);
    ReferenceCertificateEdit = new QLineEdit(kept("ReferenceCertificate"), reference);
    refForm->addRow(QStringLiteral("Свидетельство эталона"), ReferenceCertificateEdit);
    ReferenceUncertaintyEdit = new QLineEdit(kept("ReferenceUncertainty"), reference);
    refForm->addRow(QStringLiteral("Неопределённость эталона (k = 2), %1").arg(range_.units),
                    ReferenceUncertaintyEdit);
    PersonEdit = new QLineEdit(olv::records::LoadPerson(station), reference);
    refForm->addRow(QStringLiteral("Калибровку выполняет"), PersonEdit);
    AmbientEdit = new QLineEdit(reference);
    AmbientEdit->setPlaceholderText(QStringLiteral("не обязательно"));
    refForm->addRow(QStringLiteral("Температура воздуха, °C"), AmbientEdit);
    for (QLineEdit* edit :
         {ReferenceDescriptionEdit, ReferenceSerialEdit, ReferenceCertificateEdit, PersonEdit})
        edit->setMaxLength(200);
    StartButton = new QPushButton(QStringLiteral("Начать проверку"), reference);
    refForm->addRow(QString(), StartButton);
    columns->addWidget(reference);
    Pages->addWidget(page);
}

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

void CalibrationDialog::BuildCertificatePage() {
    auto* page = new QWidget(Pages);
    auto* layout = new QVBoxLayout(page);
    SummaryLabel = new QLabel(page);
    SummaryLabel->setWordWrap(true);
    layout->addWidget(SummaryLabel);
    layout->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    SaveButton = new QPushButton(QStringLiteral("Сохранить сертификат"), page);
    CloseButton = new QPushButton(QStringLiteral("Закрыть"), page);
    buttons->addWidget(SaveButton);
    buttons->addWidget(CloseButton);
    layout->addLayout(buttons);
    Pages->addWidget(page);
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

// ---- Settings ---------------------------------------------------------------------------------------

bool CalibrationDialog::CollectProcedure() {
    Procedure p = procedure_;
    p.points.clear();
    for (const QString& text :
         PointsEdit->text().split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts)) {
        const std::optional<double> v = TypedNumber(text);
        if (!v) {
            Warn(QStringLiteral("Точка «%1» не является числом.").arg(text));
            return false;
        }
        p.points.push_back(*v);
    }
    p.descending = DescendingBox->isChecked();
    p.cycles = CyclesBox->value();
    const std::optional<double> tolerance = TypedNumber(ToleranceEdit->text());
    const std::optional<double> band = TypedNumber(BandEdit->text());
    if (!tolerance || !band) {
        Warn(QStringLiteral("Допуск и разброс установления должны быть числами."));
        return false;
    }
    p.tolerance = {*tolerance, ToleranceUnitsBox->currentIndex() == 1};
    p.settling = {WindowBox->value(), *band, false, MeanBox->value(), TimeoutBox->value()};
    p.reference = static_cast<ReferenceMode>(ReferenceModeBox->currentIndex());
    const QString refused = CheckProcedure(p, range_);
    if (!refused.isEmpty()) {
        Warn(refused);
        return false;
    }

    ReferenceInfo r;
    r.description = ReferenceDescriptionEdit->text().simplified();
    r.serial = ReferenceSerialEdit->text().simplified();
    r.certificate = ReferenceCertificateEdit->text().simplified();
    r.mode = p.reference;
    r.address = p.reference == ReferenceMode::Instrument ? ReferenceAddressBox->value() : 0;
    if (!ReferenceUncertaintyEdit->text().trimmed().isEmpty()) {
        const std::optional<double> u = TypedNumber(ReferenceUncertaintyEdit->text());
        if (!u || *u < 0) {
            Warn(QStringLiteral("Неопределённость эталона должна быть неотрицательным числом."));
            return false;
        }
        r.uncertainty = *u;
    }
    std::optional<double> ambient;
    if (!AmbientEdit->text().trimmed().isEmpty()) {
        ambient = TypedNumber(AmbientEdit->text());
        if (!ambient || *ambient < -60 || *ambient > 100) {
            Warn(QStringLiteral("Температура воздуха «%1» не принята: число от -60 до 100 °C.")
                     .arg(AmbientEdit->text()));
            return false;
        }
    }
    const QString person = PersonEdit->text().simplified();
    if (person.isEmpty()) {
        Warn(QStringLiteral("Укажите, кто выполняет калибровку."));
        PersonEdit->setFocus();
        return false;
    }
    if (p.reference == ReferenceMode::Instrument) {
        const QString address = CheckReferenceAddress(host_.meterAddress(), r.address);
        if (!address.isEmpty()) {
            Warn(address);
            return false;
        }
        if (!host_.readValue(r.address)) {
            Warn(QStringLiteral("Эталонный прибор по адресу %1 не отвечает.").arg(r.address));
            return false;
        }
    }
    procedure_ = p;
    reference_ = r;
    person_ = person;
    ambient_ = ambient;

    // Kept for the next check and the next record.
    try {
        olv::settings::IniFile(olv::settings::StationSettingsPath())
            .writeStrings({olv::records::PersonEntry(person),
                           {RecordsSection, QStringLiteral("Reference"), r.description},
                           {RecordsSection, QStringLiteral("ReferenceSerial"), r.serial},
                           {RecordsSection, QStringLiteral("ReferenceCertificate"), r.certificate},
                           {RecordsSection, QStringLiteral("ReferenceUncertainty"),
                            ReferenceUncertaintyEdit->text().trimmed()}});
    } catch (const olv::settings::IniWriteError& error) {
        Warn(QStringLiteral("Не удалось записать настройки в файл %1")
                 .arg(QDir::toNativeSeparators(error.path())));
    }
    return true;
}

void CalibrationDialog::StartClick() {
    if (stage_ != Stage::Setup || !CollectProcedure()) return;
    startedAt_ = QDateTime::fromMSecsSinceEpoch(host_.now());
    StartRun(Stage::AsFound);
}

// ---- A run ------------------------------------------------------------------------------------------

void CalibrationDialog::StartRun(Stage stage) {
    stage_ = stage;
    run_ = std::make_unique<CalibrationRun>(procedure_, range_, [this] { return now_; });
    RunTitle->setText(stage == Stage::AsFound ? QStringLiteral("Проверка до подстройки")
                                              : QStringLiteral("Проверка после подстройки"));
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
    const RunProgress p = run_->progress();
    int percent = 0;
    switch (state) {
    case RunState::Settling:
        percent = p.meterSpread && *p.meterSpread > 0
                      ? static_cast<int>(50 * std::min(1.0, p.band / *p.meterSpread))
                      : 50 * p.meterReadings / std::max(p.window, 1);
        break;
    case RunState::Averaging:
        percent = 50 + 50 * p.averaged / std::max(p.meanCount, 1);
        break;
    case RunState::Settled:
    case RunState::Finished:
        percent = 100;
        break;
    default:
        break;
    }
    SettleBar->setValue(percent);
    AppliedButton->setEnabled(state == RunState::AwaitingPressure);
    AcceptButton->setEnabled(state == RunState::Settled);
    RepeatButton->setEnabled(state == RunState::Settling || state == RunState::Averaging ||
                             state == RunState::Settled || state == RunState::TimedOut);
    SkipButton->setEnabled(state != RunState::Finished);
    ReferenceEdit->setEnabled(state != RunState::Finished);
    NextButton->setEnabled(state == RunState::Finished);
    ShowTable(ResultsTable, run_->results(), run_->steps().size());
    Plot->setTable(run_->results(), range_, procedure_.tolerance.percent(range_.span()));
}

void CalibrationDialog::ShowTable(QTableWidget* table, const std::vector<PointResult>& results, size_t rows) {
    table->setRowCount(static_cast<int>(rows));
    const std::vector<Step> steps = BuildSteps(procedure_);
    for (size_t i = 0; i < rows && i < steps.size(); ++i) {
        const int row = static_cast<int>(i);
        const bool measured = i < results.size();
        const PointResult* r = measured ? &results[i] : nullptr;
        const QStringList texts{QString::number(i + 1),
                                ValueText(steps[i].nominal),
                                DirectionName(steps[i].direction),
                                r && !r->skipped ? ValueText(r->reference) : QString(),
                                r && !r->skipped ? ValueText(r->reading) : QString(),
                                r && !r->skipped ? SignedValue(r->error) : QString(),
                                r && !r->skipped ? PercentText(r->errorPercent, true) : QString(),
                                !r           ? QString()
                                : r->skipped ? QStringLiteral("пропущена")
                                             : VerdictText(r->pass)};
        const QColor colour = !r           ? QColor(Qt::white)
                              : r->skipped ? SkippedColor
                              : r->pass    ? PassColor
                                           : FailColor;
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
        const Summary summary = Summarize(asFound_);
        const bool twoPoints = summary.points.size() >= 2;
        {
            const QSignalBlocker blocker(TrimKindBox);
            TrimKindBox->setCurrentIndex(summary.pass ? 0 : twoPoints ? 2 : 1);
        }
        Pages->setCurrentIndex(TrimPage);
        ShowTrimPage();
    } else if (stage_ == Stage::AsLeft) {
        asLeft_ = run_->results();
        ShowCertificatePage();
    }
}

// ---- The trim ---------------------------------------------------------------------------------------

void CalibrationDialog::TrimKindChange() {
    ShowTrimPage();
}

void CalibrationDialog::ShowTrimPage() {
    const Summary found = Summarize(asFound_);
    QString text = QStringLiteral("До подстройки: %1").arg(VerdictText(found.pass));
    if (found.largestErrorPercent)
        text += QStringLiteral(", наибольшая погрешность %1 % диапазона")
                    .arg(PercentText(*found.largestErrorPercent, true));
    text += QStringLiteral(".\nВ приборе: %1.").arg(TrimText(found_));
    std::vector<PointResult> expected = asFound_;
    proposal_ = TrimProposal{};
    if (trim_)
        text +=
            QStringLiteral("\nЗаписано: %1 (%2).")
                .arg(trim_->after ? TrimText(*trim_->after) : QStringLiteral("не прочитано"), trim_->outcome);
    if (TrimKindBox->currentIndex() == 0) {
        text += QStringLiteral("\nПодстройка не предлагается.");
        WriteTrimButton->setEnabled(false);
    } else {
        const TrimKind kind = TrimKindBox->currentIndex() == 1 ? TrimKind::Zero : TrimKind::TwoPoint;
        proposal_ = ProposeTrim(kind, found_, asFound_, range_.span());
        if (!proposal_.ok) {
            text += QStringLiteral("\n%1 невозможна: %2").arg(TrimKindName(kind), proposal_.refusal);
            WriteTrimButton->setEnabled(false);
        } else {
            text +=
                QStringLiteral("\nПредлагается: смещение %1 → %2, множитель %3 → %4.")
                    .arg(ValueText(proposal_.current.offset), ValueText(proposal_.proposed.offset),
                         ValueText(proposal_.current.multiplier), ValueText(proposal_.proposed.multiplier));
            if (proposal_.needsConfirmation) text += QStringLiteral("\nВнимание: ") + proposal_.confirmation;
            expected =
                ExpectedResults(asFound_, found_, proposal_.proposed, procedure_.tolerance, range_.span());
            const Summary after = Summarize(expected);
            text += QStringLiteral("\nОжидается после подстройки: %1").arg(VerdictText(after.pass));
            if (after.largestErrorPercent)
                text += QStringLiteral(", наибольшая погрешность %1 % диапазона")
                            .arg(PercentText(*after.largestErrorPercent, true));
            text += u'.';
            WriteTrimButton->setEnabled(true);
        }
    }
    ProposalLabel->setText(text);
    ShowTable(ExpectedTable, expected, expected.size());
    ExpectedPlot->setTable(expected, range_, procedure_.tolerance.percent(range_.span()));
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

// ---- The certificate --------------------------------------------------------------------------------

CertificateData CalibrationDialog::Certificate() const {
    CertificateData d;
    d.caption = host_.caption();
    d.when = startedAt_;
    d.number = CertificateNumber(SerialText(), startedAt_);
    d.port = host_.portName();
    d.devicePath = host_.devicePath();
    d.address = host_.meterAddress();
    d.image = state_.image;
    d.range = range_;
    d.reference = reference_;
    d.person = person_;
    d.ambientCelsius = ambient_;
    d.procedure = procedure_;
    d.asFound = asFound_;
    d.trim = trim_;
    d.asLeft = asLeft_;
    d.uncertainty = CertificateUncertainty(d);
    return d;
}

void CalibrationDialog::ShowCertificatePage() {
    stage_ = Stage::Certificate;
    run_.reset();
    const CertificateData d = Certificate();
    const std::optional<bool> verdict = FinalVerdict(d);
    SummaryLabel->setText(
        QStringLiteral("Сертификат № %1\n%2.\n\nЗаключение: %3")
            .arg(d.number, CalibrationOutcomeText(d),
                 verdict ? QStringLiteral("прибор %1.").arg(VerdictText(*verdict))
                         : QStringLiteral("не определено: после подстройки проверка не проводилась.")));
    Pages->setCurrentIndex(CertificatePage);
}

void CalibrationDialog::SaveClick() {
    if (stage_ != Stage::Certificate) return;
    const CertificateData d = Certificate();
    const QString folder =
        QFileInfo(host_.journalPath()).dir().filePath(QString::fromLatin1(olv::records::CertificatesFolder));
    const QByteArray pdf = host_.pdf(CertificateHtml(d), QStringLiteral("Сертификат о калибровке"));
    QString reason;
    const bool kept = SaveCertificateFiles(folder, d.number, pdf, CertificateCsv(d), reason);
    const QString base = QDir(folder).filePath(d.number);
    host_.appendJournal(
        CalibrationJournalEntry(d, kept ? QStringLiteral("сертификат %1").arg(d.number)
                                        : QStringLiteral("сертификат не записан: %1").arg(reason)));
    if (!kept) {
        Warn(QStringLiteral("Сертификат не записан в папку %1: %2.")
                 .arg(QDir::toNativeSeparators(folder), reason));
        return;
    }
    certificatePath_ = base + QStringLiteral(".pdf");
    SaveButton->setEnabled(false);
    host_.boxes().show({QStringLiteral("Сертификат записан в файлы %1 и %2.")
                            .arg(QDir::toNativeSeparators(certificatePath_),
                                 QDir::toNativeSeparators(base + QStringLiteral(".csv"))),
                        QStringLiteral("Результат операции"),
                        BoxIcon::Information,
                        BoxButtons::Ok,
                        {}});
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
