#pragma once

#include "device/register_image.h"
#include "link/result_flags.h"
#include "ui/window/edit_marking.h"

#include <QObject>

#include <cstdint>

class PageHost;
struct Form1Controls;

// Page 4, "Текст": the instrument's stored text and the three version values. Its controls are
// Form1Controls' (built by setupTextPage in page_text.cpp); it reaches the rest of the window through
// its host.
class TextPage : public QObject, private EditMarking {
  public:
    TextPage(PageHost& host, Form1Controls& ui);

    void FillHints(); // the fields' and buttons' hints, at start-up
    void Wire();      // every control of the page to its handler

    void ShowDeviceText();
    void CollectDeviceText();
    olv::link::ResultFlags ReadDeviceText(uint8_t& exceptionCode);
    olv::link::ResultFlags ReadVersions(uint8_t& exceptionCode);
    void ShowVersions();
    // Takes Edit9..Edit11 into modelValue/hardwareValue/softwareValue and their low 16 bits into the
    // image; true when a field does not convert (its messages were shown).
    bool CollectVersions(bool placeholderKeepsWord = false);
    // The image with what the page shows of the text and the versions, as far as it converts.
    olv::device::RegisterImage TextAndVersionsShown() const;
    void Button6Click();
    void Button7Click();
    void Edit8Change();
    void Edit9Change();
    void Edit10Change();
    void Edit11Change();

    // The versions as typed or read, 32 bits each (the settings profile keeps them so).
    int32_t modelValue = 0, hardwareValue = 0, softwareValue = 0;

  private:
    PageHost& host;
    Form1Controls& ui;
};
