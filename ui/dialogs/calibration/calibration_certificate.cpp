// "Калибровка", the certificate: its summary, and the PDF and CSV kept beside the journal with a
// journal line.
#include "ui/dialogs/calibration/calibration_dialog.h"

#include "ui/dialogs/calibration/calibration_host.h"

#include "calibration/certificate_files.h"
#include "calibration/dialog_steps.h"
#include "messages/message_boxes.h"
#include "records/visit.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace olv::calibration;
using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;

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

CertificateData CalibrationDialog::Certificate() const {
    CertificateData d;
    d.caption = host_.caption();
    d.when = startedAt_;
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
    return AssembleCertificate(d, SerialText());
}

void CalibrationDialog::ShowCertificatePage() {
    stage_ = Stage::Certificate;
    run_.reset();
    SummaryLabel->setText(CertificateSummary(Certificate()));
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
