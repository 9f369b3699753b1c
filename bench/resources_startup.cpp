// Time from the start of the process to the window shown (its first paint), with the program's own
// start-up against the virtual instrument: dev.dat maps COM1 to the simulator's line, recent.prf opens
// the live page. Runs in a temporary working folder. Prints figures only.
#include "tests/support/sim_fixture.h"
#include "ui/app/olv_application.h"
#include "ui/window/form1.h"

#include "link/termios_port.h"
#include "settings/station_settings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// Milliseconds since this process was started by the kernel (field 22 of /proc/self/stat).
double MsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    const double startMs = std::stod(field) * 1000.0 / double(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6 - startMs;
}

class FirstPaint : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            sinceProcessStart = MsSinceProcessStart();
            sinceMain = clock.nsecsElapsed() / 1e6;
        }
        return QObject::eventFilter(watched, event);
    }
    QElapsedTimer clock;
    bool painted = false;
    double sinceProcessStart = 0;
    double sinceMain = 0;
};

} // namespace

int main(int argc, char** argv) {
    FirstPaint probe;
    probe.clock.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    olv::test::SimInstrument sim;
    if (!sim.start({"--quiet"})) {
        std::printf("the virtual instrument did not start\n");
        return 0;
    }
    QTemporaryDir work;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    QFile dev("dev.dat");
    if (dev.open(QIODevice::WriteOnly))
        dev.write("[COM_SETTINGS]\r\nNumber=1\r\nSettings=19200,E,8,2\r\n[DEVICE]\r\nNetAdrr=1\r\n[PORTS]"
                  "\r\nCOM1=" +
                  QByteArray::fromStdString(sim.path()) + "\r\n");
    dev.close();
    QFile recent("recent.prf");
    if (recent.open(QIODevice::WriteOnly)) recent.write("[TAB]\r\nnum=0\r\n");
    recent.close();
    const double beforeApp = probe.clock.nsecsElapsed() / 1e6; // the simulator's start is not ours

    {
        OlvApplication app(argc, argv);
        Form1Deps deps;
        deps.port = std::make_unique<olv::link::TermiosPort>();
        deps.resolvePath = &olv::settings::ResolvePortPath;
        TForm1 form(std::move(deps));
        form.installEventFilter(&probe);
        form.show();
        QTimer::singleShot(3000, &app, &QCoreApplication::quit);
        QElapsedTimer wait;
        wait.start();
        while (!probe.painted && wait.elapsed() < 3000)
            app.processEvents(QEventLoop::AllEvents, 10);
        if (!probe.painted)
            std::printf("the window was not painted within 3 s\n");
        else {
            std::printf("start-up to the window shown (first paint), offscreen, against the simulator\n");
            std::printf("  since process start     %8.1f ms (includes %.1f ms starting the simulator)\n",
                        probe.sinceProcessStart, beforeApp);
            std::printf("  program's own share     %8.1f ms (application, window, FormCreate, first paint)\n",
                        probe.sinceMain - beforeApp);
        }
        form.close();
    }
    QDir::setCurrent(previous);
    return 0;
}
