#pragma once

#include <optional>
#include <string>

namespace olv::test {

// A sysfs tree of files in a temporary folder, laid out as the kernel lays out its terminals:
// class/tty/NAME/device leads into devices/..., where a USB adapter's port sits below its interface
// and its USB device (idVendor, idProduct, manufacturer, product). Removed with the object.
class FakeSysfs {
  public:
    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    const std::string& root() const { return root_; }

    struct Usb {
        std::string vendorId = "0403";
        std::string productId = "6001";
        std::optional<std::string> manufacturer = "FTDI";
        std::optional<std::string> product = "FT232R USB UART";
        std::string driver = "ftdi_sio";
        std::optional<std::string> latencyTimer = "16\n"; // the attribute's text; none for a fixed chip
        bool portBelowInterface = true; // a usb-serial port (ttyUSB); false: the interface itself (ttyACM)
    };
    // The terminal NAME as the port of a USB adapter on bus socket `socket` ("1-2").
    void addUsb(const std::string& name, const Usb& usb, const std::string& socket = "1-2");
    // The terminal NAME as a built-in port, below a platform device without USB ids.
    void addBuiltIn(const std::string& name);
    // Writes (or replaces) a file of the tree, relative to the root.
    void write(const std::string& relative, const std::string& text);

  private:
    std::string root_;
};

} // namespace olv::test
