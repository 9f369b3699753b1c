// One operation on the instrument at a time: what is disabled while one runs, and the close that
// waited for its end.
#include "ui/window/instrument_operation.h"

#include "ui/window/form1.h"
#include "ui/window/link_health_line.h"

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

InstrumentOperation::InstrumentOperation(TForm1& form) : form_(form) {
    // Nor while a transaction outside an operation (a live poll) waits for its reply: this would
    // reconnect the port under it.
    if (form_.operationRunning || form_.LineWaiting()) return;
    started_ = true;
    form_.SetLineState(olv::link::LineState::Operation);
    // Whatever could change the port, address, rate or parity under the operation, or start another
    // one: the top row, a pick in the found list, every command button but the search's stop, and the
    // File menu (a profile load changes the byte order and the text words, a save collects the pages,
    // the port assignment may reopen the port; the configuration file, record and journal items talk to
    // the instrument or show what its writes did).
    for (QWidget* control : std::initializer_list<QWidget*>{
             form_.ComboBox1, form_.ComboBox2, form_.ComboBox3, form_.ComboBox14, form_.ListBox1,
             form_.Button1, form_.Button2, form_.Button3, form_.Button4, form_.Button6, form_.Button7,
             form_.Button8, form_.Button9, form_.Button10, form_.Button11, form_.Button13}) {
        // The control's own switch, not what its parents make of it.
        controls_.emplace_back(control, !control->testAttribute(Qt::WA_ForceDisabled));
        control->setEnabled(false);
    }
    for (QAction* action : {form_.N2, form_.N3, form_.N4, form_.N5, form_.N6, form_.N7, form_.N8, form_.N13}) {
        actions_.emplace_back(action, action->isEnabled());
        action->setEnabled(false);
    }
    // A port lost to an unplugged adapter or a dropped gateway connection is opened again first.
    form_.ReconnectIfLost();
}

InstrumentOperation::~InstrumentOperation() {
    if (!started_) return;
    for (const auto& [control, enabled] : controls_)
        control->setEnabled(enabled);
    for (const auto& [action, enabled] : actions_)
        action->setEnabled(enabled);
    if (form_.line_.release()) form_.healthLine().ShowLinkHealth();
    if (form_.closeAfterOperation_)
        // Once the handler that ran the operation has unwound.
        QTimer::singleShot(0, &form_, [form = &form_] { form->close(); });
}

std::unique_ptr<OperationHold> TForm1::BeginOperation() {
    return std::make_unique<InstrumentOperation>(*this);
}

olv::device::InstrumentId TForm1::TargetInstrument() const {
    return {linkSettings.portNumber, linkSettings.address};
}
