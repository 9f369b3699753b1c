// The window as the line monitor page sees it.
#include "ui/pages/monitor/monitor_host.h"
#include "ui/window/form1.h"
#include "ui/window/form1_rooms.h"
#include "ui/window/link_health_line.h"

namespace {

// Listening runs as an operation of the window's: while it is held, the window's commands are
// disabled as for any operation, and at its end enabled as they were.
class ListeningHold final : public MonitorHost::LineHold {
  public:
    explicit ListeningHold(TForm1& form) : operation(form) {}
    TForm1::InstrumentOperation operation;
};

class WindowHost final : public MonitorHost {
  public:
    explicit WindowHost(TForm1& form) : form_(form) {}
    QWidget* widget() override { return &form_; }
    const olv::link::LinkSettings& linkSettings() const override { return form_.linkSettings; }
    QString linkPath() const override { return form_.healthLine().linkPath; }
    olv::link::PortLink& portLink() override { return form_.portLink; }
    olv::messages::MessageBoxes& boxes() override { return *form_.boxes; }
    void OpenPort() override { form_.OpenPort(); }
    std::unique_ptr<MonitorHost::LineHold> HoldLine() override {
        auto hold = std::make_unique<ListeningHold>(form_);
        if (!hold->operation.started()) return nullptr;
        return hold;
    }
    bool listening() const override { return form_.listening; }
    void SetListening(bool on) override {
        form_.SetLineState(on ? olv::link::LineState::Listening : olv::link::LineState::Operation);
    }
    void Guarded(QObject* sender, const std::function<void()>& handler) override {
        try {
            handler();
        } catch (const std::exception& error) {
            form_.MEx(sender, &error);
        } catch (...) {
            form_.MEx(sender, nullptr);
        }
    }

  private:
    TForm1& form_;
};

} // namespace

std::unique_ptr<MonitorHost> MonitorWindow(TForm1& form) {
    return std::make_unique<WindowHost>(form);
}
