// The window with 100 000 rows in the line monitor's table: one hour of a flooded 38400 bit/s line
// opened from its capture file (the table keeps the last 100 000 frames), the page shown and scrolled.
// Prints the time it took and the resident memory of the whole program. Prints figures only.
#include "bench/monitor_traffic.h"

#include "tests/ui/form_fixture.h"
#include "ui/pages/monitor/line_monitor_page.h"
#include "ui/app/olv_application.h"
#include "ui/widgets/monitor_table.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    OlvApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hour.pcap"));
    const olv::bench::Traffic traffic = olv::bench::WriteHourOfTraffic(path);
    olv::test::FormFixture f;
    olv::test::StopTimers(*f);
    f->TabbedNotebook1->setCurrentIndex(5);
    f->show();
    QCoreApplication::processEvents();
    const long before = olv::bench::ResidentKilobytes();
    f->monitor().chooseCaptureFile = [&path](bool, QString& name) {
        name = path;
        return true;
    };
    const auto start = std::chrono::steady_clock::now();
    f->Button13->click();
    QCoreApplication::processEvents();
    const double opened = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (int step = 0; step < 50; ++step) { // scrolled through from the top
        f->StringGrid2->scrollTo(f->monitorModel->index(step * 2000, 0));
        QCoreApplication::processEvents();
    }
    std::printf("one hour of 38400 bit/s (%lld frames) opened into the window's table in %.2f s\n",
                static_cast<long long>(traffic.frames), opened);
    std::printf("  rows in the table  %d\n", f->monitorModel->rowCount());
    std::printf(
        "  resident           %ld kB for the whole program (%ld kB before opening; aim: below 100 MB)\n",
        olv::bench::ResidentKilobytes(), before);
    return 0;
}
