#pragma once

#include <QObject>

#include <functional>

class CalibrationDialog;
class MenuHost;
class PageHost;
struct Form1Controls;

// "Файл" → "Калибровка…": the meter on the line is read, then the calibration dialog runs as one
// operation, fed one reading per tick of the poll timer while it is open.
class CalibrationMenu : public QObject {
  public:
    CalibrationMenu(PageHost& host, MenuHost& window, Form1Controls& ui);

    void Wire(); // N13 to its handler

    void N13Click(); // "Калибровка…"
    // One tick of the poll timer for the calibration dialog while it is open: one reading.
    void PollCalibration();
    CalibrationDialog* calibrationDialog = nullptr; // while N13Click runs it
    // Tests drive the dialog themselves; otherwise it is shown modal.
    std::function<void(CalibrationDialog& dialog)> runCalibrationDialog;

  private:
    PageHost& host;
    MenuHost& window;
    Form1Controls& ui;
};
