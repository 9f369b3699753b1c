// The line monitor on one hour of a flooded 38400 bit/s line (generated here, see monitor_traffic.h):
// the capture file read back and every frame framed, paired and decoded, as "Открыть…" does, and the
// same bytes fed as the port delivers them while listening. Prints frames per second against the
// line's own frame rate and the memory a kept row costs. Prints figures only.
//
//   olv_bench_monitor [seconds of traffic]     (default 3600)
#include "bench/monitor_traffic.h"

#include "monitor/capture.h"
#include "monitor/meaning.h"

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

using namespace olv::monitor;

namespace {

volatile size_t g_decoded = 0; // keeps the decoding from being optimised away

// Decodes the newest row as the table would show it.
size_t DecodeNewest(const Capture& capture) {
    const Row* row = capture.row(capture.endSequence() - 1);
    if (!row) return 0;
    if (row->direction == Direction::Broken) return DescribeBroken(row->bytes.size(), row->lineError).size();
    return static_cast<size_t>(
        DescribeFrame(row->adu(), row->aduSize(), row->direction, row->span, row->context).text.size());
}

void Run(const char* name, const QString& path, const olv::bench::Traffic& traffic, bool live) {
    const long before = olv::bench::ResidentKilobytes();
    Capture capture({38400, 1000, 0, 100000});
    size_t decoded = 0;
    int64_t seen = 0;
    const auto wall = std::chrono::steady_clock::now();
    const std::clock_t cpu = std::clock();
    ReadPcap(path, [&](Micros time, const uint8_t* bytes, size_t size) {
        if (live)
            capture.feed(bytes, size, time); // cut by length and silence, as the port gives them
        else
            capture.addRecord(time, bytes, size);
        for (; seen < capture.endSequence(); ++seen) {
            decoded += DecodeNewest(capture);
            capture.spool().clear();
        }
    });
    capture.end();
    g_decoded = g_decoded + decoded;
    const double cpuSeconds = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
    const double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    const long after = olv::bench::ResidentKilobytes();
    const double perSecond = static_cast<double>(capture.endSequence()) / cpuSeconds;
    const double lineRate = static_cast<double>(traffic.frames) / traffic.seconds;
    std::printf("%s\n", name);
    std::printf("  frames           %lld (%lld counted, %lld CRC errors, %lld without reply)\n",
                static_cast<long long>(capture.endSequence()),
                static_cast<long long>(capture.counters().total.frames),
                static_cast<long long>(capture.counters().total.crcErrors),
                static_cast<long long>(capture.counters().total.unanswered));
    std::printf("  processor time   %.2f s (wall %.2f s)\n", cpuSeconds, wallSeconds);
    std::printf("  frames per second %.0f = %.0f x the line's %.0f frames/s (aim: at least 100 x)\n",
                perSecond, perSecond / lineRate, lineRate);
    std::printf("  resident         %ld kB more for %lld rows kept = %.0f bytes per row\n", after - before,
                static_cast<long long>(capture.endSequence() - capture.firstSequence()),
                1024.0 * static_cast<double>(after - before) /
                    static_cast<double>(capture.endSequence() - capture.firstSequence()));
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 3600.0;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hour.pcap"));
    const olv::bench::Traffic traffic = olv::bench::WriteHourOfTraffic(path, seconds);
    std::printf("%.0f s of 38400 bit/s traffic: %lld frames, %.1f bytes per frame, %.1f MB of capture file\n",
                traffic.seconds, static_cast<long long>(traffic.frames),
                static_cast<double>(traffic.bytes) / static_cast<double>(traffic.frames),
                static_cast<double>(traffic.bytes + 16 * traffic.frames) / 1e6);
    Run("capture file read back (Открыть…)", path, traffic, false);
    Run("the same bytes as the port delivers them (Слушать)", path, traffic, true);
    return 0;
}
