// Menu "Файл", "Протокол настройки…": a commissioning record of the instrument on the line as a PDF.
#include "ui/menus/record_menu.h"

#include "ui/menus/journal_menu.h"
#include "ui/menus/menu_host.h"
#include "ui/widgets/trend_chart.h"
#include "ui/window/form1_controls.h"
#include "ui/window/page_host.h"

#include "device/live_trend.h"
#include "device/live_value.h"
#include "files/plain_file.h"
#include "link/link_settings.h"
#include "link/port_link.h"
#include "messages/message_boxes.h"
#include "print/document_pdf.h"
#include "records/commissioning_record.h"
#include "records/journal.h"
#include "records/visit.h"
#include "settings/ini_file.h"
#include "settings/station_settings.h"

#include <QAction>
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
#include <QMainWindow>
#include <QPainter>

using olv::messages::BoxButtons;
using olv::messages::BoxIcon;

bool RecordMenu::ReadRecord(olv::records::RecordData& data) {
    if (!window.ReadInstrumentStateOrReport(data.state)) return false;
    data.liveRead = window.ReadLiveNow(data.live);
    data.caption = window.Window().windowTitle();
    data.printedAt = QDateTime::currentDateTime();
    data.port = QStringLiteral("COM%1").arg(host.Link().portNumber);
    data.devicePath =
        QFile::decodeName(QByteArray::fromStdString(host.Port().pathOf(host.Link().portNumber)));
    data.address = host.Link().address;
    data.trend = window.Trend().stats();
    // Only readings of the instrument just read go into the record; others are named as left out.
    data.trendOf = olv::records::RecordTrendOf(
        window.Trend(), olv::device::WithImageIdentity(window.InstrumentShown(), data.state.image),
        host.Link().byteOrder);
    // What the station knows of this instrument and of the person, and what the journal says of it.
    const QString serial = olv::records::SerialText(data.state);
    const olv::settings::IniSnapshot station =
        olv::settings::IniFile(olv::settings::StationSettingsPath()).snapshot();
    data.site = olv::records::LoadInstrumentSite(station, serial);
    data.person = olv::records::LoadPerson(station);
    const std::vector<QStringList> journal = olv::records::ReadJournal(JournalMenu::JournalPath(), serial);
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
void KeepRecordDetails(MenuHost& window, const olv::records::RecordData& data) {
    std::vector<olv::settings::IniEntry> entries =
        olv::records::InstrumentSiteEntries(olv::records::SerialText(data.state), data.site);
    entries.push_back(olv::records::PersonEntry(data.person));
    try {
        olv::settings::IniFile(olv::settings::StationSettingsPath()).writeStrings(entries);
    } catch (const olv::settings::IniWriteError& error) {
        window.ReportIniWriteError(error);
    }
}

} // namespace

RecordMenu::RecordMenu(PageHost& host, MenuHost& window, Form1Controls& ui)
    : host(host), window(window), ui(ui) {}

void RecordMenu::Wire() {
    host.On(ui.N7, &QAction::triggered, this, &RecordMenu::N7Click);
}

// "Протокол настройки…": reads the instrument and its live value, then writes the record, whole or not
// at all.
void RecordMenu::N7Click() {
    QString fileName;
    bool firstFilter = true;
    if (!window.ChooseFile(ui.SaveDialog3, fileName, firstFilter)) return;
    if (firstFilter && !fileName.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        fileName += QStringLiteral(".pdf");

    const std::unique_ptr<OperationHold> operation = host.BeginOperation();
    if (!operation->started()) return;
    olv::records::RecordData data;
    if (!ReadRecord(data)) return;
    if (!(askRecordDetails ? askRecordDetails(data) : AskRecordDetails(&window.Window(), data))) return;
    KeepRecordDetails(window, data);
    const olv::device::InstrumentIdentity recorded =
        olv::device::WithImageIdentity(window.InstrumentShown(), data.state.image);
    const QImage trend = window.TrendPicture(&recorded);
    const QByteArray pdf =
        olv::print::DocumentPdf(olv::records::RecordHtml(data, olv::print::TrendImageName(), trend.size()),
                                trend, QStringLiteral("Протокол настройки"));
    QString reason;
    if (!olv::files::WriteWholeFile(fileName, pdf, reason)) {
        host.Boxes().show({QStringLiteral("Протокол настройки не записан в файл %1: %2.")
                               .arg(QDir::toNativeSeparators(fileName), reason),
                           QStringLiteral("Ошибка"),
                           BoxIcon::Warning,
                           BoxButtons::Ok,
                           {}});
        return;
    }
    host.Boxes().show(
        {QStringLiteral("Протокол настройки записан в файл %1.").arg(QDir::toNativeSeparators(fileName)),
         QStringLiteral("Результат операции"),
         BoxIcon::Information,
         BoxButtons::Ok,
         {}});
}
