// The window thread's longest stall while the line does not answer: a 10 ms timer's worst lateness
// (how much later than 10 ms after its previous tick it fired) during
//   (a) polling on the live page against a silent instrument (the simulator, nobody at address 9),
//   (b) a search on a silent line (addresses 2..255, where nobody answers),
//   (c) polling through a gateway that accepts and never replies, and
//   (d) reconnecting to a gateway that never completes the connect (a full listen queue),
//   (f) polling through a Modbus TCP gateway that floods the connection with well-formed replies of
//       other transactions, and
//   (e) polling on the live page while a steady reading jumps (a vented meter's valve opened, and
//       the like: 0 → 1, 0.5 → 1000, 1.2 → −0.3, 0 → 2·10⁻⁵ and back), each after a steady run.
// Each runs a window offscreen with the real port, TimeOut 1000 ms, in a temporary working folder.
// Prints figures only.
//
//   olv_bench_stall [seconds] [--blocking]
//
// seconds: of each phase (default 60 for (a), a third of it for the others, at least 3). --blocking
// takes the window's waiter away again, so the ports block the thread in ppoll() (the figure before the
// window waited in its event loop).
#include "tests/support/flood_gateway.h"
#include "tests/support/recording_boxes.h"
#include "tests/support/sim_fixture.h"
#include "ui/app/olv_application.h"
#include "ui/pages/page_search.h"
#include "ui/window/form1.h"
#include "ui/window/link_health_line.h"

#include "link/descriptor_wait.h"
#include "link/line_port.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool blocking = false;

// A listening socket on 127.0.0.1 that never accepts: the kernel completes up to backlog + 1
// connections, and nothing ever answers them.
struct Listener {
    explicit Listener(int backlog) {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, backlog) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            std::printf("no listening socket: %s\n", std::strerror(errno));
        port = ntohs(address.sin_port);
    }
    ~Listener() {
        if (filler >= 0) ::close(filler);
        ::close(fd);
    }
    // Fills the queue of a backlog-0 listener, so that every further connect gets no answer.
    bool fill() {
        filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(uint16_t(port));
        if (::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 2000) == 1;
    }
    std::string path() const { return "tcp://127.0.0.1:" + std::to_string(port); }
    int fd = -1;
    int port = 0;
    int filler = -1;
};

struct Stalls {
    double worstMs = 0;
    double p99Ms = 0;
    size_t ticks = 0;
};

// Runs the event loop for `seconds` with a 10 ms probe timer; `start` is called once the loop runs.
Stalls Measure(int seconds, const std::function<void()>& start) {
    std::vector<double> lateness;
    QElapsedTimer clock;
    qint64 previous = -1;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (previous >= 0) lateness.push_back(std::max(0.0, (now - previous) / 1e6 - 10.0));
        previous = now;
    });
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    clock.start();
    probe.start(10);
    QTimer::singleShot(0, start);
    loop.exec();
    probe.stop();
    Stalls stalls;
    stalls.ticks = lateness.size();
    if (lateness.empty()) return stalls;
    std::sort(lateness.begin(), lateness.end());
    stalls.worstMs = lateness.back();
    stalls.p99Ms = lateness[lateness.size() * 99 / 100];
    return stalls;
}

void Print(const char* what, int seconds, const Stalls& stalls, const std::string& note) {
    std::printf("%-46s %3d s: longest stall %7.1f ms, 99th percentile %6.1f ms (%zu ticks)%s\n", what, seconds,
                stalls.worstMs, stalls.p99Ms, stalls.ticks, note.c_str());
}

// A window on the real port, every COM number leading to `path`, at address `address`, TimeOut 1000.
struct Window {
    Window(const std::string& path, int address) {
        QDir::setCurrent(work.path());
        QFile dev("dev.dat");
        if (dev.open(QIODevice::WriteOnly))
            dev.write(QByteArray("[COM_SETTINGS]\r\nNumber=1\r\nSettings=19200,E,8,2\r\n[DEVICE]\r\nEnableNetAdrr=1\r\n"
                                 "NetAdrr=") +
                      QByteArray::number(address) + "\r\n[SETTINGS]\r\nTimeOut=1000\r\n[LOG]\r\nUseLogFile=0\r\n");
        dev.close();
        QFile recent("recent.prf");
        if (recent.open(QIODevice::WriteOnly)) recent.write("[TAB]\r\nnum=0\r\n[IZM]\r\nwrite_file=0\r\n");
        recent.close();
        Form1Deps deps;
        deps.port = std::make_unique<olv::link::LinePort>();
        deps.boxes = &boxes;
        deps.resolvePath = [path](int) { return path; };
        form = std::make_unique<TForm1>(std::move(deps));
        if (blocking) olv::link::SetDescriptorWaiter({});
        form->show();
    }
    ~Window() {
        form.reset();
        QDir::setCurrent(QDir::tempPath());
    }
    QTemporaryDir work;
    olv::test::RecordingBoxes boxes;
    std::unique_ptr<TForm1> form;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    OlvApplication app(argc, argv);
    int live = 60;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--blocking") == 0)
            blocking = true;
        else
            live = std::max(3, std::atoi(argv[i]));
    }
    const int other = std::max(3, live / 3);
    std::printf("window thread stalls, 10 ms probe timer, TimeOut 1000 ms%s\n",
                blocking ? ", ports blocking in ppoll()" : "");

    olv::test::SimInstrument sim;
    if (!sim.start({"--quiet"})) {
        std::printf("the virtual instrument did not start\n");
        return 0;
    }
    {
        Window window(sim.path(), 9);
        const Stalls stalls = Measure(live, [] {});
        Print("(a) live page, silent instrument", live, stalls,
              ", " + std::to_string(window.form->healthLine().linkCounters.noReply) + " polls without reply");
    }
    {
        Window window(sim.path(), 2);
        TForm1& form = *window.form;
        const Stalls stalls = Measure(other, [&form, other] {
            form.TabbedNotebook1->setCurrentIndex(3);
            form.ComboBox12->setCurrentIndex(2);
            form.ComboBox13->setCurrentIndex(255);
            QTimer::singleShot(other * 1000 - 100, &form, [&form] { form.search().Button5Click(); });
            form.search().Button4Click();
        });
        Print("(b) search on a silent line", other, stalls,
              ", " + std::to_string(form.healthLine().linkCounters.requests) + " probes");
    }
    {
        Listener silent(8);
        Window window(silent.path(), 1);
        const Stalls stalls = Measure(other, [] {});
        Print("(c) gateway that accepts and never replies", other, stalls,
              ", " + std::to_string(window.form->healthLine().linkCounters.noReply) + " polls without reply");
    }
    {
        Listener full(0);
        if (!full.fill()) std::printf("(d) cannot fill the listen queue\n");
        Window window(full.path(), 1);
        const Stalls stalls = Measure(other, [] {});
        Print("(d) gateway that never completes the connect", other, stalls, "");
    }
    {
        olv::test::FloodingGateway flood;
        Window window(flood.path(), 1);
        const Stalls stalls = Measure(other, [] {});
        Print("(f) gateway flooding other transactions", other, stalls,
              ", " + std::to_string(window.form->healthLine().linkCounters.noReply) + " polls without reply, " +
                  std::to_string(window.form->healthLine().linkCounters.crcErrors) + " replies skipped");
    }
    {
        olv::test::SimInstrument jumping;
        if (!jumping.start({"--quiet", "--value", "0"})) {
            std::printf("(e) the virtual instrument did not start\n");
            return 0;
        }
        Window window(jumping.path(), 1);
        // Each value holds for a steady run of polls, then the next one comes.
        const std::vector<std::string> values{"1.0", "0.5", "1000", "1.2", "-0.3", "0", "0.00002", "0"};
        const int run = std::max(3, other / static_cast<int>(values.size() + 1));
        QTimer steps;
        size_t next = 0;
        QObject::connect(&steps, &QTimer::timeout, [&] {
            if (next < values.size()) jumping.command("value " + values[next++]);
        });
        const Stalls stalls = Measure(run * static_cast<int>(values.size() + 1), [&steps, run] { steps.start(run * 1000); });
        Print("(e) live page, a steady reading that jumps", run * static_cast<int>(values.size() + 1), stalls,
              ", " + std::to_string(next) + " jumps, " + std::to_string(window.form->healthLine().linkCounters.answers) +
                  " readings");
    }
    return 0;
}
