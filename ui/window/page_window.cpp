// The window as its pages and rooms see it: what they read and change of its state, the line, the
// instrument shown, the reports and the journal's write path.
#include "ui/window/form1.h"
#include "ui/window/form1_rooms.h"

#include "ui/menus/journal_menu.h"

namespace {

class WindowHost final : public PageHost {
  public:
    explicit WindowHost(TForm1& form) : form_(form) {}

    olv::link::PortMaster& Master() override { return form_.master; }
    olv::messages::MessageBoxes& Boxes() override { return *form_.boxes; }
    olv::device::RegisterImage& Image() override { return form_.image; }
    olv::link::LinkSettings& Link() override { return form_.linkSettings; }
    olv::device::PendingDeviceLink& PendingLink() override { return form_.pendingLink; }
    LineFlag& UiBusy() override { return form_.uiBusy; }

    std::unique_ptr<OperationHold> BeginOperation() override { return form_.BeginOperation(); }
    bool LineBusy() const override { return form_.operationRunning || form_.LineWaiting(); }
    void SetLineState(olv::link::LineState state) override { form_.SetLineState(state); }
    olv::link::PortLink& Port() override { return form_.portLink; }
    void OpenPort() override { form_.OpenPort(); }
    void ShowLinkSettings(int guard) override { form_.ShowLinkSettings(guard); }
    std::unique_ptr<olv::device::DeviceLinkSteps>
    LinkFollower(const olv::device::LinkValues& values) override {
        return form_.LinkFollower(values);
    }
    int64_t NowMs() const override { return form_.clock(); }
    void Pause(int ms) override { form_.Pause(ms); }
    void RepaintNow() override { form_.repaint(); }

    olv::device::InstrumentId TargetInstrument() const override { return form_.TargetInstrument(); }
    void NoteInstrumentRead(const olv::device::RegisterImage& words, unsigned keptPages) override {
        form_.NoteInstrumentRead(words, keptPages);
    }
    void StampPages(unsigned pages, std::optional<int64_t> atMs) override { form_.StampPages(pages, atMs); }

    void ReportExchangeError(olv::link::ResultFlags flags, uint8_t exceptionCode,
                             const QString& detail) override {
        form_.ReportExchangeError(flags, exceptionCode, detail);
    }
    void FocusRefusedField(QWidget* field) override { form_.FocusRefusedField(field); }

    bool JournalAllowsWrite() override { return form_.journal().JournalAllowsWrite(); }
    olv::link::ResultFlags ReadBeforeWrite(WriteRecord& record, uint8_t& exceptionCode) override {
        return form_.journal().ReadBeforeWrite(record, exceptionCode);
    }
    void JournalWrite(const QString& operation, const WriteRecord& record,
                      const olv::device::PageWriteResult& result) override {
        form_.journal().JournalWrite(operation, record, result);
    }
    bool ReportPageWrite(const olv::records::InstrumentState& before,
                         const olv::device::PageWriteResult& result, const PageWriteTexts& texts) override {
        return form_.ReportPageWrite(before, result, texts);
    }

    void Guarded(QObject* sender, const std::function<void()>& handler) override {
        form_.Guarded(sender, handler);
    }
    void RunHandler(QObject* sender, HandlerId id, const std::function<void()>& handler) override {
        form_.Guarded(sender, [&] {
            form_.lastHandler = id;
            handler();
        });
    }

  private:
    TForm1& form_;
};

} // namespace

std::unique_ptr<PageHost> PageWindow(TForm1& form) {
    return std::make_unique<WindowHost>(form);
}
