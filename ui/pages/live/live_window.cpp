// The window as the live page sees it.
#include "ui/pages/live/live_page.h"
#include "ui/menus/calibration_menu.h"
#include "ui/window/form1.h"
#include "ui/window/form1_rooms.h"
#include "ui/window/shown_instrument.h"

namespace {

class WindowHost final : public LiveHost {
  public:
    explicit WindowHost(TForm1& form) : form_(form) {}
    QWidget* widget() override { return &form_; }
    bool PollEnabled() const override { return form_.pollEnabled; }
    void ReconnectIfLost() override { form_.ReconnectIfLost(); }
    void FollowShownInstrument() override { form_.shown().FollowShownInstrument(); }
    const olv::device::InstrumentIdentity& ShownIdentity() const override { return form_.shown().ShownIdentity(); }
    void ShowExchangeState(olv::link::ResultFlags flags, uint8_t exceptionCode) override {
        form_.ShowExchangeState(flags, exceptionCode);
    }
    void PollCalibration() override { form_.calibration().PollCalibration(); }

  private:
    TForm1& form_;
};

} // namespace

std::unique_ptr<LiveHost> LiveWindow(TForm1& form) {
    return std::make_unique<WindowHost>(form);
}
