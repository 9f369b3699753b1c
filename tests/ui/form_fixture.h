#pragma once

#include "tests/support/fake_port.h"
#include "tests/support/recording_boxes.h"
#include "tests/support/sim_fixture.h"
#include "ui/menus/config_file_menu.h"
#include "ui/menus/journal_menu.h"
#include "ui/menus/record_menu.h"
#include "ui/pages/live/live_page.h"
#include "ui/pages/page_link.h"
#include "ui/pages/page_search.h"
#include "ui/pages/page_text.h"
#include "ui/pages/sensor/sensor_page.h"
#include "ui/window/form1.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace olv::test {

// A window on a fake port with recording message boxes, in a temporary working folder of its own
// (dev.dat and recent.prf land there). The previous working folder is restored afterwards.
class FormFixture {
  public:
    struct Options {
        bool runFormCreate = true;
        bool qtBoxes = false;                              // real QMessageBox boxes instead of recording ones
        std::function<void(const QDir&)> prepare;          // writes files into the folder before start-up
        std::function<void(FakePort&)> preparePort;        // scripts the port before start-up
        std::function<void(RecordingBoxes&)> prepareBoxes; // e.g. a box that stays open a while
        bool portsFromStationFile = false; // COM numbers map through [PORTS] of dev.dat, as in the program
        bool listenAtStart = false;        // as the command line's --listen
    };

    FormFixture() : FormFixture(Options{}) {}
    static Options WithoutFormCreate() {
        Options options;
        options.runFormCreate = false;
        return options;
    }
    explicit FormFixture(const Options& options);
    ~FormFixture();

    QDir dir() const { return QDir(work_.path()); }
    TForm1& operator*() const { return *form; }
    TForm1* operator->() const { return form.get(); }

    RecordingBoxes boxes;
    FakePort* port = nullptr; // owned by the window
    std::unique_ptr<TForm1> form;

  private:
    QString previousDir_;
    QTemporaryDir work_;
};

// A window on a real termios port (a network port for a gateway's path) talking to the virtual instrument
// (every COM number resolves to the simulator's pseudo-terminal), with recording message boxes, in a
// temporary working folder. The simulator is started before the window and stopped after it.
class SimFormFixture {
  public:
    struct Options {
        std::vector<std::string> simArgs; // options of modbus-olv-sim
        bool runFormCreate = true;
        std::function<void(const QDir&)> prepare; // writes files (dev.dat, recent.prf) before start-up
        bool writeDefaultStation = true; // dev.dat for the simulator: COM1, 19200, even parity, address 1
        // Where every COM number leads instead of the simulator's line: a --tap, or a gateway (tcp://,
        // mbtcp://), which the window then reaches through the network port.
        std::string portPath;
    };

    SimFormFixture() : SimFormFixture(Options{}) {}
    explicit SimFormFixture(const Options& options);
    ~SimFormFixture();

    bool started() const { return started_; }
    QDir dir() const { return QDir(work_.path()); }
    TForm1& operator*() const { return *form; }
    TForm1* operator->() const { return form.get(); }

    // Runs the start-up timers (settling and the start-up read) so the window is in its running state.
    void settle();

    SimInstrument sim;
    RecordingBoxes boxes;
    std::unique_ptr<TForm1> form;

  private:
    QString previousDir_;
    QTemporaryDir work_;
    bool started_ = false;
};

// Stops the window's timers and ends the settling, so that nothing happens between two steps of a test.
void StopTimers(TForm1& form);

// Path of a COM port as the fixture's windows resolve it.
std::string FakePortPath(int portNumber);

// The clock the fixture's windows stamp their trend with: a fixed morning, one second further at
// every reading, so that nothing a test sees depends on when it runs.
device::LiveTrend::Clock SteppingClock();

// Writes a file with CR LF line ends (the INI files are Windows-style).
void WriteCrlfFile(const QString& path, const QStringList& lines);

// Closes every modal dialog that shows up while it lives (a handler may open a file dialog).
class ModalDismisser {
  public:
    ModalDismisser();
    ~ModalDismisser();

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace olv::test
