#include "link/usb_adapter.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olv::link {

namespace fs = std::filesystem;

namespace {

// The text of a sysfs attribute without its line end; nothing when it cannot be read. Only a regular
// file is read (an attribute always is), and at most a page of it.
std::optional<std::string> ReadAttribute(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<std::string> text;
    char buffer[4096];
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n >= 0) text = std::string(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    while (text && !text->empty() && (text->back() == '\n' || text->back() == ' ' || text->back() == '\t'))
        text->pop_back();
    return text;
}

// What a device tells of itself, fit to be shown: valid UTF-8 without control characters (each byte
// that is neither becomes '?'), at most `most` bytes, cut between two characters.
std::string PrintableText(const std::string& raw, size_t most) {
    std::string out;
    for (size_t i = 0; i < raw.size();) {
        const auto lead = static_cast<unsigned char>(raw[i]);
        size_t length = lead < 0x80           ? 1
                        : (lead >> 5) == 0x6  ? 2
                        : (lead >> 4) == 0xE  ? 3
                        : (lead >> 3) == 0x1E ? 4
                                              : 0;
        bool valid = length > 0 && i + length <= raw.size();
        for (size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(raw[i + k]) & 0xC0) == 0x80;
        // Overlong forms, surrogates and code points past U+10FFFF are not characters either.
        if (valid && length == 2) valid = lead >= 0xC2;
        if (valid && length == 3) {
            const auto next = static_cast<unsigned char>(raw[i + 1]);
            valid = !(lead == 0xE0 && next < 0xA0) && !(lead == 0xED && next >= 0xA0);
        }
        if (valid && length == 4) {
            const auto next = static_cast<unsigned char>(raw[i + 1]);
            valid = lead <= 0xF4 && !(lead == 0xF0 && next < 0x90) && !(lead == 0xF4 && next >= 0x90);
        }
        if (valid && length == 1) valid = lead >= 0x20 && lead != 0x7F;
        const std::string piece = valid ? raw.substr(i, length) : std::string("?");
        if (out.size() + piece.size() > most) break;
        out += piece;
        i += valid ? length : 1;
    }
    return out;
}

// The latency timer as the FTDI driver shows it: a number of ms, 0..255; -1 for anything else.
int ParseLatency(const std::optional<std::string>& text) {
    if (!text || text->empty() || text->size() > 3) return -1;
    int value = 0;
    for (char c : *text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value <= 255 ? value : -1;
}

// dir lies below top (both canonical).
bool Below(const fs::path& dir, const fs::path& top) {
    auto d = dir.begin();
    for (auto t = top.begin(); t != top.end(); ++t, ++d)
        if (d == dir.end() || *d != *t) return false;
    return d != dir.end();
}

} // namespace

std::string TerminalName(const std::string& devicePath) {
    fs::path path(devicePath);
    for (int hops = 0; hops < 40; ++hops) { // as many links as the kernel follows
        std::error_code error;
        if (!fs::is_symlink(path, error)) break;
        const fs::path target = fs::read_symlink(path, error);
        if (error) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path.lexically_normal().filename().string();
}

std::optional<UsbAdapter> FindUsbAdapter(const std::string& sysfsRoot, const std::string& devicePath) {
    const std::string name = TerminalName(devicePath);
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    std::error_code error;
    const fs::path top = fs::canonical(sysfsRoot, error);
    if (error) return std::nullopt;
    const fs::path port = fs::canonical(top / "class" / "tty" / name / "device", error);
    if (error || !Below(port, top)) return std::nullopt;

    // The USB device is the nearest folder above the port with a vendor and a product id; a port
    // that has none below the root is no USB adapter.
    for (fs::path dir = port; Below(dir, top); dir = dir.parent_path()) {
        const auto vendor = ReadAttribute(dir / "idVendor");
        const auto product = ReadAttribute(dir / "idProduct");
        if (!vendor || !product) continue;
        UsbAdapter adapter;
        adapter.vendorId = PrintableText(*vendor, 8);
        adapter.productId = PrintableText(*product, 8);
        adapter.manufacturer = PrintableText(ReadAttribute(dir / "manufacturer").value_or(""), 64);
        adapter.product = PrintableText(ReadAttribute(dir / "product").value_or(""), 64);
        const fs::path driver = fs::read_symlink(port / "driver", error);
        if (!error) adapter.driver = PrintableText(driver.filename().string(), 32);
        adapter.latencyTimerMs = ParseLatency(ReadAttribute(port / "latency_timer"));
        return adapter;
    }
    return std::nullopt;
}

SerialFlagsIo SerialFlagsOf(int fd) {
    SerialFlagsIo io;
    io.get = [fd](int& flags) {
        struct serial_struct serial {};
        if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return errno;
        flags = serial.flags;
        return 0;
    };
    // The flags go back with everything else as the driver gave it.
    io.set = [fd](int flags) {
        struct serial_struct serial {};
        if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return errno;
        serial.flags = flags;
        return ioctl(fd, TIOCSSERIAL, &serial) == 0 ? 0 : errno;
    };
    return io;
}

LowLatency RequestLowLatency(const SerialFlagsIo& io) {
    int flags = 0;
    if (io.get(flags) != 0) return LowLatency::Refused;
    if (flags & ASYNC_LOW_LATENCY) return LowLatency::AlreadySet;
    return io.set(flags | ASYNC_LOW_LATENCY) == 0 ? LowLatency::Set : LowLatency::Refused;
}

void ReleaseLowLatency(const SerialFlagsIo& io, LowLatency requested) {
    if (requested != LowLatency::Set) return;
    int flags = 0;
    // Failures are not reported: an adapter pulled out has no flags left to give back.
    if (io.get(flags) == 0 && (flags & ASYNC_LOW_LATENCY)) io.set(flags & ~ASYNC_LOW_LATENCY);
}

std::string ChipText(const UsbAdapter& adapter) {
    std::string name = adapter.manufacturer;
    if (!adapter.product.empty()) name += (name.empty() ? "" : " ") + adapter.product;
    std::string ids = adapter.vendorId + ":" + adapter.productId;
    if (!adapter.driver.empty()) ids += ", " + adapter.driver;
    return (name.empty() ? std::string("USB-адаптер") : name) + " (" + ids + ")";
}

std::string LatencyText(const UsbAdapter& adapter, const UsbPortState* held) {
    if (adapter.latencyTimerMs < 0) return "задаётся микросхемой, не настраивается";
    const std::string ms = std::to_string(adapter.latencyTimerMs) + " мс";
    if (!held) return ms;
    if (held->lowLatency == LowLatency::Refused) return ms + ": драйвер отказал в низкой задержке";
    return ms + ", низкая задержка включена";
}

AdapterTexts DescribeAdapter(const std::string& sysfsRoot, const std::string& devicePath,
                             const std::optional<UsbPortState>& held) {
    const auto adapter = FindUsbAdapter(sysfsRoot, devicePath);
    if (!adapter) return {};
    const bool isHeld = held && TerminalName(held->devicePath) == TerminalName(devicePath);
    return {ChipText(*adapter), LatencyText(*adapter, isHeld ? &*held : nullptr)};
}

} // namespace olv::link
