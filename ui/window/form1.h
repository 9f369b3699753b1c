#pragma once

#include "device/pending_device_link.h"
#include "device/register_image.h"
#include "link/line_state.h"
#include "link/link_settings.h"
#include "link/port_link.h"
#include "link/port_master.h"
#include "ui/window/edit_marking.h"
#include "ui/window/form1_controls.h"
#include "ui/window/form1_deps.h"
#include "ui/window/instrument_operation.h"
#include "ui/window/line_flag.h"
#include "ui/window/page_host.h"

#include <QMainWindow>
#include <QString>

#include <exception>

class QFileDialog;
class CalibrationMenu;
class ConfigFileMenu;
class HelpMenu;
class JournalMenu;
class LineMonitorPage;
class LineWaiter;
class LinkHealthLine;
class LinkPage;
class LivePage;
class PortsMenu;
class ProfileMenu;
class QtMessageBoxes;
class RecordMenu;
class SearchPage;
class SensorPage;
class ShownInstrumentNotes;
class TextPage;
class WindowComfort;
namespace olv::device {
struct InstrumentIdentity;
}
namespace olv::settings {
class IniWriteError;
}

// The main window: its controls (Form1Controls, built by setupUi), the program's state and its rooms
// (form1_rooms.h), the pages and menus reaching it through PageHost and MenuHost. Split by concern:
// form1.cpp (start-up, timers, closing), link_row.cpp, form1_wiring.cpp (lists, hints, signals),
// exchange_report.cpp, page_write_report.cpp, instrument_operation.cpp, edit_marking.cpp.
class TForm1 : public QMainWindow, public Form1Controls, public EditMarking {
    Q_OBJECT

  public:
    explicit TForm1(Form1Deps deps);
    ~TForm1() override;

    // ---- Life (form1.cpp) ----
    void FormCreate();
    void FormClose();
    void FormDestroy();
    void MEx(QObject* sender, const std::exception* error);              // drops what escaped a handler
    void Guarded(QObject* sender, const std::function<void()>& handler); // runs it; what it throws to MEx
    void Timer2Timer();
    void Timer3Timer();
    void Timer4Timer();
    void Timer5Timer();
    void Pause(int ms);
    void TabbedNotebook1Change(int newPage, bool& allowChange);
    void
    CloseBySignal();     // SIGTERM, SIGINT, SIGHUP: boxes and dialogs dismissed, then closed as by its button
    void SaveSettings(); // dev.dat and recent.prf from the controls, at exit and when the session ends
    // A settings file could not be written: one box at start-up, one at closing, and one for the step
    // the user asked for after ReportNextIniWriteError.
    void ReportIniWriteError(const olv::settings::IniWriteError& error);
    void ReportNextIniWriteError() { iniErrorShown_ = false; }

    // ---- The rooms: pages, menus, the health line, the instrument shown, the window's comfort ----
    LivePage& live();           // page 0, "Текущее значение"
    SensorPage& sensor();       // page 1, "Параметры датчика"
    LinkPage& link();           // page 2, "Настройки связи"
    SearchPage& search();       // page 3, "Поиск приборов"
    TextPage& text();           // page 4, "Текст"
    LineMonitorPage& monitor(); // page 5, "Монитор линии"
    static constexpr int MonitorPage = 5;
    ProfileMenu& profiles();      // "Прочитать/Записать профиль настроек"
    ConfigFileMenu& configFile(); // "Сохранить/Открыть конфигурацию прибора…"
    RecordMenu& record();         // "Протокол настройки…"
    JournalMenu& journal();       // "Журнал изменений…", the journal of writes
    CalibrationMenu& calibration(); // "Калибровка…"
    PortsMenu& ports();             // "Назначение портов…"
    HelpMenu& help();               // "Выход", "Справка"
    LinkHealthLine& healthLine();   // the status bar
    ShownInstrumentNotes& shown();  // every page's data belongs to the instrument the window names
    const olv::device::InstrumentIdentity& ShownIdentity() const; // shown().ShownIdentity()
    WindowComfort& comfort(); // keyboard, units, widths, first start, the window's place
    // The menus' file dialogs run unless this is set: tests set it to answer without a dialog.
    std::function<bool(QFileDialog* dialog, QString& fileName, bool& firstFilterSelected)> chooseProfileFile;

    // ---- The link row and the trace switch (link_row.cpp) ----
    void ShowLinkSettings(int guard);
    void CollectLinkSettings(int guard);
    void OpenPort(); // with the link settings in force, 8 data bits
    // A port lost to a hang-up or a failed open is opened again quietly, at most once a second.
    void ReconnectIfLost();
    void ComboBox1Change();
    void ComboBox2Change();
    void ComboBox3Change();
    void ComboBox14Change();
    void CheckBox7Click();

    // ---- The line (line_state.h), changed only by SetLineState; the health line shows each change ----
    void SetLineState(olv::link::LineState state);
    olv::link::LineState lineState() const { return line_.state(); }
    // A transaction is waiting for the line in the window's nested event loop (a live poll's, an
    // operation's, a connect's): nothing that fires meanwhile may start another one.
    bool LineWaiting() const;
    olv::device::InstrumentId TargetInstrument() const; // what the link settings reach now
    // One operation on the instrument at a time (instrument_operation.h).
    using InstrumentOperation = ::InstrumentOperation;
    std::unique_ptr<OperationHold> BeginOperation();
    // Nothing is sent until the user asks (--listen, or the port's choice): the line monitor listens,
    // no start-up read goes out, and the live page polls only once the user shows it.
    bool quietStart = false;

    // ---- Exchanges, reads and writes (exchange_report.cpp, page_write_report.cpp) ----
    // The exchange error's box; `detail` (what the instrument holds of a write) as its informative text.
    void ReportExchangeError(olv::link::ResultFlags flags, uint8_t exceptionCode,
                             const QString& detail = QString());
    void ShowExchangeState(olv::link::ResultFlags flags, uint8_t exceptionCode);
    void FocusRefusedField(QWidget* field); // its page shown, the cursor in it, colour kept
    void FillListsHintsAndCaption();        // form1_wiring.cpp
    // Everything of the instrument on the line: configuration, versions, parity; noted as read.
    olv::link::ResultFlags ReadInstrumentState(olv::records::InstrumentState& state, uint8_t& exceptionCode);
    using PageWriteTexts = ::PageWriteTexts;
    using WriteRecord = ::WriteRecord;
    bool ReportPageWrite(const olv::records::InstrumentState& before,
                         const olv::device::PageWriteResult& result, const PageWriteTexts& texts);
    // The program's own link follows each link setting the instrument accepted.
    std::unique_ptr<olv::device::DeviceLinkSteps> LinkFollower(const olv::device::LinkValues& values);
    void NoteInstrumentRead(const olv::device::RegisterImage& words, unsigned keptPages = 0);
    void StampPages(unsigned pages, std::optional<int64_t> atMs = std::nullopt);

    // ---- State ----
    // Milliseconds since the epoch (Form1Deps::clock): the trend's stamps and the calibration's waits.
    std::function<int64_t()> clock;
    olv::link::LinkSettings linkSettings;
    olv::device::PendingDeviceLink pendingLink;
    olv::device::RegisterImage image;
    // Views of the line's state. uiBusy: the fields are being filled from code or still settle after
    // start-up, so their change handlers take no edit (0 given ends the settling). pollEnabled: the
    // start-up read has run (0 given makes it due again, 1 ends it). operationRunning: something holds
    // the line (an operation, the search, listening). listening: the port is listened to, nothing sent.
    LineFlag uiBusy = UiBusyView();
    LineFlag pollEnabled = PollEnabledView();
    LineFlag operationRunning{[this] { return int(olv::link::Holds(line_.state())); }};
    LineFlag listening{[this] { return int(line_.state() == olv::link::LineState::Listening); }};
    QString regFileName;
    // The message boxes of the program, the one serial port and the Modbus master on it.
    std::unique_ptr<QtMessageBoxes> ownBoxes; // when none were given
    olv::messages::MessageBoxes* boxes = nullptr;
    olv::link::PortLink portLink;
    olv::link::PortMaster master;
    int shownPage = 4; // the page the notebook showed before its last change: the one being left next
    using Handler = HandlerId;
    Handler lastHandler;   // the handler that a control or timer ran last, for checking the wiring
    int formCloseRuns = 0; // how often each closing step ran (each runs once)
    int formDestroyRuns = 0;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    friend class ::InstrumentOperation; // holds the line and closes the window at its end
    LineFlag UiBusyView();
    LineFlag PollEnabledView();
    // Every control's signal to its handler, guarded and noted as the handler that ran last.
    void ConnectHandlers();
    template <class Sender, class Signal> void On(Sender* sender, Signal signal, void (TForm1::*handler)());
    PageHost& host(); // the window as its pages and rooms see it (page_window.cpp)
    // Station settings file and recent profile at start and exit; a refused write is shown once.
    void LoadStationSettingsReported();
    void SaveStationSettingsReported();
    QString RecentProfilePath() const;
    void StartWithoutTransmitting(); // to the line monitor, listening, at a start without transmitting

    bool listenAtStart_ = false; // --listen
    olv::link::LineStateKeeper line_;
    bool filling_ = false; // uiBusy set by a fill from code
    bool iniErrorShown_ = false;
    bool formCreated_ = false;
    bool closingBySignal_ = false;
    bool closeAfterOperation_ = false; // a close came during an operation or a wait: it happens at its end
    std::unique_ptr<LineWaiter> lineWaiter_; // the ports' waits, while the window lives
    struct Rooms;                            // form1_rooms.h
    std::unique_ptr<Rooms> rooms_;
    void BuildMenus(); // menu_window.cpp
};
