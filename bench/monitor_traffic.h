// One hour of a 38400 bit/s line as another master drives it, written as a capture file: the master
// polls the live value of five meters back to back, reads a configuration block now and then, writes
// one, gets an exception, a reply with a broken CRC and no reply at all from time to time.
#pragma once

#include "link/crc16.h"
#include "monitor/frames.h"
#include "monitor/pcap.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace olv::bench {

inline std::vector<uint8_t> WithCrc(std::vector<uint8_t> f) {
    const uint16_t crc = link::Crc16(f.data(), static_cast<int>(f.size()) - 1);
    f.push_back(static_cast<uint8_t>(crc));
    f.push_back(static_cast<uint8_t>(crc >> 8));
    return f;
}

struct Traffic {
    int64_t frames = 0;
    int64_t bytes = 0;
    double seconds = 0;
};

// Writes the capture to path; every frame is stamped with its end on the line.
inline Traffic WriteHourOfTraffic(const QString& path, double seconds = 3600) {
    const int baud = 38400;
    const monitor::Micros c = monitor::CharacterTime(baud);
    monitor::Micros t = monitor::Micros{1700000000} * 1000000;
    const monitor::Micros end = t + static_cast<monitor::Micros>(seconds * 1e6);
    Traffic traffic;
    std::string out;
    monitor::AppendPcapHeader(out);
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    const auto frame = [&](const std::vector<uint8_t>& f, monitor::Micros after) {
        t += after + static_cast<monitor::Micros>(f.size()) * c;
        monitor::AppendPcapRecord(out, t, f.data(), f.size());
        ++traffic.frames;
        traffic.bytes += static_cast<int64_t>(f.size());
    };
    for (uint32_t n = 0; t < end; ++n) {
        const uint8_t address = static_cast<uint8_t>(1 + n % 5);
        const uint16_t value = static_cast<uint16_t>(n * 7);
        if (n % 500 == 0) { // a configuration block
            frame(WithCrc({address, 3, 0, 8, 0, 4}), 5000);
            frame(WithCrc({address, 3, 8, address, 4, 2, 1, 0, 0, 0, 1}), 2000);
        } else if (n % 3000 == 1) { // a write of the range
            frame(WithCrc({address, 16, 0, 18, 0, 2, 4, 0x3F, 0xCC, 0xCC, 0xCD}), 5000);
            frame(WithCrc({address, 16, 0, 18, 0, 2}), 2000);
        } else {
            frame(WithCrc({address, 3, 0, 15, 0, 3}), 5000);
            if (n % 1000 == 2) continue; // no reply
            if (n % 1000 == 3) {
                frame(WithCrc({address, 0x83, 2}), 2000);
                continue;
            }
            std::vector<uint8_t> reply =
                WithCrc({address, 3, 6, 0, 0, 0x3F, 0xC0, uint8_t(value >> 8), uint8_t(value)});
            if (n % 1000 == 4) reply.back() ^= 0xFF; // a broken CRC
            frame(reply, 2000);
        }
        if (out.size() > (1 << 20)) {
            file.write(out.data(), static_cast<qint64>(out.size()));
            out.clear();
        }
    }
    file.write(out.data(), static_cast<qint64>(out.size()));
    traffic.seconds = seconds;
    return traffic;
}

inline long ResidentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace olv::bench
