#pragma once

#include "settings/port_assignment.h"

#include <QObject>

#include <functional>
#include <vector>

class MenuHost;
class PageHost;
class PortsDialog;
struct Form1Controls;

// "Файл" → "Назначение портов…": which device each COM number opens, and the hints of ComboBox1.
class PortsMenu : public QObject {
  public:
    PortsMenu(PageHost& host, MenuHost& window, Form1Controls& ui);

    void Wire(); // N4 to its handler

    void N4Click();
    void ShowPortPaths();                    // each entry of ComboBox1 shows its device path as its hint
    olv::settings::PortPaths PortPathsNow(); // the paths COM1..COM8 lead to now
    std::vector<olv::settings::SerialDevice> SerialDevicesPresent() const;
    // The devices the port dialog offers; the machine's own unless set (tests give theirs).
    std::function<std::vector<olv::settings::SerialDevice>()> enumerateSerialDevices;
    // Runs the port dialog, true for OK; tests set it to answer without showing it.
    std::function<bool(PortsDialog& dialog)> runPortsDialog;

  private:
    PageHost& host;
    MenuHost& window;
    Form1Controls& ui;
};
