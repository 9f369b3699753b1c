#pragma once

#include "device/page_writes.h"
#include "ui/window/edit_marking.h"

#include <QObject>

class PageHost;
struct Form1Controls;

namespace olv::device {
struct LinkValues;
} // namespace olv::device

// Page 2, "Настройки связи": the instrument's own address, baud rate, parity and byte order. Its
// controls are Form1Controls' (built by setupLinkPage in page_link.cpp); it reaches the rest of the
// window through its host. "Запись обмена" (CheckBox7) stands on it but belongs to the link row.
class LinkPage : public QObject, private EditMarking {
  public:
    LinkPage(PageHost& host, Form1Controls& ui);

    void FillListsAndHints(); // the lists' entries and the boxes' hints, at start-up
    void Wire();              // every control of the page to its handler
    void Left();              // the page is left: choices not yet written are dropped

    // Takes the page's four boxes into the pending device link values.
    void CollectDeviceLinkSettings(int guard);
    // Confirms, then writes the three settings into the instrument.
    void WriteDeviceLinkSettings();
    void ComboBox9Change();
    void ComboBox10Change();
    void ComboBox15Change();
    void ComboBox16Change();
    void Button1Click();
    void Button8Click();

  private:
    // The page's three writes with its progress panel; the program's link follows each.
    olv::device::PageWriteResult WriteLinkValues(const olv::device::LinkValues& values);

    PageHost& host;
    Form1Controls& ui;
};
