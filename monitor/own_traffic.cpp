#include "monitor/own_traffic.h"

#include <algorithm>

namespace olv::monitor {

PortTraffic& OwnTraffic::of(const QString& port, const Make& make) {
    auto at = std::find_if(ports_.begin(), ports_.end(), [&](const PortTraffic& t) { return t.port == port; });
    if (at != ports_.end()) {
        // The newest last: it is the one kept longest from now on.
        std::rotate(at, at + 1, ports_.end());
        return ports_.back();
    }
    if (ports_.size() >= MaxPorts) ports_.erase(ports_.begin());
    ports_.push_back(make(port));
    ports_.back().port = port;
    return ports_.back();
}

PortTraffic* OwnTraffic::find(const QString& port) {
    auto at = std::find_if(ports_.begin(), ports_.end(), [&](const PortTraffic& t) { return t.port == port; });
    return at == ports_.end() ? nullptr : &*at;
}

QStringList OwnTraffic::ports() const {
    QStringList names;
    for (const PortTraffic& t : ports_)
        names << t.port;
    return names;
}

QString TrafficPortName(int portNumber, const QString& path) {
    return path.isEmpty() ? QStringLiteral("COM%1").arg(portNumber) : QStringLiteral("COM%1 %2").arg(portNumber).arg(path);
}

} // namespace olv::monitor
