#pragma once

#include "device/page_writes.h"
#include "link/result_flags.h"
#include "ui/window/edit_marking.h"

#include <QObject>

#include <cstdint>

class PageHost;
struct Form1Controls;
struct WriteRecord;
class QChar;
class QEvent;

// Page 1, "Параметры датчика": the sensor configuration. Its controls are Form1Controls' (built by
// setupSensorPage in sensor_page_setup.cpp, with the lists, hints and wiring); it reaches the rest of
// the window through its host.
class SensorPage : public QObject, private EditMarking {
  public:
    SensorPage(PageHost& host, Form1Controls& ui);

    void FillListsAndHints(); // the lists' entries and the fields' hints, at start-up
    void Wire();              // every control of the page to its handler, the key filters

    olv::link::ResultFlags ReadConfiguration(uint8_t& exceptionCode);
    void ShowConfiguration();
    // True when a field does not convert (its messages were shown). With placeholderKeepsWord a field
    // that still shows "Данных нет" leaves its words in the image as they are (a profile save before
    // any read). For a write (placeholderKeepsWord false) the collected values are then judged as
    // RefuseConfigurationValues does.
    bool CollectConfiguration(bool placeholderKeepsWord = false);
    // True, after its two boxes with the field focused, when the image holds a value the page supplies
    // that the instrument must not be given (a range minimum not below its maximum, a trim multiplier
    // of 0, a float that is no number, a date that does not exist).
    bool RefuseConfigurationValues();
    // Writes the seven configuration blocks from the image (the core's WriteSensorConfiguration, with
    // the progress panel); the bits of `owned` are the instrument's own, taken from record.before. The
    // image then holds what the instrument returned in the read-back.
    olv::device::PageWriteResult WriteConfigurationBlocks(const olv::device::WordMasks& owned,
                                                          const WriteRecord& record);
    void SetConfigFieldsNormal(); // the 13 fields of the page white

    void Button2Click();
    void Button3Click();
    void Edit1Change();
    void Edit2Change();
    void Edit3Change();
    void Edit4Change();
    void Edit5Change();
    void Edit6Change();
    void Edit7Change();
    void Edit2KeyPress(QChar& key);
    void Edit3KeyPress(QChar& key);
    void Edit6KeyPress(QChar& key);
    void Edit7KeyPress(QChar& key);
    void ComboBox4Change();
    void ComboBox5Change();
    void ComboBox6Change();
    void ComboBox7Change();
    void ComboBox8Change();
    void ComboBox11Change();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override; // the float fields' key filters

  private:
    PageHost& host;
    Form1Controls& ui;
};
