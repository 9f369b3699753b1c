#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace olv::link {

// A USB serial adapter as the kernel describes it under sysfs.
struct UsbAdapter {
    std::string vendorId;     // idVendor of the USB device, "0403"
    std::string productId;    // idProduct, "6001"
    std::string manufacturer; // the maker the chip names, "FTDI"; empty when it names none
    std::string product;      // what the chip says it is, "FT232R USB UART"; may be empty
    std::string driver;       // the port's kernel driver: "ftdi_sio", "cp210x", "ch341-uart", "cdc_acm"
    int latencyTimerMs = -1;  // the chip's latency timer as its driver shows it; -1: the driver has none
};

// The name of the terminal a device path leads to, following symbolic links (a /dev/serial/by-id
// name, a simulator's link) even where the last one leads nowhere: "ttyUSB0" for /dev/ttyUSB0.
std::string TerminalName(const std::string& devicePath);

// The USB adapter behind a device path, told by the tree under sysfsRoot ("/sys" on a running system,
// a tree of files in the tests): class/tty/NAME/device leads into the device tree, where the nearest
// folder above it with idVendor and idProduct is the USB device; the port's latency_timer (the FTDI
// driver has one) gives the chip's packet delay. Nothing for a device that is no USB adapter (a built-in
// port, a pseudo-terminal) or that the tree does not know.
std::optional<UsbAdapter> FindUsbAdapter(const std::string& sysfsRoot, const std::string& devicePath);

// What became of the request for the driver's low-latency flag on an open USB port.
enum class LowLatency : uint8_t {
    Set,        // it was off: on while the port is held, off again when it is let go
    AlreadySet, // it was on already, and stays as it was
    Refused,    // the driver would not tell it or not change it
};

// The USB port the program holds.
struct UsbPortState {
    std::string devicePath; // as it was opened
    UsbAdapter adapter;     // as found once low latency was asked for
    LowLatency lowLatency = LowLatency::Refused;
};

// The driver's serial flags of an open port (TIOCGSERIAL and TIOCSSERIAL): each call gives 0, or the
// errno of the refusal.
struct SerialFlagsIo {
    std::function<int(int& flags)> get;
    std::function<int(int flags)> set;
};
SerialFlagsIo SerialFlagsOf(int fd);

// Asks for low latency: sets ASYNC_LOW_LATENCY unless it is set already. The FTDI driver turns it into a
// latency timer of 1 ms; others may ignore it.
LowLatency RequestLowLatency(const SerialFlagsIo& io);
// Gives back what RequestLowLatency changed: after Set the flag is cleared again (and nothing else of
// the flags is touched); otherwise nothing is done.
void ReleaseLowLatency(const SerialFlagsIo& io, LowLatency requested);

// What the ports dialog shows of an adapter: its chip ("FTDI FT232R USB UART (0403:6001, ftdi_sio)"),
// and its latency, with what became of low latency when held is the port the program holds.
std::string ChipText(const UsbAdapter& adapter);
std::string LatencyText(const UsbAdapter& adapter, const UsbPortState* held);

// The two texts of a device in the ports dialog, both empty for a device that is no USB adapter. held,
// when given, is the port the program holds: what became of its low latency is told for the device it
// leads to, whichever name of it was opened.
struct AdapterTexts {
    std::string chip;
    std::string latency;
};
AdapterTexts DescribeAdapter(const std::string& sysfsRoot, const std::string& devicePath,
                             const std::optional<UsbPortState>& held);

} // namespace olv::link
