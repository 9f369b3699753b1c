#include "cli/line.h"

#include "cli/exit_codes.h"
#include "link/line_port.h"
#include "link/tcp_port.h"
#include "settings/ini_file.h"
#include "settings/station_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <thread>

namespace olv::cli {

QString DataFolderPath(const QString& value) {
    if (value == QLatin1String("xdg"))
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               QStringLiteral("/modbus-olv");
    return value;
}

ResolvedLine ResolveLine(const LineOptions& options) {
    ResolvedLine resolved;
    if (!options.dataDir.isEmpty()) {
        const QString folder = QDir(DataFolderPath(options.dataDir)).absolutePath();
        errno = 0;
        if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
            const int error = errno ? errno : ENOTDIR;
            throw Failure(FileFault, QStringLiteral("папка %1 недоступна: %2")
                                         .arg(folder, QString::fromLocal8Bit(std::strerror(error))));
        }
        resolved.dataDir = folder;
    }
    const QString stationFile = (resolved.dataDir.isEmpty() ? QDir::currentPath() : resolved.dataDir) +
                                QStringLiteral("/dev.dat");
    // Read only: a job never changes the station's settings.
    const settings::IniSnapshot station = settings::IniFile(stationFile).snapshot();
    link::LinkSettings& s = resolved.settings;
    s = settings::StationLinkIn(station);
    s.traceEnabled = 0;

    QString port = options.port;
    if (port.isEmpty()) port = QStringLiteral("COM%1").arg(s.portNumber);
    static const QRegularExpression com(QStringLiteral("^COM(\\d+)$"), QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch match = com.match(port); match.hasMatch()) {
        const int number = match.captured(1).toInt();
        if (number < 1 || number > 8)
            throw Failure(BadCommandLine,
                          QStringLiteral("--port: порты COM1..COM8, а не %1").arg(port));
        s.portNumber = number;
        resolved.path = settings::PortPathIn(station, number);
        resolved.portName = QStringLiteral("COM%1").arg(number);
    } else {
        s.portNumber = 1;
        resolved.path = QFile::encodeName(port).toStdString();
        resolved.portName = port;
        if (link::IsTcpPath(resolved.path)) {
            std::string host, service;
            link::Framing framing;
            const std::string problem = link::ParseNetworkPath(resolved.path, host, service, framing);
            if (!problem.empty())
                throw Failure(BadCommandLine, QStringLiteral("--port %1: %2").arg(port, QString::fromStdString(problem)));
        }
    }
    if (options.address) s.address = *options.address;
    if (options.baudRate) s.baudRate = *options.baudRate;
    if (options.parity) s.parity = *options.parity;
    if (options.timeoutMs) s.timeoutMs = *options.timeoutMs;
    if (options.byteOrder) s.byteOrder = *options.byteOrder;
    resolved.byteOrderGiven = options.byteOrder.has_value();
    return resolved;
}

Line::Line(ResolvedLine resolved)
    : resolved_(std::move(resolved)),
      portLink_(std::make_unique<link::LinePort>(), boxes_, [this](int) { return resolved_.path; }),
      master_(portLink_.port(), resolved_.settings) {}

bool Line::gateway() const {
    return link::IsTcpPath(resolved_.path);
}

QString Line::openFailure() const {
    if (!boxes_.last) return QStringLiteral("Невозможно открыть последовательный порт %1").arg(resolved_.portName);
    return boxes_.last->text + QStringLiteral(" ") + boxes_.last->detail;
}

void Line::open() {
    QString why;
    const link::LinkSettings& s = resolved_.settings;
    if (!reopen(s.baudRate, s.parity, why)) throw Failure(LineFault, why);
}

bool Line::reopen(int baudRate, int parity, QString& why) {
    link::LinkSettings& s = resolved_.settings;
    s.baudRate = baudRate;
    s.parity = parity;
    boxes_.last.reset();
    if (portLink_.openPort(s.portNumber, baudRate, 8, parity, s.stopBits, s.timeoutMs)) return true;
    why = openFailure();
    return false;
}

QString Line::where() const {
    const QString path = QFile::decodeName(QByteArray::fromStdString(resolved_.path));
    const QString port = path == resolved_.portName ? path : QStringLiteral("%1 (%2)").arg(resolved_.portName, path);
    return QStringLiteral("%1, адрес %2").arg(port).arg(resolved_.settings.address);
}

void Line::check(link::ResultFlags flags, uint8_t exceptionCode, const QString& what) const {
    if (link::Succeeded(flags, exceptionCode)) return;
    QString message = where() + QStringLiteral(": ");
    if (!what.isEmpty()) message += what + QStringLiteral(": ");
    throw Failure(ExitCodeOf(flags, exceptionCode), message + ExchangeFailureText(flags, exceptionCode));
}

void PauseMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace olv::cli
