#include "link/port_link.h"

#include "link/host_lookup.h"
#include "link/port_master.h"
#include "messages/message_boxes.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace olv::link {

LineSettings LineSettingsFor(int baudRate, int dataBits, int parity) {
    LineSettings line;
    static constexpr int rates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    line.baudRate =
        std::find(std::begin(rates), std::end(rates), baudRate) != std::end(rates) ? baudRate : 19200;
    line.dataBits = dataBits >= 5 && dataBits <= 8 ? dataBits : 8;
    line.parity = parity == 1 || parity == 2 ? parity : 0;
    return line;
}

QString OpenFailureReason(int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("нет такого устройства");
    case EACCES:
    case EPERM:
        return QStringLiteral("доступ запрещён (пользователь должен входить в группу dialout)");
    case EBUSY:
        return QStringLiteral("порт занят другой программой");
    case ENOTTY:
        return QStringLiteral("это не последовательный порт");
    case EISDIR:
        return QStringLiteral("это папка, а не последовательный порт");
    case ECONNREFUSED:
        return QStringLiteral("соединение отвергнуто");
    case ETIMEDOUT:
        return QStringLiteral("истекло время ожидания соединения");
    case EHOSTUNREACH:
    case ENETUNREACH:
        return QStringLiteral("узел сети недоступен");
    case HostNotFound:
        return QStringLiteral("имя узла не найдено");
    case NameServerFailed:
        return QStringLiteral("служба имён не ответила");
    case HostLookupTimedOut:
        return QStringLiteral("истекло время поиска имени узла");
    case HostLookupFailed:
        return QStringLiteral("не удалось найти адрес узла");
    default:
        return {};
    }
}

PortLink::PortLink(std::unique_ptr<Port> port, messages::MessageBoxes& boxes,
                   std::function<std::string(int portNumber)> resolvePath)
    : port_(std::move(port)), boxes_(boxes), resolvePath_(std::move(resolvePath)) {}

bool PortLink::openPort(int portNumber, int baudRate, int dataBits, int parity, int /*stopBits*/,
                        int32_t timeoutMs) {
    LastOpen request;
    request.portNumber = portNumber >= 1 && portNumber <= 8 ? portNumber : 1;
    request.line = LineSettingsFor(baudRate, dataBits, parity);
    // A line reached over the network waits for its connection as long as for a reply.
    request.line.connectTimeoutMs = timeoutMs > 0 ? timeoutMs : 0;
    request.timeoutMs = timeoutMs;
    request.baudRate = baudRate;
    last_ = request;
    chosen_ = true;
    return open(request, false);
}

std::string PortLink::pathOf(int portNumber) const {
    const int number = portNumber >= 1 && portNumber <= 8 ? portNumber : 1;
    return resolvePath_ ? resolvePath_(number) : "/dev/ttyS" + std::to_string(number - 1);
}

bool PortLink::open(const LastOpen& request, bool quiet) {
    // Close first, so that reopening the same port works.
    port_->close();

    const std::string path = pathOf(request.portNumber);
    std::string reason;
    errno = 0;
    const bool opened = port_->open(path, request.line, reason);
    const int failure = errno;
    // The next quiet attempt is spaced from the end of this one: an open that took the whole
    // connect time-out is not followed at once by the next, and the window is free in between.
    lastAttempt_ = clock_();
    if (!opened) {
        port_->close();
        if (quiet) return false;
        messages::Box box;
        box.text = QStringLiteral("Невозможно открыть последовательный порт");
        box.caption = QStringLiteral("Ошибка");
        box.icon = messages::BoxIcon::Error;
        box.buttons = messages::BoxButtons::Ok;
        // The reason in Russian where it is a common one, with the system's own words after it for
        // whoever looks further.
        const QString system = QString::fromLocal8Bit(QByteArray::fromStdString(reason));
        const QString russian = OpenFailureReason(failure);
        box.detail = QFile::decodeName(QByteArray::fromStdString(path)) + QStringLiteral(": ") +
                     (russian.isEmpty() ? system : QStringLiteral("%1 (%2)").arg(russian, system));
        boxes_.show(box);
        return false;
    }
    // Every transaction sets its own time-outs before it reads; these only hold until then.
    port_->setReadTimeouts(ReadTimeoutsFor(request.baudRate, request.timeoutMs));
    port_->purge();
    return true;
}

bool PortLink::lost() const {
    return chosen_ && (!port_->isOpen() || port_->hungUp());
}

bool PortLink::reconnectIfLost() {
    if (!lost()) return false;
    // A hung-up port is closed at once: nothing can pass through it, and a closed port costs nothing.
    if (port_->isOpen()) port_->close();
    if (clock_() - lastAttempt_ < ReconnectSpacing) return false;
    return open(last_, true);
}

void PortLink::raiseLines() {
    port_->raiseLines();
}

void PortLink::closePort() {
    port_->close();
    chosen_ = false;
}

} // namespace olv::link
