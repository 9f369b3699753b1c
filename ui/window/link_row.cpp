// The link row at the top of the window (port, rate, address, parity, trace switch): shown from the
// link settings in force and taken back into them; a change of port, rate or parity opens the port
// again.
#include "ui/window/form1.h"

#include "ui/pages/live/live_page.h"
#include "ui/window/link_health_line.h"
#include "ui/window/shown_instrument.h"

#include "device/encodings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

namespace {

// Takes the selected entry into value; with no entry selected the value stays as it was.
void CollectEntry(const QComboBox* box, int& value) {
    if (box->currentIndex() >= 0) value = box->currentIndex();
}

} // namespace

void TForm1::ShowLinkSettings(int guard) {
    if (guard) return;
    uiBusy = 1;
    const int port = linkSettings.portNumber;
    ComboBox1->setCurrentIndex(port >= 1 && port <= 8 ? port - 1 : 0);
    ComboBox2->setCurrentIndex(olv::device::BaudCode(linkSettings.baudRate));
    ComboBox3->setCurrentIndex(linkSettings.address);
    ComboBox14->setCurrentIndex(linkSettings.parity);
    CheckBox7->setChecked(linkSettings.traceEnabled == 1);
    CheckBox11->setChecked(live().logEnabled == 1);
    ComboBox9->setCurrentIndex(linkSettings.address);
    ComboBox10->setCurrentIndex(olv::device::BaudCode(pendingLink.pendingBaudRate));
    ComboBox15->setCurrentIndex(linkSettings.parity);
    ComboBox16->setCurrentIndex(linkSettings.byteOrder);
    ComboBox17->setCurrentIndex(linkSettings.byteOrder);
    Label1->setText(QStringLiteral("COM%1, %2").arg(linkSettings.portNumber).arg(linkSettings.baudRate));
    healthLine().ShowLinkHealth();
    uiBusy = 0;
    shown().FollowShownInstrument();
}

void TForm1::CollectLinkSettings(int guard) {
    if (guard) return;
    uiBusy = 1;
    if (ComboBox1->currentIndex() >= 0) linkSettings.portNumber = ComboBox1->currentIndex() + 1;
    linkSettings.baudRate = olv::device::BaudRateOfIndex(ComboBox2->currentIndex());
    CollectEntry(ComboBox3, linkSettings.address);
    CollectEntry(ComboBox14, linkSettings.parity);
    linkSettings.traceEnabled = CheckBox7->isChecked() ? 1 : 0;
    live().logEnabled = CheckBox11->isChecked() ? 1 : 0;
    CollectEntry(ComboBox9, pendingLink.pendingAddress);
    pendingLink.pendingBaudRate = olv::device::BaudRateOfIndex(ComboBox10->currentIndex());
    CollectEntry(ComboBox15, pendingLink.pendingParity);
    CollectEntry(ComboBox16, pendingLink.pendingByteOrder);
    uiBusy = 0;
}

void TForm1::ComboBox1Change() {
    CollectLinkSettings(uiBusy);
    OpenPort();
    ShowLinkSettings(uiBusy);
}

void TForm1::ComboBox2Change() {
    CollectLinkSettings(uiBusy);
    OpenPort();
    pendingLink.pendingBaudRate = linkSettings.baudRate;
    ShowLinkSettings(uiBusy);
}

void TForm1::ComboBox3Change() {
    CollectLinkSettings(uiBusy);
    pendingLink.pendingAddress = linkSettings.address;
    ShowLinkSettings(uiBusy);
}

void TForm1::ComboBox14Change() {
    CollectLinkSettings(uiBusy);
    OpenPort();
    pendingLink.pendingBaudRate = linkSettings.baudRate;
    pendingLink.pendingParity = linkSettings.parity;
    ShowLinkSettings(uiBusy);
}

void TForm1::CheckBox7Click() {
    CollectLinkSettings(uiBusy);
    ShowLinkSettings(uiBusy);
}
