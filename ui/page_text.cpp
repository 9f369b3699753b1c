// Page 4, "Текст": the instrument's stored text and the three version values.
#include "ui/form1.h"

#include "device/device_text.h"

// Shows the text words of the register image in Edit8.
void TForm1::ShowDeviceText() {}

// Takes Edit8 into the text words of the register image.
void TForm1::CollectDeviceText() {}

// Reads the module's model, hardware and software words into the register image.
olv::link::ResultFlags TForm1::ReadVersions(uint8_t& exceptionCode) {
    return olv::device::ReadVersions(master, image, exceptionCode, [this](int ms) { Pause(ms); });
}

// Shows the three version values in Edit9..Edit11.
void TForm1::ShowVersions() {}

// "Прочитать": reads the text and the versions and shows them.
void TForm1::Button6Click() {}

// "Записать": validates and writes the versions and the text.
void TForm1::Button7Click() {}

// Change handlers of the page's fields: mark the field as edited.
void TForm1::Edit8Change() {}
void TForm1::Edit9Change() {}
void TForm1::Edit10Change() {}
void TForm1::Edit11Change() {}

// Reads the text block into the register image.
olv::link::ResultFlags TForm1::ReadDeviceText(uint8_t& exceptionCode) {
    return olv::device::ReadDeviceText(master, image, exceptionCode);
}

// Writes the text block from the register image.
olv::link::ResultFlags TForm1::WriteDeviceText(uint8_t& exceptionCode) {
    return olv::device::WriteDeviceText(master, image, exceptionCode);
}

// Writes the module's model, hardware and software words.
olv::link::ResultFlags TForm1::WriteVersions(uint8_t& exceptionCode) {
    return olv::device::WriteVersions(master, image, exceptionCode, [this](int ms) { Pause(ms); });
}

// Takes Edit9..Edit11 into the version values; true when a field does not convert.
bool TForm1::CollectVersions() {
    return true;
}
