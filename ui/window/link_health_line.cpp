// The status bar: the link in use, what it is doing and the counts of the program's own exchanges.
#include "ui/window/link_health_line.h"

#include "ui/window/form1_controls.h"
#include "ui/window/page_host.h"

#include "link/line_state.h"
#include "link/link_settings.h"
#include "link/port_link.h"

#include <QLabel>

LinkHealthLine::LinkHealthLine(PageHost& host, const olv::link::LineStateKeeper& line, Form1Controls& ui)
    : host(host), line(line), ui(ui) {}

void LinkHealthLine::NoteLinkHealth(const olv::link::ExchangeRecord& record) {
    // A closed port sends nothing: there is no request to count.
    if (host.Port().port().isOpen()) {
        olv::link::CountExchange(linkCounters, record);
        linkFresh = false;
    }
    ShowLinkHealth();
}

void LinkHealthLine::ShowLinkHealth() {
    olv::link::PortLink& portLink = host.Port();
    const olv::link::LinkSettings& linkSettings = host.Link();
    const bool listens = line.state() == olv::link::LineState::Listening;
    const olv::link::LinkState state = olv::link::LinkStateOf(
        listens, portLink.port().isOpen(), portLink.port().hungUp(), linkFresh, linkCounters);
    const olv::link::LinkDescription link{linkSettings.portNumber, linkPath, linkSettings.baudRate,
                                          linkSettings.parity, linkSettings.address};
    ui.Label52->setText(olv::link::LinkHealthText(link, state, linkCounters));
}

void LinkHealthLine::PortOpened(const QString& path) {
    linkPath = path;
    PortReopened();
}

void LinkHealthLine::PortReopened() {
    linkFresh = true;
    ShowLinkHealth();
}

void LinkHealthLine::ForgetCounts() {
    linkCounters = {};
    linkFresh = true;
    ShowLinkHealth();
}
