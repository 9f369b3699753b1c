// How much processor time the window's Pause takes while it waits: the wait processes window messages
// and must sleep between them rather than spin a core. Prints figures only.
//
//   olv_bench_pause [seconds]     (default 10)
#include "tests/support/fake_port.h"
#include "tests/support/recording_boxes.h"
#include "ui/window/form1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    // The window writes its settings files into the working folder; keep them out of the caller's.
    QTemporaryDir work;
    QDir::setCurrent(work.path());

    olv::test::RecordingBoxes boxes;
    Form1Deps deps;
    deps.port = std::make_unique<olv::test::FakePort>();
    deps.boxes = &boxes;
    deps.runFormCreate = false; // only the timers of the form run: Timer4's 500 ms tick, Timer1
    TForm1 form(std::move(deps));

    QElapsedTimer wall;
    const double cpuBefore = ProcessCpuSeconds();
    wall.start();
    form.Pause(seconds * 1000);
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double elapsed = wall.nsecsElapsed() / 1e9;

    std::printf("Pause(%d ms): wall %.3f s, CPU %.4f s (%.3f %% of one core)\n", seconds * 1000, elapsed, cpu,
                100.0 * cpu / elapsed);
    return 0;
}
