// The status bar: the link in use, what it is doing and the counts of the program's own exchanges.
#include "ui/window/form1.h"

#include <QLabel>

void TForm1::NoteLinkHealth(const olv::link::ExchangeRecord& record) {
    // A closed port sends nothing: there is no request to count.
    if (portLink.port().isOpen()) {
        olv::link::CountExchange(linkCounters, record);
        linkFresh = false;
    }
    ShowLinkHealth();
}

void TForm1::ShowLinkHealth() {
    const bool listens = line_.state() == olv::link::LineState::Listening;
    const olv::link::LinkState state = olv::link::LinkStateOf(listens, portLink.port().isOpen(),
                                                              portLink.port().hungUp(), linkFresh, linkCounters);
    const olv::link::LinkDescription link{linkSettings.portNumber, linkPath, linkSettings.baudRate,
                                          linkSettings.parity, linkSettings.address};
    Label52->setText(olv::link::LinkHealthText(link, state, linkCounters));
}

void TForm1::SetLineState(olv::link::LineState state) {
    if (line_.set(state)) ShowLinkHealth();
}
