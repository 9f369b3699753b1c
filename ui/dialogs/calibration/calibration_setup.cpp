// "Калибровка", the first step: the procedure's settings, the reference and the person, taken and
// kept for the next check.
#include "ui/dialogs/calibration/calibration_dialog.h"

#include "ui/dialogs/calibration/calibration_host.h"

#include "calibration/dialog_steps.h"
#include "calibration/number_texts.h"
#include "calibration/reference.h"
#include "messages/message_boxes.h"
#include "records/visit.h"
#include "settings/ini_file.h"
#include "settings/station_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStackedWidget>

using namespace olv::calibration;

namespace {

const QString RecordsSection = QStringLiteral("CALIBRATION");

} // namespace

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
