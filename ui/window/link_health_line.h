#pragma once

#include "link/link_health.h"

#include <QString>

class PageHost;
struct Form1Controls;

namespace olv::link {
class LineStateKeeper;
} // namespace olv::link

// The status bar's line (Label52): the link in use, what it is doing and the counts of the program's
// own exchanges since the port was last opened.
class LinkHealthLine {
  public:
    LinkHealthLine(PageHost& host, const olv::link::LineStateKeeper& line, Form1Controls& ui);

    // Told of every transaction that went on the wire (the master's observer): counts it and shows
    // the line anew.
    void NoteLinkHealth(const olv::link::ExchangeRecord& record);
    void ShowLinkHealth(); // the link, its state and the counters into Label52
    // The port was opened on `path` (or opened again): nothing exchanged on it yet.
    void PortOpened(const QString& path);
    void PortReopened();
    // The counts were of another instrument's exchanges: they start again.
    void ForgetCounts();

    olv::link::LinkCounters linkCounters;
    bool linkFresh = true; // nothing exchanged since the port was last opened
    QString linkPath;      // the device path of the port as last opened

  private:
    PageHost& host;
    const olv::link::LineStateKeeper& line;
    Form1Controls& ui;
};
