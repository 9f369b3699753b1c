#include "link/termios_port.h"

#include "link/descriptor_wait.h"
#include "link/timed_read.h"
#include "link/usb_adapter.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace olv::link {

namespace {

speed_t SpeedFor(int baudRate) {
    static constexpr struct {
        int rate;
        speed_t speed;
    } speeds[] = {{110, B110},     {300, B300},     {600, B600},      {1200, B1200},
                  {2400, B2400},   {4800, B4800},   {9600, B9600},    {19200, B19200},
                  {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (const auto& row : speeds)
        if (row.rate == baudRate) return row.speed;
    return B19200;
}

tcflag_t SizeFor(int dataBits) {
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

std::string SystemReason(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not live in buffer.
    return strerror_r(error, buffer, sizeof buffer);
}

} // namespace

void ApplyLineSettings(struct termios& tio, const LineSettings& line) {
    // Raw binary line: no break/CR/LF translation, no XON/XOFF, no 8th-bit stripping. Parity errors
    // are checked by the driver (INPCK) and counted, the damaged byte still delivered (as 0, since
    // neither IGNPAR nor PARMRK is set), so the reply's length stays what came over the line.
    tio.c_iflag &=
        ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    tio.c_iflag |= line.parity == 1 || line.parity == 2 ? INPCK : 0;
    tio.c_oflag &= ~OPOST;
    // No echo, no line editing, no signal characters, no implementation-defined input processing.
    tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    // CLOCAL: ignore the modem-status lines (an RS-485 adapter has no carrier); CREAD: enable the
    // receiver; no CRTSCTS: the adapter turns the bus around itself; one stop bit always.
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | SizeFor(line.dataBits);
    if (line.parity == 1) tio.c_cflag |= PARENB | PARODD;
    if (line.parity == 2) tio.c_cflag |= PARENB;
    // read() returns at once with what is there; the waiting is done by poll() under the time-outs.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, SpeedFor(line.baudRate));
    cfsetospeed(&tio, SpeedFor(line.baudRate));
}

TermiosPort::~TermiosPort() {
    close();
}

bool TermiosPort::open(const std::string& devicePath, const LineSettings& line, std::string& error) {
    close();

    // O_NOCTTY: the port must never become the controlling terminal of this process, or a hang-up or
    // a stray break on the line could send it SIGHUP/SIGINT. O_NONBLOCK: open() must not wait for the
    // carrier-detect line, which an RS-485 adapter never raises; blocking I/O is restored below.
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = SystemReason(errno);
        return false;
    }

    struct termios tio;
    if (tcgetattr(fd, &tio) != 0) {
        // Not a terminal at all (a plain file, /dev/null): there is no line to talk over.
        const int failure = errno;
        error = SystemReason(failure);
        ::close(fd);
        errno = failure;
        return false;
    }

    // Exclusive use, as the port is not shared. The advisory lock is the one other serial programs on
    // Linux take (and check); TIOCEXCL makes a second open() by anyone but root fail with EBUSY, also
    // for programs that do not lock. A device another program has locked counts as busy.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int failure = errno == EWOULDBLOCK ? EBUSY : errno;
        error = SystemReason(failure);
        ::close(fd);
        errno = failure;
        return false;
    }
    ioctl(fd, TIOCEXCL);

    // Back to blocking I/O; reads still never block forever since each waits in poll() first.
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    ApplyLineSettings(tio, line);
    // Not examined: a pseudo-terminal may refuse parity, and a real port reports nothing useful here.
    tcsetattr(fd, TCSANOW, &tio);

    // open() raises DTR and RTS on Linux; the port is used with both control lines off, as it is
    // after every reopen (raiseLines() changes that once at start-up). Drivers without modem control
    // refuse the call, which is harmless.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &lines);

    fd_ = fd;
    hungUp_ = false;
    // A USB adapter's chip holds what it receives until its latency timer runs out; the low-latency flag
    // makes the FTDI driver set that timer to 1 ms, which it then shows.
    usb_.reset();
    if (const auto found = FindUsbAdapter(sysfsRoot_, devicePath)) {
        const LowLatency lowLatency = RequestLowLatency(SerialFlagsOf(fd_));
        usb_ = UsbPortState{devicePath, FindUsbAdapter(sysfsRoot_, devicePath).value_or(*found), lowLatency};
    }
    timeouts_ = ReadTimeouts{};
    lastCounters_ = LineCounters{};
    readCounters(lastCounters_); // the line errors count from here
    return true;
}

void TermiosPort::close() {
    if (fd_ < 0) return;
    if (usb_) ReleaseLowLatency(SerialFlagsOf(fd_), usb_->lowLatency);
    usb_.reset();
    ::close(fd_);
    fd_ = -1;
}

void TermiosPort::purge() {
    if (fd_ >= 0) tcflush(fd_, TCIOFLUSH);
}

void TermiosPort::setReadTimeouts(const ReadTimeouts& timeouts) {
    timeouts_ = timeouts;
}

bool TermiosPort::readCounters(LineCounters& counters) const {
    struct serial_icounter_struct icount;
    std::memset(&icount, 0, sizeof icount);
    if (fd_ < 0 || ioctl(fd_, TIOCGICOUNT, &icount) != 0) return false;
    counters = LineCounters{icount.parity, icount.frame, icount.overrun, icount.buf_overrun, icount.brk};
    return true;
}

uint32_t TermiosPort::takeLineErrors() {
    LineCounters now;
    // Drivers without error counters (pseudo-terminals, some USB adapters) report no line errors.
    if (!readCounters(now)) return 0;
    uint32_t errors = 0;
    if (now.parity != lastCounters_.parity) errors |= LineParity;
    if (now.frame != lastCounters_.frame) errors |= LineFraming;
    if (now.overrun != lastCounters_.overrun || now.bufOverrun != lastCounters_.bufOverrun)
        errors |= LineOverrun;
    if (now.brk != lastCounters_.brk) errors |= LineBreak;
    lastCounters_ = now;
    return errors;
}

size_t TermiosPort::write(const uint8_t* bytes, size_t count) {
    if (fd_ < 0) return 0;
    size_t written = 0;
    while (written < count) {
        const ssize_t n = ::write(fd_, bytes + written, count - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            // Should not happen on a blocking descriptor; wait for room instead of spinning.
            const int ready =
                WaitForDescriptor(fd_, POLLOUT, WaitClock::now() + std::chrono::seconds(1));
            if (ready <= 0 || (ready & (POLLERR | POLLHUP | POLLNVAL))) break;
        } else {
            break; // hang-up (EIO) or another failure: the rest cannot go out
        }
    }
    // Return only once the bytes have left the transmitter, as the reply's time-outs start now.
    if (written > 0) tcdrain(fd_);
    return written;
}

size_t TermiosPort::read(uint8_t* bytes, size_t count) {
    return timedRead(bytes, count, {});
}

size_t TermiosPort::readFrame(uint8_t* bytes, size_t count, const FrameCutter& cut) {
    return timedRead(bytes, count,
                     [bytes, &cut](size_t received) { return AwaitsRestOfReply(cut, bytes, received); });
}

size_t TermiosPort::timedRead(uint8_t* bytes, size_t count, const HoldsSilence& holds) {
    if (fd_ < 0 || count == 0) return 0;
    return ReadUnderTimeouts(
               fd_, timeouts_, count,
               [this, bytes, count](short revents, size_t received) -> ssize_t {
                   // POLLHUP, POLLERR or POLLNVAL without data: hung up, nothing more comes.
                   if (!(revents & POLLIN)) return -1;
                   const ssize_t n = ::read(fd_, bytes + received, count - received);
                   if (n > 0) return n;
                   if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
                   return -1; // 0 after POLLIN, or EIO: the line has hung up
               },
               holds)
        .received;
}

void TermiosPort::raiseLines() {
    if (fd_ < 0) return;
    int rts = TIOCM_RTS;
    ioctl(fd_, TIOCMBIC, &rts);
    int dtr = TIOCM_DTR;
    ioctl(fd_, TIOCMBIS, &dtr);
}

size_t TermiosPort::readAvailable(uint8_t* bytes, size_t count) {
    if (fd_ < 0 || hungUp_ || count == 0) return 0;
    struct pollfd p = {fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return 0;
    // POLLHUP or POLLERR without data, a read of 0 after POLLIN, or EIO: the adapter or peer has gone.
    if (!(p.revents & POLLIN)) {
        hungUp_ = true;
        return 0;
    }
    const ssize_t n = ::read(fd_, bytes, count);
    if (n > 0) return static_cast<size_t>(n);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
    hungUp_ = true;
    return 0;
}

size_t TermiosPort::bytesAvailable() const {
    int waiting = 0;
    if (fd_ < 0 || ioctl(fd_, FIONREAD, &waiting) != 0 || waiting < 0) return 0;
    return static_cast<size_t>(waiting);
}

} // namespace olv::link
