// The menus of the window: each built on the window as its host, and what they reach of it beyond
// what a page does.
#include "ui/window/form1.h"
#include "ui/window/form1_rooms.h"

#include "ui/menus/calibration_menu.h"
#include "ui/menus/config_file_menu.h"
#include "ui/menus/help_menu.h"
#include "ui/menus/journal_menu.h"
#include "ui/menus/menu_host.h"
#include "ui/menus/ports_menu.h"
#include "ui/menus/profile_menu.h"
#include "ui/menus/record_menu.h"
#include "ui/pages/live/live_page.h"

#include "records/instrument_state.h"

#include <QFileDialog>
#include <QImage>

namespace {

class WindowHost final : public MenuHost {
  public:
    explicit WindowHost(TForm1& form) : form_(form) {}

    QMainWindow& Window() override { return form_; }
    bool LineWaiting() const override { return form_.LineWaiting(); }
    void ReconnectIfLost() override { form_.ReconnectIfLost(); }
    void ShowExchangeState(olv::link::ResultFlags flags, uint8_t exceptionCode) override {
        form_.ShowExchangeState(flags, exceptionCode);
    }
    void ReportIniWriteError(const olv::settings::IniWriteError& error) override {
        form_.ReportIniWriteError(error);
    }
    void ReportNextIniWriteError() override { form_.ReportNextIniWriteError(); }
    QString& LogFileName() override { return form_.live().logFileName; }
    int& LogEnabled() override { return form_.live().logEnabled; }
    bool ReadLiveNow(olv::device::LiveReading& reading) override {
        uint8_t exceptionCode = 0;
        const bool read = olv::link::Succeeded(form_.live().ReadLiveValue(exceptionCode), exceptionCode);
        reading = form_.live().live;
        return read;
    }
    const olv::device::LiveTrend& Trend() const override { return form_.live().liveTrend; }
    const olv::device::InstrumentIdentity& InstrumentShown() const override { return form_.ShownIdentity(); }
    QImage TrendPicture(const olv::device::InstrumentIdentity* only) override {
        return form_.live().TrendPicture(only);
    }
    olv::link::ResultFlags ReadInstrumentState(olv::records::InstrumentState& state,
                                               uint8_t& exceptionCode) override {
        return form_.ReadInstrumentState(state, exceptionCode);
    }
    bool ReadInstrumentStateOrReport(olv::records::InstrumentState& state) override {
        uint8_t exceptionCode = 0;
        const olv::link::ResultFlags flags = form_.ReadInstrumentState(state, exceptionCode);
        if (olv::link::Succeeded(flags, exceptionCode)) return true;
        form_.ReportExchangeError(flags, exceptionCode);
        return false;
    }
    // Shows a file dialog: the chosen file name and whether its first filter entry was selected; false
    // when cancelled.
    bool ChooseFile(QFileDialog* dialog, QString& fileName, bool& firstFilterSelected) override {
        if (form_.chooseProfileFile) return form_.chooseProfileFile(dialog, fileName, firstFilterSelected);
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
    SensorPage& SensorShown() override { return form_.sensor(); }
    TextPage& TextShown() override { return form_.text(); }

  private:
    TForm1& form_;
};

} // namespace

std::unique_ptr<MenuHost> MenuWindow(TForm1& form) {
    return std::make_unique<WindowHost>(form);
}

void TForm1::BuildMenus() {
    Rooms& rooms = *rooms_;
    rooms.menuWindow = MenuWindow(*this);
    MenuHost& window = *rooms.menuWindow;
    rooms.ports = std::make_unique<PortsMenu>(host(), window, *this);
    rooms.help = std::make_unique<HelpMenu>(host(), window, *this);
    rooms.profiles = std::make_unique<ProfileMenu>(host(), window, *this,
                                                   ProfilePages{live(), sensor(), link(), search(), text()});
    rooms.configFile = std::make_unique<ConfigFileMenu>(host(), window, *this);
    rooms.record = std::make_unique<RecordMenu>(host(), window, *this);
    rooms.journal = std::make_unique<JournalMenu>(host(), window, *this);
    rooms.calibration = std::make_unique<CalibrationMenu>(host(), window, *this);
    rooms.ports->Wire();
    rooms.help->Wire();
    rooms.configFile->Wire();
    rooms.record->Wire();
    rooms.journal->Wire();
    rooms.profiles->Wire();
    rooms.calibration->Wire();
}

olv::link::ResultFlags TForm1::ReadInstrumentState(olv::records::InstrumentState& state,
                                                   uint8_t& exceptionCode) {
    const olv::link::ResultFlags flags =
        olv::records::ReadInstrumentState(master, state, exceptionCode, [this](int ms) { Pause(ms); });
    // Read of the instrument on the link: another serial number than the one shown is another meter.
    if (olv::link::Succeeded(flags, exceptionCode)) NoteInstrumentRead(state.image);
    return flags;
}
