// USB adapters as sysfs tells of them, the low-latency flag held and given back, and what the ports
// dialog says of them.
#include "link/usb_adapter.h"
#include "tests/support/fake_sysfs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include <linux/serial.h>
#include <sys/stat.h>

using namespace olv::link;
using olv::test::FakeSysfs;

namespace {

FakeSysfs::Usb Chip(std::string vendor, std::string product, std::optional<std::string> maker,
                    std::optional<std::string> name, std::string driver, std::optional<std::string> latency) {
    FakeSysfs::Usb usb;
    usb.vendorId = std::move(vendor);
    usb.productId = std::move(product);
    usb.manufacturer = std::move(maker);
    usb.product = std::move(name);
    usb.driver = std::move(driver);
    usb.latencyTimer = std::move(latency);
    return usb;
}

// The driver's flags as a test keeps them: each call can be refused with an errno.
struct Flags {
    int value = 0;
    int refuseGet = 0;
    int refuseSet = 0;
    int sets = 0;
    SerialFlagsIo io() {
        return {[this](int& flags) {
                    if (refuseGet) return refuseGet;
                    flags = value;
                    return 0;
                },
                [this](int flags) {
                    if (refuseSet) return refuseSet;
                    ++sets;
                    value = flags;
                    return 0;
                }};
    }
};

} // namespace

TEST(FindUsbAdapter, ChipsAsTheirDriversDescribeThem) {
    FakeSysfs sys;
    sys.addUsb("ttyUSB0", Chip("0403", "6001", "FTDI", "FT232R USB UART", "ftdi_sio", "16\n"), "1-2");
    sys.addUsb(
        "ttyUSB1",
        Chip("10c4", "ea60", "Silicon Labs", "CP2102 USB to UART Bridge Controller", "cp210x", std::nullopt),
        "1-3");
    sys.addUsb("ttyUSB2", Chip("1a86", "7523", std::nullopt, "USB Serial", "ch341-uart", std::nullopt),
               "1-4");
    FakeSysfs::Usb acm = Chip("2341", "0043", "Arduino", std::nullopt, "cdc_acm", std::nullopt);
    acm.portBelowInterface = false;
    sys.addUsb("ttyACM0", acm, "3-1");
    sys.addBuiltIn("ttyS0");

    const auto ftdi = FindUsbAdapter(sys.root(), "/dev/ttyUSB0");
    ASSERT_TRUE(ftdi);
    EXPECT_EQ(ftdi->vendorId, "0403");
    EXPECT_EQ(ftdi->productId, "6001");
    EXPECT_EQ(ftdi->driver, "ftdi_sio");
    EXPECT_EQ(ftdi->latencyTimerMs, 16);
    EXPECT_EQ(ChipText(*ftdi), "FTDI FT232R USB UART (0403:6001, ftdi_sio)");

    const auto cp = FindUsbAdapter(sys.root(), "/dev/ttyUSB1");
    ASSERT_TRUE(cp);
    EXPECT_EQ(cp->latencyTimerMs, -1);
    EXPECT_EQ(LatencyText(*cp, nullptr), "задаётся микросхемой, не настраивается");
    EXPECT_EQ(ChipText(*FindUsbAdapter(sys.root(), "/dev/ttyUSB2")), "USB Serial (1a86:7523, ch341-uart)");
    EXPECT_EQ(ChipText(*FindUsbAdapter(sys.root(), "/dev/ttyACM0")), "Arduino (2341:0043, cdc_acm)");

    // A built-in port, a pseudo-terminal, a device the tree does not know, a root that is not there.
    EXPECT_FALSE(FindUsbAdapter(sys.root(), "/dev/ttyS0"));
    EXPECT_FALSE(FindUsbAdapter(sys.root(), "/dev/pts/3"));
    EXPECT_FALSE(FindUsbAdapter(sys.root(), "/dev/ttyUSB9"));
    EXPECT_FALSE(FindUsbAdapter(sys.root(), ""));
    EXPECT_FALSE(FindUsbAdapter(sys.root(), "/dev/"));
    EXPECT_FALSE(FindUsbAdapter(sys.root() + "/none", "/dev/ttyUSB0"));
}

TEST(FindUsbAdapter, FollowsTheLinksThatLeadToTheTerminal) {
    FakeSysfs sys;
    sys.addUsb("ttyUSB0", FakeSysfs::Usb{});
    // A /dev/serial/by-id name that leads to the terminal (here nowhere on this machine), and a
    // simulator's link to it.
    namespace fs = std::filesystem;
    const fs::path byId = fs::path(sys.root()) / "dev/serial/by-id";
    fs::create_directories(byId);
    fs::create_symlink("../../ttyUSB0", byId / "usb-FTDI_FT232R_A1B2C3-if00-port0");
    fs::create_symlink(byId / "usb-FTDI_FT232R_A1B2C3-if00-port0", fs::path(sys.root()) / "line");
    EXPECT_EQ(TerminalName((byId / "usb-FTDI_FT232R_A1B2C3-if00-port0").string()), "ttyUSB0");
    const auto adapter = FindUsbAdapter(sys.root(), sys.root() + "/line");
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->vendorId, "0403");
    // A loop of links ends without hanging.
    fs::create_symlink("loop2", fs::path(sys.root()) / "loop1");
    fs::create_symlink("loop1", fs::path(sys.root()) / "loop2");
    EXPECT_FALSE(FindUsbAdapter(sys.root(), sys.root() + "/loop1"));
}

TEST(FindUsbAdapter, NeverLooksAboveTheRootForTheUsbDevice) {
    // A port whose device link leads out of the tree: what lies there is not this machine's sysfs.
    FakeSysfs outside;
    outside.addUsb("ttyUSB0", FakeSysfs::Usb{});
    FakeSysfs sys;
    std::filesystem::create_directories(std::filesystem::path(sys.root()) / "class/tty/ttyUSB0");
    std::filesystem::create_directory_symlink(outside.root() + "/devices/pci0000:00/0000:00:14.0/usb1/1-2",
                                              std::filesystem::path(sys.root()) / "class/tty/ttyUSB0/device");
    EXPECT_FALSE(FindUsbAdapter(sys.root(), "/dev/ttyUSB0"));
}

TEST(FindUsbAdapter, WhatTheDeviceSaysOfItselfIsShownSafely) {
    // Attributes come from the device: their text is cut, control characters and broken UTF-8 do not
    // pass, a latency that is no number of 0..255 ms is none, and a FIFO is never opened for reading.
    FakeSysfs sys;
    const std::string longName(500, 'x');
    sys.addUsb("ttyUSB0", Chip("04\x01"
                               "03",
                               "6001", "Ф\xD0\n\x1B[31mred", longName, "ftdi_sio", "abc"));
    const auto adapter = FindUsbAdapter(sys.root(), "/dev/ttyUSB0");
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->vendorId, "04?03");
    EXPECT_EQ(adapter->manufacturer, "Ф???[31mred");
    EXPECT_EQ(adapter->product, std::string(64, 'x'));
    EXPECT_EQ(adapter->latencyTimerMs, -1);

    const struct {
        const char* text;
        int ms;
    } latencies[] = {{"1\n", 1},
                     {"0", 0},
                     {"255", 255},
                     {"256", -1},
                     {"-5", -1},
                     {"", -1},
                     {"99999999999999999999", -1},
                     {"16 ms", -1},
                     {"  2", -1}};
    for (const auto& row : latencies) {
        sys.write("devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/latency_timer", row.text);
        EXPECT_EQ(FindUsbAdapter(sys.root(), "/dev/ttyUSB0")->latencyTimerMs, row.ms) << row.text;
    }
    const std::string timer =
        sys.root() + "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/latency_timer";
    std::filesystem::remove(timer);
    ASSERT_EQ(::mkfifo(timer.c_str(), 0600), 0);
    EXPECT_EQ(FindUsbAdapter(sys.root(), "/dev/ttyUSB0")->latencyTimerMs, -1);
}

TEST(FindUsbAdapter, RandomAttributeBytesGiveValidTextWithinItsLimit) {
    std::mt19937 random(7);
    FakeSysfs sys;
    sys.addUsb("ttyUSB0", FakeSysfs::Usb{});
    for (int round = 0; round < 200; ++round) {
        std::string bytes(random() % 200, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        sys.write("devices/pci0000:00/0000:00:14.0/usb1/1-2/product", bytes);
        const auto adapter = FindUsbAdapter(sys.root(), "/dev/ttyUSB0");
        ASSERT_TRUE(adapter);
        ASSERT_LE(adapter->product.size(), 64u);
        // Valid UTF-8 without control characters: a strict decoder takes it whole.
        for (size_t i = 0; i < adapter->product.size();) {
            const auto lead = static_cast<unsigned char>(adapter->product[i]);
            ASSERT_TRUE(lead >= 0x20 && lead != 0x7F && (lead < 0x80 || (lead >= 0xC2 && lead <= 0xF4)));
            const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            ASSERT_LE(i + length, adapter->product.size());
            for (size_t k = 1; k < length; ++k)
                ASSERT_EQ(static_cast<unsigned char>(adapter->product[i + k]) & 0xC0, 0x80);
            i += length;
        }
    }
}

TEST(LowLatency, SetWhileHeldAndGivenBackAsItWas) {
    Flags flags;
    flags.value = ASYNC_SPD_HI | ASYNC_SKIP_TEST;
    EXPECT_EQ(RequestLowLatency(flags.io()), LowLatency::Set);
    EXPECT_EQ(flags.value, ASYNC_SPD_HI | ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY);
    // Something else changed meanwhile stays; only the flag asked for goes.
    flags.value |= ASYNC_CALLOUT_NOHUP;
    ReleaseLowLatency(flags.io(), LowLatency::Set);
    EXPECT_EQ(flags.value, ASYNC_SPD_HI | ASYNC_SKIP_TEST | ASYNC_CALLOUT_NOHUP);
}

TEST(LowLatency, AFlagSetAlreadyOrRefusedIsLeftAsItIs) {
    Flags on;
    on.value = ASYNC_LOW_LATENCY;
    EXPECT_EQ(RequestLowLatency(on.io()), LowLatency::AlreadySet);
    ReleaseLowLatency(on.io(), LowLatency::AlreadySet);
    EXPECT_EQ(on.value, ASYNC_LOW_LATENCY);
    EXPECT_EQ(on.sets, 0);

    Flags cannotTell;
    cannotTell.refuseGet = ENOTTY;
    EXPECT_EQ(RequestLowLatency(cannotTell.io()), LowLatency::Refused);
    Flags cannotChange;
    cannotChange.refuseSet = EPERM;
    EXPECT_EQ(RequestLowLatency(cannotChange.io()), LowLatency::Refused);
    ReleaseLowLatency(cannotChange.io(), LowLatency::Refused);
    EXPECT_EQ(cannotChange.value, 0);

    // Pulled out while held: nothing left to give back, and nothing fails.
    Flags gone;
    gone.value = ASYNC_LOW_LATENCY;
    gone.refuseGet = EIO;
    ReleaseLowLatency(gone.io(), LowLatency::Set);
    EXPECT_EQ(gone.sets, 0);
}

TEST(LatencyText, SaysWhatBecameOfLowLatencyOnThePortHeld) {
    UsbAdapter ftdi;
    ftdi.latencyTimerMs = 1;
    UsbPortState held{"/dev/ttyUSB0", ftdi, LowLatency::Set};
    EXPECT_EQ(LatencyText(ftdi, &held), "1 мс, низкая задержка включена");
    held.lowLatency = LowLatency::AlreadySet;
    EXPECT_EQ(LatencyText(ftdi, &held), "1 мс, низкая задержка включена");
    ftdi.latencyTimerMs = 16;
    held.lowLatency = LowLatency::Refused;
    EXPECT_EQ(LatencyText(ftdi, &held), "16 мс: драйвер отказал в низкой задержке");
    EXPECT_EQ(LatencyText(ftdi, nullptr), "16 мс");
    UsbAdapter fixed;
    EXPECT_EQ(LatencyText(fixed, &held), "задаётся микросхемой, не настраивается");
    // A chip that names nothing is still told by its ids.
    fixed.vendorId = "067b";
    fixed.productId = "2303";
    EXPECT_EQ(ChipText(fixed), "USB-адаптер (067b:2303)");
}

TEST(DescribeAdapter, TheHeldPortIsToldUnderEveryNameThatLeadsToIt) {
    FakeSysfs sys;
    sys.addUsb("ttyUSB0", FakeSysfs::Usb{}, "1-2");
    sys.addUsb("ttyUSB1", FakeSysfs::Usb{}, "1-3");
    sys.addBuiltIn("ttyS0");
    namespace fs = std::filesystem;
    fs::create_symlink("ttyUSB0", fs::path(sys.root()) / "by-id-name");
    // Opened by its stable name; the driver refused, and the timer still shows its 16 ms.
    const UsbPortState held{sys.root() + "/by-id-name", {}, LowLatency::Refused};
    const AdapterTexts first = DescribeAdapter(sys.root(), "/dev/ttyUSB0", held);
    EXPECT_EQ(first.chip, "FTDI FT232R USB UART (0403:6001, ftdi_sio)");
    EXPECT_EQ(first.latency, "16 мс: драйвер отказал в низкой задержке");
    EXPECT_EQ(DescribeAdapter(sys.root(), "/dev/ttyUSB1", held).latency, "16 мс");
    EXPECT_EQ(DescribeAdapter(sys.root(), "/dev/ttyUSB1", std::nullopt).latency, "16 мс");
    const AdapterTexts builtIn = DescribeAdapter(sys.root(), "/dev/ttyS0", held);
    EXPECT_TRUE(builtIn.chip.empty() && builtIn.latency.empty());
}
