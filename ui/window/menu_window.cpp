// The menus of the window: each built on the window as its host, and what they reach of the live page.
#include "ui/window/form1.h"

#include "ui/menus/help_menu.h"
#include "ui/menus/ports_menu.h"
#include "ui/menus/profile_menu.h"
#include "ui/pages/live/live_page.h"

#include <QFileDialog>

void TForm1::BuildMenus() {
    MenuHost& window = *this;
    ports_ = std::make_unique<PortsMenu>(*this, window, *this);
    help_ = std::make_unique<HelpMenu>(*this, window, *this);
    profiles_ = std::make_unique<ProfileMenu>(*this, window, *this,
                                              ProfilePages{*live_, *sensor_, *link_, *search_, *text_});
    ports_->Wire();
    help_->Wire();
    profiles_->Wire();
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

bool TForm1::ChooseProfileFile(QFileDialog* dialog, QString& fileName, bool& firstFilterSelected) {
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

