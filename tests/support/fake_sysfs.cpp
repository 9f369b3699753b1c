#include "tests/support/fake_sysfs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace olv::test {

namespace fs = std::filesystem;

FakeSysfs::FakeSysfs() {
    std::string pattern = (fs::temp_directory_path() / "olv-sysfs-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) ADD_FAILURE() << "no temporary folder for a sysfs tree";
    root_ = pattern;
    fs::create_directories(fs::path(root_) / "class" / "tty");
}

FakeSysfs::~FakeSysfs() {
    std::error_code error;
    fs::remove_all(root_, error);
}

void FakeSysfs::write(const std::string& relative, const std::string& text) {
    const fs::path path = fs::path(root_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void FakeSysfs::addUsb(const std::string& name, const Usb& usb, const std::string& socket) {
    const std::string device = "devices/pci0000:00/0000:00:14.0/usb1/" + socket;
    const std::string interface = device + "/" + socket + ":1.0";
    const std::string port = usb.portBelowInterface ? interface + "/" + name : interface;
    write(device + "/idVendor", usb.vendorId + "\n");
    write(device + "/idProduct", usb.productId + "\n");
    if (usb.manufacturer) write(device + "/manufacturer", *usb.manufacturer + "\n");
    if (usb.product) write(device + "/product", *usb.product + "\n");
    if (usb.latencyTimer) write(port + "/latency_timer", *usb.latencyTimer);
    fs::create_directories(fs::path(root_) / port);
    fs::create_directories(fs::path(root_) / "bus/usb-serial/drivers" / usb.driver);
    fs::create_directory_symlink(fs::path(root_) / "bus/usb-serial/drivers" / usb.driver,
                                 fs::path(root_) / port / "driver");
    fs::create_directories(fs::path(root_) / "class/tty" / name);
    fs::create_directory_symlink("../../../" + port, fs::path(root_) / "class/tty" / name / "device");
}

void FakeSysfs::addBuiltIn(const std::string& name) {
    const std::string port = "devices/platform/serial8250/" + name;
    write(port + "/uevent", "DEVNAME=" + name + "\n");
    fs::create_directories(fs::path(root_) / "class/tty" / name);
    fs::create_directory_symlink("../../../" + port, fs::path(root_) / "class/tty" / name / "device");
}

} // namespace olv::test
