#pragma once

#include "link/usb_adapter.h"
#include "settings/port_assignment.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QTableWidget;
class QTableWidgetItem;
class TForm1;

// The serial devices present on the machine, with their /dev/serial/by-id names (Qt SerialPort's
// enumeration; the port itself is opened by the program's own layer).
std::vector<olv::settings::SerialDevice> ListSerialDevices();

// Where the ports dialog finds out which devices are USB adapters, and the port the program holds with
// what became of its low latency.
struct UsbLookup {
    std::string sysfsRoot = "/sys";
    std::optional<olv::link::UsbPortState> held;
};

// "Назначение портов": COM1..COM8 with the device each maps to, which the user can change to one of the
// devices present (listed below with what they tell of themselves, and for a USB adapter its chip and
// latency) or type in, and whether the port starts without transmitting; and the devices present.
class PortsDialog : public QDialog {
    Q_OBJECT

  public:
    PortsDialog(const std::vector<olv::settings::SerialDevice>& devices,
                const olv::settings::PortPaths& current, QWidget* parent = nullptr,
                const UsbLookup& usb = {}, const olv::settings::ListenChoices& listen = {});

    // The paths chosen for COM1..COM8, as the file system spells them; a box left as it was gives the
    // path it showed byte for byte (also one whose bytes have no text of their own).
    olv::settings::PortPaths paths() const;
    // The box of COM<portNumber> (1..8): its list holds the current path, then every device present.
    QComboBox* pathBox(int portNumber) const;
    // Which ports start without transmitting, as ticked in the "При запуске" column.
    olv::settings::ListenChoices listenChoices() const;
    // The tick of COM<portNumber> (1..8) in that column.
    QTableWidgetItem* listenItem(int portNumber) const;

    QTableWidget* PortTable = nullptr;   // COM1..COM8 and their devices
    QTableWidget* DeviceTable = nullptr; // the devices present

  private:
    olv::settings::PortPaths current_;
};
