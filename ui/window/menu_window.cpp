// The menus of the window: each built on the window as its host, and what they reach of the live page.
#include "ui/window/form1.h"

#include "ui/menus/help_menu.h"
#include "ui/menus/ports_menu.h"
#include "ui/pages/live/live_page.h"

void TForm1::BuildMenus() {
    MenuHost& window = *this;
    ports_ = std::make_unique<PortsMenu>(*this, window, *this);
    help_ = std::make_unique<HelpMenu>(*this, window, *this);
    ports_->Wire();
    help_->Wire();
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
