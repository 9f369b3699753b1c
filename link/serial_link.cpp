#include "link/serial_link.h"

#include "link/message_boxes.h"
#include "link/rtu_master.h"

#include <QFile>

namespace olv::link {

LineSettings LineSettingsFor(int baudRate, int dataBits, int parity) {
    LineSettings line;
    switch (baudRate) {
    case 110: case 300: case 600: case 1200: case 2400: case 4800:
    case 9600: case 19200: case 38400: case 57600: case 115200:
        line.baudRate = baudRate;
        break;
    default:
        line.baudRate = 19200;
        break;
    }
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

void SerialLink::raiseLines() { port_->raiseLines(); }

void SerialLink::closePort() { port_->close(); }

} // namespace olv::link
