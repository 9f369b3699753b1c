#pragma once

#include "monitor/capture.h"
#include "monitor/capture_session.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace olv::monitor {

// The program's own exchanges of one port: the capture the monitor's table shows, with its counters,
// and the session that spools its frames for a save.
struct PortTraffic {
    QString port; // the port's name and what it leads to: "COM1 /dev/ttyUSB0"
    std::unique_ptr<Capture> capture;
    std::unique_ptr<CaptureSession> session;
};

// The program's own exchanges kept apart per port, so that a table and its counters never mix two
// lines (a COM port, a tap, a gateway): each port has its own capture, made at its first exchange.
// The ports used last are kept; beyond MaxPorts the one used longest ago goes.
class OwnTraffic {
  public:
    static constexpr size_t MaxPorts = 8;
    using Make = std::function<PortTraffic(const QString& port)>;

    // The traffic of this port, made with `make` when there is none yet; it becomes the newest.
    PortTraffic& of(const QString& port, const Make& make);
    // The traffic of this port, or nullptr.
    PortTraffic* find(const QString& port);
    // The ports kept, newest last.
    QStringList ports() const;
    void clear() { ports_.clear(); }

  private:
    std::vector<PortTraffic> ports_; // newest last
};

// The name under which a port's traffic is kept: "COM1 /dev/ttyUSB0", "COM2 tcp://host:502".
QString TrafficPortName(int portNumber, const QString& path);

} // namespace olv::monitor
