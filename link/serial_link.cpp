#include "link/serial_link.h"

#include "link/message_boxes.h"
#include "link/rtu_master.h"

#include <QFile>

#include <algorithm>
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

SerialLink::SerialLink(std::unique_ptr<SerialPort> port, MessageBoxes& boxes,
                       std::function<std::string(int portNumber)> resolvePath)
    : port_(std::move(port)), boxes_(boxes), resolvePath_(std::move(resolvePath)) {}

bool SerialLink::openPort(int portNumber, int baudRate, int dataBits, int parity, int /*stopBits*/,
                          int32_t timeoutMs) {
    // Close first, so that reopening the same port works.
    port_->close();

    const int number = portNumber >= 1 && portNumber <= 8 ? portNumber : 1;
    const std::string path = resolvePath_ ? resolvePath_(number) : "/dev/ttyS" + std::to_string(number - 1);
    std::string reason;
    if (!port_->open(path, LineSettingsFor(baudRate, dataBits, parity), reason)) {
        port_->close();
        Box box;
        box.text = QStringLiteral("Невозможно открыть последовательный порт");
        box.caption = QStringLiteral("Ошибка");
        box.icon = BoxIcon::Error;
        box.buttons = BoxButtons::Ok;
        box.detail = QFile::decodeName(QByteArray::fromStdString(path)) + QStringLiteral(": ") +
                     QString::fromLocal8Bit(QByteArray::fromStdString(reason));
        boxes_.show(box);
        return false;
    }
    // Every transaction sets its own time-outs before it reads; these only hold until then.
    port_->setReadTimeouts(ReadTimeoutsFor(baudRate, timeoutMs));
    port_->purge();
    return true;
}

void SerialLink::raiseLines() {
    port_->raiseLines();
}

void SerialLink::closePort() {
    port_->close();
}

} // namespace olv::link
