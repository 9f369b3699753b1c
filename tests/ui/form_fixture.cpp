#include "tests/ui/form_fixture.h"

#include "link/tcp_port.h"
#include "link/termios_port.h"
#include "records/commissioning_record.h"
#include "settings/station_settings.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QTimer>

#include <memory>

namespace olv::test {

std::string FakePortPath(int portNumber) {
    return "/dev/fake-com" + std::to_string(portNumber);
}

device::LiveTrend::Clock SteppingClock() {
    // A weekday morning, local time; every reading one second after the one before.
    auto now = std::make_shared<int64_t>(QDateTime(QDate(2026, 3, 2), QTime(10, 0, 5)).toMSecsSinceEpoch());
    return [now] { return *now += 1000; };
}

FormFixture::FormFixture(const Options& options) : previousDir_(QDir::currentPath()) {
    QDir::setCurrent(work_.path());
    if (options.prepare) options.prepare(dir());

    auto fake = std::make_unique<FakePort>();
    fake->opened = false;
    port = fake.get();
    if (options.preparePort) options.preparePort(*port);
    if (options.prepareBoxes) options.prepareBoxes(boxes);

    Form1Deps deps;
    deps.port = std::move(fake);
    deps.boxes = options.qtBoxes ? nullptr : &boxes;
    deps.resolvePath = options.portsFromStationFile ? &settings::ResolvePortPath : &FakePortPath;
    deps.runFormCreate = options.runFormCreate;
    deps.listenAtStart = options.listenAtStart;
    deps.clock = SteppingClock();
    form = std::make_unique<TForm1>(std::move(deps));
    form->record().askRecordDetails = [](records::RecordData&) { return true; }; // as kept, without a dialog
}

FormFixture::~FormFixture() {
    form.reset(); // its last save goes into the temporary folder
    QDir::setCurrent(previousDir_);
}

SimFormFixture::SimFormFixture(const Options& options) : previousDir_(QDir::currentPath()) {
    QDir::setCurrent(work_.path());
    started_ = sim.start(options.simArgs);
    if (options.writeDefaultStation)
        WriteCrlfFile(dir().filePath("dev.dat"),
                      {"[COM_SETTINGS]", "Number=1", "Settings=19200,E,8,2", "[DEVICE]", "EnableNetAdrr=1",
                       "NetAdrr=1", "[SETTINGS]", "NOfReadings=2", "TimeOut=300", "[LOG]", "UseLogFile=0",
                       "LogFileName=COM.txt", "[REG]", "RegFileName=REG.txt"});
    if (options.prepare) options.prepare(dir());

    Form1Deps deps;
    const std::string path = options.portPath.empty() ? sim.path() : options.portPath;
    if (link::IsTcpPath(path))
        deps.port = std::make_unique<link::TcpPort>();
    else
        deps.port = std::make_unique<link::TermiosPort>();
    deps.boxes = &boxes;
    deps.resolvePath = [path](int) { return path; };
    deps.runFormCreate = options.runFormCreate;
    deps.clock = SteppingClock();
    form = std::make_unique<TForm1>(std::move(deps));
    form->record().askRecordDetails = [](records::RecordData&) { return true; };
}

SimFormFixture::~SimFormFixture() {
    form.reset();
    sim.stop();
    QDir::setCurrent(previousDir_);
}

void SimFormFixture::settle() {
    // Timer2 ends the settling, Timer3 runs the start-up read; both are one-shot.
    form->Timer2->stop();
    form->Timer2Timer();
    form->Timer3->stop();
    form->Timer3Timer();
}

void StopTimers(TForm1& form) {
    for (QTimer* timer : {form.Timer1, form.Timer2, form.Timer3, form.Timer4, form.Timer5})
        timer->stop();
    form.uiBusy = 0;
}

void WriteCrlfFile(const QString& path, const QStringList& lines) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    for (const QString& line : lines)
        file.write(line.toLatin1() + "\r\n");
}

class ModalDismisser::Impl : public QObject {
  public:
    Impl() {
        connect(&timer, &QTimer::timeout, this, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
        });
        timer.start(20);
    }
    QTimer timer;
};

ModalDismisser::ModalDismisser() : impl_(std::make_unique<Impl>()) {}
ModalDismisser::~ModalDismisser() = default;

} // namespace olv::test
