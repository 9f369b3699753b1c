// The menus of the window: each built on the window as its host, what they reach of the live page,
// and the journal's steps that the pages' writes take through the window.
#include "ui/window/form1.h"

#include "ui/menus/config_file_menu.h"
#include "ui/menus/help_menu.h"
#include "ui/menus/journal_menu.h"
#include "ui/menus/ports_menu.h"
#include "ui/menus/profile_menu.h"
#include "ui/menus/record_menu.h"
#include "ui/pages/live/live_page.h"

#include "records/instrument_state.h"

#include <QFileDialog>
#include <QImage>

void TForm1::BuildMenus() {
    MenuHost& window = *this;
    ports_ = std::make_unique<PortsMenu>(*this, window, *this);
    help_ = std::make_unique<HelpMenu>(*this, window, *this);
    profiles_ = std::make_unique<ProfileMenu>(*this, window, *this,
                                              ProfilePages{*live_, *sensor_, *link_, *search_, *text_});
    configFile_ = std::make_unique<ConfigFileMenu>(*this, window, *this);
    record_ = std::make_unique<RecordMenu>(*this, window, *this);
    journal_ = std::make_unique<JournalMenu>(*this, window, *this);
    ports_->Wire();
    help_->Wire();
    configFile_->Wire();
    record_->Wire();
    journal_->Wire();
    profiles_->Wire();
}

olv::link::ResultFlags TForm1::ReadInstrumentState(olv::records::InstrumentState& state,
                                                   uint8_t& exceptionCode) {
    const olv::link::ResultFlags flags =
        olv::records::ReadInstrumentState(master, state, exceptionCode, [this](int ms) { Pause(ms); });
    // Read of the instrument on the link: another serial number than the one shown is another meter.
    if (olv::link::Succeeded(flags, exceptionCode)) NoteInstrumentRead(state.image);
    return flags;
}

bool TForm1::JournalAllowsWrite() { return journal_->JournalAllowsWrite(); }
olv::link::ResultFlags TForm1::ReadBeforeWrite(WriteRecord& record, uint8_t& exceptionCode) {
    return journal_->ReadBeforeWrite(record, exceptionCode);
}
void TForm1::JournalWrite(const QString& operation, const WriteRecord& record,
                          const olv::device::PageWriteResult& result) {
    journal_->JournalWrite(operation, record, result);
}

bool TForm1::ReadLiveNow(olv::device::LiveReading& reading) {
    uint8_t exceptionCode = 0;
    const bool read = olv::link::Succeeded(live_->ReadLiveValue(exceptionCode), exceptionCode);
    reading = live_->live;
    return read;
}

QString& TForm1::LogFileName() { return live_->logFileName; }
int& TForm1::LogEnabled() { return live_->logEnabled; }
const olv::device::LiveTrend& TForm1::Trend() const { return live_->liveTrend; }

// Shows a file dialog: the chosen file name and whether its first filter entry was selected; false
// when cancelled.
bool TForm1::ChooseFile(QFileDialog* dialog, QString& fileName, bool& firstFilterSelected) {
    if (chooseProfileFile) return chooseProfileFile(dialog, fileName, firstFilterSelected);
    // The dialog is Qt's own (not the platform's), which never changes the working directory, so
    // recent.prf is still written where the program runs.
    dialog->selectNameFilter(dialog->nameFilters().value(0));
    if (dialog->exec() != QDialog::Accepted) return false;
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return false;
    fileName = files.first();
    firstFilterSelected = dialog->selectedNameFilter() == dialog->nameFilters().value(0);
    return true;
}

QImage TForm1::TrendPicture(const olv::device::InstrumentIdentity* only) { return live_->TrendPicture(only); }
