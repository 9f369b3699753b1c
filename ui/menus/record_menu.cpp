// Menu "Файл", "Протокол настройки…": a commissioning record of the instrument on the line as a PDF.
#include "ui/menus/record_menu.h"

#include "ui/pages/live/live_page.h"
#include "ui/widgets/trend_chart.h"
#include "ui/window/form1.h"

#include "files/plain_file.h"
#include "messages/message_boxes.h"
#include "print/document_pdf.h"
#include "records/commissioning_record.h"
#include "records/journal.h"
#include "records/visit.h"
#include "settings/ini_file.h"
#include "settings/station_settings.h"

#include <QChart>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGraphicsScene>
#include <QLineEdit>
#include <QPainter>

using olv::link::ResultFlags;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;

bool ReadRecord(TForm1& form, olv::records::RecordData& data) {
    uint8_t exceptionCode = 0;
    const ResultFlags flags = form.ReadInstrumentState(data.state, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        form.ReportExchangeError(flags, exceptionCode);
        return false;
    }
    exceptionCode = 0;
    data.liveRead = olv::link::Succeeded(form.live().ReadLiveValue(exceptionCode), exceptionCode);
    data.live = form.live().live;
    data.caption = form.windowTitle();
    data.printedAt = QDateTime::currentDateTime();
    data.port = QStringLiteral("COM%1").arg(form.linkSettings.portNumber);
    data.devicePath =
        QFile::decodeName(QByteArray::fromStdString(form.portLink.pathOf(form.linkSettings.portNumber)));
    data.address = form.linkSettings.address;
    data.trend = form.live().liveTrend.stats();
    // Only readings of the instrument just read go into the record; others are named as left out.
    data.trendOf = olv::records::RecordTrendOf(
        form.live().liveTrend, olv::device::WithImageIdentity(form.ShownIdentity(), data.state.image),
        form.linkSettings.byteOrder);
    // What the station knows of this instrument and of the person, and what the journal says of it.
    const QString serial = olv::records::SerialText(data.state);
    const olv::settings::IniSnapshot station =
        olv::settings::IniFile(olv::settings::StationSettingsPath()).snapshot();
    data.site = olv::records::LoadInstrumentSite(station, serial);
    data.person = olv::records::LoadPerson(station);
    const std::vector<QStringList> journal = olv::records::ReadJournal(form.JournalPath(), serial);
    data.visit = olv::records::VisitChanges(journal, serial, data.printedAt.date());
    data.lastCalibration = olv::records::LastCalibration(journal, serial);
    data.documentNumber = olv::records::DocumentNumber(QStringLiteral("ПН"), serial, data.printedAt);
    return true;
}

namespace {

// The site, tag and person, as last typed for this serial number; false when cancelled.
bool AskRecordDetails(QWidget* parent, olv::records::RecordData& data) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("RecordDetails"));
    dialog.setWindowTitle(QStringLiteral("Протокол настройки"));
    auto* layout = new QFormLayout(&dialog);
    auto* site = new QLineEdit(data.site.site, &dialog);
    auto* tag = new QLineEdit(data.site.tag, &dialog);
    auto* person = new QLineEdit(data.person, &dialog);
    for (QLineEdit* edit : {site, tag, person})
        edit->setMaxLength(200);
    layout->addRow(QStringLiteral("Объект"), site);
    layout->addRow(QStringLiteral("Позиция (тег)"), tag);
    layout->addRow(QStringLiteral("Наладчик"), person);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return false;
    data.site = {site->text().simplified(), tag->text().simplified()};
    data.person = person->text().simplified();
    return true;
}

// Keeps what was typed for the next record of this instrument; a refused write is told once.
void KeepRecordDetails(TForm1& form, const olv::records::RecordData& data) {
    std::vector<olv::settings::IniEntry> entries =
        olv::records::InstrumentSiteEntries(olv::records::SerialText(data.state), data.site);
    entries.push_back(olv::records::PersonEntry(data.person));
    try {
        olv::settings::IniFile(olv::settings::StationSettingsPath()).writeStrings(entries);
    } catch (const olv::settings::IniWriteError& error) {
        form.ReportIniWriteError(error);
    }
}

} // namespace

// "Протокол настройки…": reads the instrument and its live value, then writes the record, whole or not
// at all.
void TForm1::N7Click() {
    QString fileName;
    bool firstFilter = true;
    if (!ChooseProfileFile(SaveDialog3, fileName, firstFilter)) return;
    if (firstFilter && !fileName.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        fileName += QStringLiteral(".pdf");

    const InstrumentOperation operation(*this);
    if (!operation.started()) return;
    olv::records::RecordData data;
    if (!ReadRecord(*this, data)) return;
    if (!(askRecordDetails ? askRecordDetails(data) : AskRecordDetails(this, data))) return;
    KeepRecordDetails(*this, data);
    const olv::device::InstrumentIdentity recorded =
        olv::device::WithImageIdentity(ShownIdentity(), data.state.image);
    const QImage trend = live().TrendPicture(&recorded);
    const QByteArray pdf =
        olv::print::DocumentPdf(olv::records::RecordHtml(data, olv::print::TrendImageName(), trend.size()), trend,
                                QStringLiteral("Протокол настройки"));
    QString reason;
    if (!olv::files::WriteWholeFile(fileName, pdf, reason)) {
        boxes->show({QStringLiteral("Протокол настройки не записан в файл %1: %2.")
                         .arg(QDir::toNativeSeparators(fileName), reason),
                     QStringLiteral("Ошибка"),
                     BoxIcon::Warning,
                     BoxButtons::Ok,
                     {}});
        return;
    }
    boxes->show(
        {QStringLiteral("Протокол настройки записан в файл %1.").arg(QDir::toNativeSeparators(fileName)),
         QStringLiteral("Результат операции"),
         BoxIcon::Information,
         BoxButtons::Ok,
         {}});
}
