// The line's state: changed in one place, and the design's flags read as views of it.
#include "ui/window/form1.h"

#include "ui/window/line_waiter.h"
#include "ui/window/link_health_line.h"

void TForm1::SetLineState(olv::link::LineState state) {
    if (line_.set(state)) healthLine().ShowLinkHealth();
}

bool TForm1::LineWaiting() const {
    return lineWaiter_ && lineWaiter_->depth() > 0;
}

// uiBusy: 0 given ends the settling after start-up as well.
LineFlag TForm1::UiBusyView() {
    return LineFlag([this] { return int(filling_ || line_.settling()); },
                    [this](int busy) {
                        filling_ = busy != 0;
                        if (!busy && line_.settling()) SetLineState(olv::link::LineState::StartupRead);
                    });
}
