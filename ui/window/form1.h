#pragma once

#include "device/instrument_identity.h"
#include "device/live_trend.h"
#include "device/page_writes.h"
#include "device/pending_device_link.h"
#include "device/register_image.h"
#include "device/sensor_configuration.h"
#include "link/line_state.h"
#include "link/link_settings.h"
#include "link/port_link.h"
#include "link/port_master.h"
#include "link/result_flags.h"
#include "records/instrument_state.h"
#include "settings/port_assignment.h"
#include "ui/menus/menu_host.h"
#include "ui/pages/monitor/line_monitor_page.h"
#include "ui/window/form1_controls.h"
#include "ui/window/instrument_operation.h"
#include "ui/window/edit_marking.h"
#include "ui/window/line_flag.h"
#include "ui/window/page_host.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QFileDialog;
class QWidget;

class CalibrationDialog;
class ConfigFileMenu;
class HelpMenu;
class JournalMenu;
class RecordMenu;
class PortsMenu;
class ProfileMenu;
class LinkHealthLine;
class LinkPage;
class LiveHost;
class LivePage;
class SearchPage;
class SensorPage;
class ShownInstrumentNotes;
class TextPage;
class WindowComfort;
class LineWaiter;
class QtMessageBoxes;

namespace olv::link {
class Port;
} // namespace olv::link
namespace olv::messages {
class MessageBoxes;
} // namespace olv::messages
namespace olv::settings {
class IniWriteError;
} // namespace olv::settings

// What the window needs from outside: the serial port, where message boxes go and how a COM number
// becomes a device path. Tests give a fake port and recording boxes.
struct Form1Deps {
    std::unique_ptr<olv::link::Port> port;
    olv::messages::MessageBoxes* boxes = nullptr; // null: the window shows its own QMessageBox boxes
    std::function<std::string(int portNumber)> resolvePath;
    bool runFormCreate = true; // false leaves the controls as designed (lists empty, nothing opened)
    // Start without transmitting (--listen), whatever the port's own choice in the ports dialog says.
    bool listenAtStart = false;
    // The time of day in milliseconds since the epoch with which the trend stamps its readings; the
    // wall clock unless given (tests step it).
    olv::device::LiveTrend::Clock clock;
};

// The main window. Its controls are Form1Controls' (form1_controls.h, built by setupUi); it owns the
// program's state and its pages, each a room of its own under pages/ reaching the window through
// PageHost (page_host.h); handlers keep the names of the controls they belong to. The definition is
// split by concern: form1.cpp (start-up, timers, closing), link_row.cpp (the link row),
// form1_wiring.cpp (lists and hints, every signal to its handler), exchange_report.cpp,
// edit_marking.cpp, menu_window.cpp (the menus' side of the window).
class TForm1 : public QMainWindow,
               public Form1Controls,
               public PageHost,
               private MenuHost,
               public EditMarking {
    Q_OBJECT

  public:
    explicit TForm1(Form1Deps deps);
    ~TForm1() override;

    // ---- Lifecycle (form1.cpp) ----
    void FormCreate();
    void FormClose();
    void FormDestroy();
    void MEx(QObject* sender, const std::exception* error); // drops what escaped a handler
    SensorPage& sensor() { return *sensor_; } // page 1, "Параметры датчика"
    LinkPage& link() { return *link_; }       // page 2, "Настройки связи"
    SearchPage& search() { return *search_; } // page 3, "Поиск приборов"
    TextPage& text() { return *text_; }       // page 4, "Текст"
    LivePage& live() { return *live_; }       // page 0, "Текущее значение"
    void Timer2Timer();
    void Timer3Timer();
    void Timer4Timer();
    void Timer5Timer();
    void Pause(int ms) override;
    void TabbedNotebook1Change(int newPage, bool& allowChange);

    // Top row and trace switch (link_row.cpp).
    void ShowLinkSettings(int guard) override;
    void CollectLinkSettings(int guard);
    void OpenPort() override; // with the link settings in force, 8 data bits
    // Before an operation and at each poll: a port lost to a hang-up or a failed open is opened again
    // quietly, at most once a second, so that a replugged adapter or a restarted gateway serves again.
    void ReconnectIfLost() override;
    void ComboBox1Change();
    void ComboBox2Change();
    void ComboBox3Change();
    void ComboBox14Change();
    void CheckBox7Click();

    // One operation on the instrument at a time (instrument_operation.h).
    using InstrumentOperation = ::InstrumentOperation;
    // What the line is doing (line_state.h), changed only here: the health line shows each change.
    void SetLineState(olv::link::LineState state) override;
    olv::link::LineState lineState() const { return line_.state(); }
    // Views of the state: something holds the line (an operation, the search, listening).
    LineFlag operationRunning{[this] { return int(olv::link::Holds(line_.state())); }};
    // A transaction is waiting for the line in the window's nested event loop (a live poll's, an
    // operation's, a connect's): nothing that fires meanwhile may start another one.
    bool LineWaiting() const override;
    // The instrument the link settings reach now.
    olv::device::InstrumentId TargetInstrument() const override;
    std::unique_ptr<OperationHold> BeginOperation() override;

    // Closing on SIGTERM, SIGINT or SIGHUP: open modal boxes and dialogs are dismissed first, then
    // the window closes as by its close button.
    void CloseBySignal();
    // Writes dev.dat and recent.prf from the controls; used at exit and when the session ends.
    void SaveSettings();

    // ---- Link health line in the status bar (link_health_line.h) ----
    LinkHealthLine& healthLine() { return *healthLine_; }

    // ---- Exchange results (exchange_report.cpp) ----
    // The exchange error's box; `detail` (what the instrument holds of a write) as its informative text.
    void ReportExchangeError(olv::link::ResultFlags flags, uint8_t exceptionCode,
                             const QString& detail = QString()) override;
    void ShowExchangeState(olv::link::ResultFlags flags, uint8_t exceptionCode) override;

    // A refused input: its page is shown and the cursor put into it, its colour as it was.
    void FocusRefusedField(QWidget* field) override;

    // ---- Lists, hints and caption (form1_wiring.cpp) ----
    void FillListsHintsAndCaption();

    // What a page write says and what one write operation knows for the journal (page_host.h).
    using PageWriteTexts = ::PageWriteTexts;
    using WriteRecord = ::WriteRecord;
    bool ReportPageWrite(const olv::records::InstrumentState& before, const olv::device::PageWriteResult& result,
                         const PageWriteTexts& texts) override;
    // The program's own link follows each link setting the instrument accepted: the boxes go white, the
    // settings in force change and the port is opened again at the new rate and parity.
    std::unique_ptr<olv::device::DeviceLinkSteps> LinkFollower(const olv::device::LinkValues& values) override;

    // ---- Menu: settings profiles (menus/profile_menu.h) ----
    ProfileMenu& profiles() { return *profiles_; }
    // The menus' file dialogs (MenuHost::ChooseFile) run unless this is set: tests set it to answer
    // without a dialog.
    std::function<bool(QFileDialog* dialog, QString& fileName, bool& firstFilterSelected)> chooseProfileFile;

    // ---- Menu: the configuration as a file and the compare dialog Form2, the record, the journal
    // (menus/config_file_menu.h, record_menu.h, journal_menu.h) ----
    ConfigFileMenu& configFile() { return *configFile_; } // "Сохранить/Открыть конфигурацию прибора…"
    RecordMenu& record() { return *record_; }             // "Протокол настройки…"
    JournalMenu& journal() { return *journal_; }          // "Журнал изменений…" and the journal of writes
    // Everything of the instrument on the line: configuration, versions, parity.
    olv::link::ResultFlags ReadInstrumentState(olv::records::InstrumentState& state,
                                               uint8_t& exceptionCode) override;
    // The journal's steps of a page write (JournalMenu).
    bool JournalAllowsWrite() override;
    olv::link::ResultFlags ReadBeforeWrite(WriteRecord& record, uint8_t& exceptionCode) override;
    void JournalWrite(const QString& operation, const WriteRecord& record,
                      const olv::device::PageWriteResult& result) override;
    // ---- Menu: the calibration (dialogs/calibration/) ----
    void N13Click(); // "Калибровка…"
    // One tick of the poll timer for the calibration dialog while it is open: one reading.
    void PollCalibration();
    CalibrationDialog* calibrationDialog = nullptr; // while N13Click runs it
    // Tests drive the dialog themselves; otherwise it is shown modal.
    std::function<void(CalibrationDialog& dialog)> runCalibrationDialog;
    // ---- The menus (menus/), each a room of its own reaching the window through PageHost and
    // MenuHost (menu_host.h) ----
    PortsMenu& ports() { return *ports_; } // "Назначение портов…"
    HelpMenu& help() { return *help_; }    // "Выход", "Справка"

    // ---- Page 5: line monitor (pages/monitor/) ----
    LineMonitorPage& monitor() { return *monitor_; }
    // The port is listened to, nothing is sent (the line's state is Listening).
    LineFlag listening{[this] { return int(line_.state() == olv::link::LineState::Listening); }};

    // ---- The instrument shown (shown_instrument.h): every page's data belongs to the one the window
    // names; what it showed of another goes back to "Данных нет" with a note ----
    ShownInstrumentNotes& shown() { return *shown_; }
    void NoteInstrumentRead(const olv::device::RegisterImage& words, unsigned keptPages = 0) override;
    void StampPages(unsigned pages, std::optional<int64_t> atMs = std::nullopt) override;
    const olv::device::InstrumentIdentity& ShownIdentity() const; // shown().ShownIdentity()
    // ---- Keyboard, units, widths, first start, the window's place (window_comfort.h) ----
    WindowComfort& comfort() { return *comfort_; }

    // ---- State ----
    // The time of day in milliseconds since the epoch (Form1Deps::clock): the trend's stamps and the
    // calibration's waits.
    olv::device::LiveTrend::Clock clock;
    olv::link::LinkSettings linkSettings;
    olv::device::PendingDeviceLink pendingLink;
    olv::device::RegisterImage image;
    // Views of the line's state. uiBusy: the fields are being filled from code or still settle after
    // start-up, so their change handlers take no edit (0 given ends the settling). pollEnabled: the
    // start-up read has run (0 given makes it due again, 1 ends it).
    LineFlag uiBusy{[this] { return int(filling_ || line_.settling()); },
                    [this](int busy) {
                        filling_ = busy != 0;
                        if (!busy && line_.settling()) SetLineState(olv::link::LineState::StartupRead);
                    }};
    LineFlag pollEnabled{[this] { return int(line_.pollEnabled()); },
                         [this](int enabled) {
                             if (enabled)
                                 SetLineState(olv::link::LineState::Idle);
                             else if (line_.pollEnabled())
                                 SetLineState(olv::link::LineState::StartupRead);
                         }};
    QString regFileName;

    // The message boxes of the program, the one serial port and the Modbus master on it.
    std::unique_ptr<QtMessageBoxes> ownBoxes; // when none were given
    olv::messages::MessageBoxes* boxes = nullptr;
    olv::link::PortLink portLink;
    olv::link::PortMaster master;

    // The page the notebook showed before its last change: the page being left on the next one.
    int shownPage = 4;

    // The handler that a control or timer ran last, for checking the wiring.
    using Handler = HandlerId;
    Handler lastHandler;

    // How often each closing step ran (each runs once).
    int formCloseRuns = 0;
    int formDestroyRuns = 0;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Every control's signal to its handler, in one style: On runs the handler guarded (what it
    // throws goes to MEx) and notes it as the handler that ran last.
    void ConnectHandlers();
    template <class Sender, class Signal> void On(Sender* sender, Signal signal, void (TForm1::*handler)()) {
        PageHost::On(sender, signal, this, handler);
    }
    void RunHandler(QObject* sender, HandlerId id, const std::function<void()>& handler) override;

    // Runs one handler; what it throws goes to MEx.
    void Guarded(QObject* sender, const std::function<void()>& handler) override;
    // What the pages reach of the window (PageHost).
    olv::link::PortMaster& Master() override { return master; }
    olv::messages::MessageBoxes& Boxes() override { return *boxes; }
    olv::device::RegisterImage& Image() override { return image; }
    olv::link::LinkSettings& Link() override { return linkSettings; }
    olv::device::PendingDeviceLink& PendingLink() override { return pendingLink; }
    LineFlag& UiBusy() override { return uiBusy; }
    void RepaintNow() override { repaint(); }
    bool LineBusy() const override { return operationRunning || LineWaiting(); }
    olv::link::PortLink& Port() override { return portLink; }
    int64_t NowMs() const override { return clock(); }
    // The window's own rooms (link_health_line.h, shown_instrument.h, window_comfort.h), reached by the
    // pages and menus through the window: they go after them.
    std::unique_ptr<LinkHealthLine> healthLine_;
    std::unique_ptr<ShownInstrumentNotes> shown_;
    std::unique_ptr<WindowComfort> comfort_;
    std::unique_ptr<SensorPage> sensor_;
    std::unique_ptr<LinkPage> link_;
    std::unique_ptr<SearchPage> search_;
    std::unique_ptr<TextPage> text_;
    // What the menus reach of the window (MenuHost), and the menus.
    void BuildMenus(); // menu_window.cpp
    QMainWindow& Window() override { return *this; }
    void ReportNextIniWriteError() override { iniErrorShown_ = false; }
    QString& LogFileName() override;
    int& LogEnabled() override;
    bool ReadLiveNow(olv::device::LiveReading& reading) override;
    const olv::device::LiveTrend& Trend() const override;
    const olv::device::InstrumentIdentity& InstrumentShown() const override { return ShownIdentity(); }
    QImage TrendPicture(const olv::device::InstrumentIdentity* only) override;
    bool ChooseFile(QFileDialog* dialog, QString& fileName, bool& firstFilterSelected) override;
    SensorPage& SensorShown() override { return *sensor_; }
    TextPage& TextShown() override { return *text_; }
    std::unique_ptr<PortsMenu> ports_;
    std::unique_ptr<HelpMenu> help_;
    std::unique_ptr<ProfileMenu> profiles_;
    std::unique_ptr<ConfigFileMenu> configFile_;
    std::unique_ptr<RecordMenu> record_;
    std::unique_ptr<JournalMenu> journal_;
    // Station settings file and recent profile at start and exit; a refused write is shown once.
    void LoadStationSettingsReported();
    void SaveStationSettingsReported();
    QString RecentProfilePath() const;

  public:
    // A settings file could not be written: one warning box for start-up and one for closing.
    void ReportIniWriteError(const olv::settings::IniWriteError& error) override;

  public:
    static constexpr int MonitorPage = 5; // "Монитор линии"
    // This start sends nothing until the user asks (--listen, or the port's choice in the ports dialog):
    // the line monitor listens from the start, no start-up read goes out, and the live page polls only
    // once the user shows it.
    bool quietStart = false;

  private:
    friend class ::InstrumentOperation; // holds the line and closes the window at its end
    // Goes to the line monitor and listens, at the start of a start without transmitting.
    void StartWithoutTransmitting();
    bool listenAtStart_ = false; // --listen
    olv::link::LineStateKeeper line_;
    bool filling_ = false; // uiBusy set by a fill from code
    bool iniErrorShown_ = false;
    bool formCreated_ = false;

    bool closingBySignal_ = false;
    bool closeAfterOperation_ = false; // a close came during an operation or a wait: it happens at its end
    std::unique_ptr<LineWaiter> lineWaiter_; // the ports' waits, while the window lives
    // The line monitor page and the window as it sees it (monitor_window.cpp); the page goes first.
    std::unique_ptr<MonitorHost> MonitorWindow();
    std::unique_ptr<MonitorHost> monitorWindow_;
    std::unique_ptr<LineMonitorPage> monitor_;
    // The live page and the window as it sees it (live_window.cpp); the page goes first.
    std::unique_ptr<LiveHost> LiveWindow();
    std::unique_ptr<LiveHost> liveWindow_;
    std::unique_ptr<LivePage> live_;
};
