// "Открыть…" of large capture files in the window (offscreen, fake port): the time until the table
// shows the file, the window thread's longest stall meanwhile (a 10 ms timer's worst lateness), the
// bytes of new files in the file's, the working and the temporary folder while it reads (sampled
// every 100 ms) and the resident memory added. The files are generated first as traffic of a flooded
// 38400 bit/s line (see monitor_traffic.h), in the folder given (default: the temporary folder).
// Prints figures only.
//
//   olv_bench_capture_open [folder] [MB ...]     (default sizes: 300 and 2040)
#include "bench/monitor_traffic.h"

#include "monitor/pcap.h"
#include "tests/ui/form_fixture.h"
#include "ui/pages/monitor/line_monitor_page.h"
#include "ui/app/olv_application.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Bytes of the files in these folders (hidden ones included) that were not there before.
int64_t NewBytes(const QStringList& folders, const QSet<QString>& before) {
    int64_t bytes = 0;
    for (const QString& folder : folders)
        for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
            if (!before.contains(info.absoluteFilePath())) bytes += info.size();
    return bytes;
}

QSet<QString> Present(const QStringList& folders) {
    QSet<QString> names;
    for (const QString& folder : folders)
        for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
            names.insert(info.absoluteFilePath());
    return names;
}

void OpenOnce(const QString& file) {
    olv::test::FormFixture f;
    f->Timer1->stop();
    f->monitor().chooseCaptureFile = [&file](bool, QString& name) {
        name = file;
        return true;
    };
    // Where a copy could go: the file's folder, the working folder, the temporary folder.
    const QStringList folders{QFileInfo(file).absolutePath(), f.dir().path(), QDir::tempPath()};
    const QSet<QString> before = Present(folders);
    const long memoryBefore = olv::bench::ResidentKilobytes();
    int64_t mostTaken = 0;
    std::vector<double> lateness;
    QElapsedTimer clock;
    qint64 previous = -1;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QEventLoop loop;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (previous >= 0) lateness.push_back(std::max(0.0, (now - previous) / 1e6 - 10.0));
        previous = now;
        if (lateness.size() % 10 == 0) mostTaken = std::max(mostTaken, NewBytes(folders, before));
        if (!f->monitor().OpeningCapture()) loop.quit();
    });
    clock.start();
    probe.start(10);
    f->Button13->click();
    const qint64 clickReturned = clock.nsecsElapsed();
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::sort(lateness.begin(), lateness.end());
    const long memory = olv::bench::ResidentKilobytes() - memoryBefore;
    std::printf("  open: %.1f s until the table shows %lld frames; the click returned after %.1f ms\n",
                seconds,
                static_cast<long long>(f->monitor().capture ? f->monitor().capture->counters().total.frames : -1),
                clickReturned / 1e6);
    if (!lateness.empty())
        std::printf("  window thread meanwhile: longest stall %.1f ms, 99th percentile %.1f ms (%zu ticks)\n",
                    lateness.back(), lateness[lateness.size() * 99 / 100], lateness.size());
    std::printf(
        "  new files while reading (the file's, the working and the temporary folder): %.1f MB at most;"
        " resident memory %+ld kB\n",
        double(std::max<int64_t>(mostTaken, 0)) / (1 << 20), memory);
    for (const olv::messages::Box& box : f.boxes.boxes)
        if (box.text.contains(file)) std::printf("  box: %s\n", qPrintable(box.text));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    OlvApplication app(argc, argv);
    QString folder = QDir::tempPath();
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        const int mb = std::atoi(argv[i]);
        if (mb > 0)
            sizes.push_back(mb);
        else
            folder = QString::fromLocal8Bit(argv[i]);
    }
    if (sizes.empty()) sizes = {300, 2040};
    QTemporaryDir files(QDir(folder).filePath(QStringLiteral("olv-capture-bench-XXXXXX")));
    for (int mb : sizes) {
        const QString file = QDir(files.path()).filePath(QStringLiteral("line-%1MB.pcap").arg(mb));
        // About 14.77 million bytes of capture file per hour of this traffic.
        const olv::bench::Traffic traffic =
            olv::bench::WriteHourOfTraffic(file, mb * 1048576.0 * 3600.0 / 14.77e6);
        std::printf("%s: %.1f MB, %lld frames\n", qPrintable(file),
                    double(QFileInfo(file).size()) / (1 << 20), static_cast<long long>(traffic.frames));
        OpenOnce(file);
        QFile::remove(file);
    }
    return 0;
}
