// The window's life: start-up, the start-up read, timers, page changes and closing.
#include "ui/window/form1.h"
#include "ui/window/form1_rooms.h"

#include "ui/app/close_signals.h"
#include "ui/app/olv_application.h"
#include "ui/menus/calibration_menu.h"
#include "ui/menus/config_file_menu.h"
#include "ui/menus/help_menu.h"
#include "ui/menus/journal_menu.h"
#include "ui/menus/ports_menu.h"
#include "ui/menus/profile_menu.h"
#include "ui/menus/record_menu.h"
#include "ui/menus/menu_host.h"
#include "ui/pages/live/live_page.h"
#include "ui/pages/monitor/line_monitor_page.h"
#include "ui/pages/monitor/monitor_host.h"
#include "ui/pages/page_link.h"
#include "ui/pages/page_search.h"
#include "ui/pages/page_text.h"
#include "ui/pages/sensor/sensor_page.h"
#include "ui/widgets/caption_panel.h"
#include "ui/widgets/monitor_table.h"
#include "ui/window/line_waiter.h"
#include "ui/window/link_health_line.h"
#include "ui/window/qt_message_boxes.h"
#include "ui/window/shown_instrument.h"
#include "ui/window/window_comfort.h"

#include "device/encodings.h"
#include "device/sensor_configuration.h"
#include "settings/ini_file.h"
#include "settings/port_assignment.h"
#include "settings/station_settings.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTabWidget>
#include <QTimer>

#include <clocale>

using olv::link::ResultFlags;

TForm1::TForm1(Form1Deps deps)
    : ownBoxes(deps.boxes ? nullptr : std::make_unique<QtMessageBoxes>()),
      boxes(deps.boxes ? deps.boxes : ownBoxes.get()),
      portLink(std::move(deps.port), *boxes, std::move(deps.resolvePath)),
      master(portLink.port(), linkSettings) {
    clock = deps.clock ? std::move(deps.clock) : std::function<int64_t()>([] {
        return static_cast<int64_t>(QDateTime::currentMSecsSinceEpoch());
    });
    if (ownBoxes) ownBoxes->setOwner(this);
    rooms_ = std::make_unique<Rooms>();
    rooms_->pageWindow = PageWindow(*this);
    // From here on every wait of the port for its line keeps the window painting.
    lineWaiter_ = std::make_unique<LineWaiter>();
    lineWaiter_->setAfterWait([this] {
        // A signal taken during the wait begins its close now, after the transaction.
        if (closingBySignal_) CloseSignals::StartPatience();
        // A close held back during a wait outside any operation (a live poll, a connect of the link
        // row) happens once the handler that waited has unwound; an operation's close waits for the
        // operation's end.
        if (closeAfterOperation_ && !operationRunning)
            QTimer::singleShot(0, this, [this] { close(); });
    });
    setupUi(this);
    rooms_->healthLine = std::make_unique<LinkHealthLine>(host(), line_, *this);
    rooms_->monitorWindow = MonitorWindow(*this);
    rooms_->monitor = std::make_unique<LineMonitorPage>(
        *rooms_->monitorWindow, LineMonitorPage::Controls{Button11, Button12, Button13, ComboBox18, Label41, Label43,
                                                   StringGrid2, monitorModel, Timer6});
    rooms_->sensor = std::make_unique<SensorPage>(host(), *this);
    rooms_->link = std::make_unique<LinkPage>(host(), *this);
    rooms_->search = std::make_unique<SearchPage>(host(), *this);
    rooms_->text = std::make_unique<TextPage>(host(), *this);
    rooms_->liveWindow = LiveWindow(*this);
    rooms_->live = std::make_unique<LivePage>(host(), *rooms_->liveWindow, *this, clock);
    BuildMenus();
    rooms_->shown = std::make_unique<ShownInstrumentNotes>(host(), *this, sensor(), search(), live(), healthLine());
    shown().BuildShownInstrumentNotes();
    ConnectHandlers();
    rooms_->comfort = std::make_unique<WindowComfort>(host(), *this, *this);
    comfort().BuildWindowComfort();
    // Every transaction on the wire: the link health line counts it, the monitor page shows it.
    master.setObserver([this](const olv::link::ExchangeRecord& record) {
        healthLine().NoteLinkHealth(record);
        monitor().NoteOwnExchange(record);
    });
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this] { Guarded(this, [this] { SaveSettings(); }); });
    listenAtStart_ = deps.listenAtStart;
    if (deps.runFormCreate) FormCreate();
}

TForm1::~TForm1() {
    if (monitorModel) monitorModel->setCapture(nullptr); // the capture goes before the table does
    Guarded(this, [this] { FormDestroy(); });
    lineWaiter_.reset();
    if (auto* app = qobject_cast<OlvApplication*>(QCoreApplication::instance())) app->setExceptionHandler({});
}

void TForm1::Guarded(QObject* sender, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        MEx(sender, &error);
    } catch (...) {
        MEx(sender, nullptr);
    }
}

void TForm1::MEx(QObject*, const std::exception*) {
    // Dropped without a message: the window stays as the handler left it.
}

void TForm1::FormCreate() {
    formCreated_ = true;
    uiBusy = 0;
    iniErrorShown_ = false;
    // Every number conversion of the program uses the point, whatever the system locale says.
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_NUMERIC, "C");

    FillListsHintsAndCaption();
    const QString profilePath = RecentProfilePath();
    const bool firstStart = !QFileInfo::exists(olv::settings::StationSettingsPath());
    LoadStationSettingsReported();
    comfort().RestoreWindowGeometry();
    monitor().LoadMonitorSettings();
    ports().ShowPortPaths();
    profiles().LoadProfileToWindow(profilePath);
    ShowLinkSettings(uiBusy);
    search().ClearSearchResults();
    search().SetLinkControlsEnabled(true);
    // Opening the port sends nothing; nor does a start without transmitting afterwards.
    quietStart = listenAtStart_ || olv::settings::ListensAtStart(linkSettings.portNumber);
    OpenPort();
    portLink.raiseLines();
    if (firstStart) comfort().ShowFirstStartNote();

    Timer2->setInterval(50);
    Timer3->setInterval(200);

    // The fields settle (their changes are not the user's) until Timer2; the start-up read follows.
    SetLineState(olv::link::LineState::Settling);

    if (auto* app = qobject_cast<OlvApplication*>(QCoreApplication::instance()))
        app->setExceptionHandler(
            [this](QObject* sender, const std::exception* error) { MEx(sender, error); });

    // The timers start only now: a tick handled inside one of start-up's boxes would run the start-up
    // read before the port is open, or twice. Their intervals count from here, so the start-up read
    // comes 200 ms after start-up ended however long a box stayed open. A window closed during
    // start-up (by a signal) starts none.
    if (formCloseRuns == 0) {
        for (QTimer* timer : {Timer1, Timer2, Timer4, Timer5})
            timer->start();
        if (quietStart)
            StartWithoutTransmitting();
        else
            Timer3->start();
    }
}

void TForm1::StartWithoutTransmitting() {
    // Another master may be polling this line: the start-up read would collide with it. The pages
    // stay as they are until the user reads; the live page polls once it is shown.
    pollEnabled = 1;
    TabbedNotebook1->setCurrentIndex(MonitorPage);
    monitor().StartListening();
}

void TForm1::LoadStationSettingsReported() {
    try {
        olv::settings::LoadStationSettings(linkSettings, pendingLink, regFileName, *boxes);
    } catch (const olv::settings::IniWriteError& error) {
        // The values read before the refused write are kept; start-up goes on with them.
        ReportIniWriteError(error);
    }
}

void TForm1::SaveStationSettingsReported() {
    try {
        olv::settings::SaveStationSettings(linkSettings, comfort().WindowGeometryNow());
    } catch (const olv::settings::IniWriteError& error) {
        ReportIniWriteError(error);
    }
}

void TForm1::ReportIniWriteError(const olv::settings::IniWriteError& error) {
    // One box for start-up, one for closing and one for each profile load or save from the menu,
    // however many writes of that step are refused.
    if (iniErrorShown_) return;
    iniErrorShown_ = true;
    boxes->show({QStringLiteral("Не удалось записать настройки в файл %1")
                     .arg(QDir::toNativeSeparators(error.path())),
                 QStringLiteral("Ошибка"), olv::messages::BoxIcon::Warning, olv::messages::BoxButtons::Ok,
                 QString::fromUtf8(error.what())});
}

QString TForm1::RecentProfilePath() const {
    return QDir::current().absoluteFilePath(QStringLiteral("recent.prf"));
}

void TForm1::OpenPort() {
    portLink.openPort(linkSettings.portNumber, linkSettings.baudRate, 8, linkSettings.parity,
                        linkSettings.stopBits, linkSettings.timeoutMs);
    healthLine().PortOpened(QString::fromStdString(portLink.pathOf(linkSettings.portNumber)));
    shown().FollowShownInstrument();
}

void TForm1::ReconnectIfLost() {
    if (portLink.reconnectIfLost()) healthLine().PortReopened();
}

void TForm1::NoteInstrumentRead(const olv::device::RegisterImage& words, unsigned keptPages) {
    shown().NoteInstrumentRead(words, keptPages);
}

void TForm1::StampPages(unsigned pages, std::optional<int64_t> atMs) {
    shown().StampPages(pages, atMs);
}

const olv::device::InstrumentIdentity& TForm1::ShownIdentity() const {
    return rooms_->shown->ShownIdentity();
}

// pollEnabled: 0 given makes the start-up read due again, 1 ends it.
LineFlag TForm1::PollEnabledView() {
    return LineFlag([this] { return int(line_.pollEnabled()); },
                    [this](int enabled) {
                        if (enabled)
                            SetLineState(olv::link::LineState::Idle);
                        else if (line_.pollEnabled())
                            SetLineState(olv::link::LineState::StartupRead);
                    });
}

void TForm1::Timer2Timer() {
    Timer2->stop();
    uiBusy = 0;
    for (QWidget* control : std::initializer_list<QWidget*>{
             Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8, ComboBox4, ComboBox5, ComboBox6, ComboBox7,
             ComboBox8, ComboBox9, ComboBox10, ComboBox11, ComboBox14, ComboBox15, ComboBox16})
        SetNormal(control);
}

void TForm1::Timer3Timer() {
    Timer3->stop();
    const InstrumentOperation operation(*this);
    if (!operation.started()) {
        // Another operation is on the line: the start-up read comes after it.
        Timer3->start();
        return;
    }

    // A port that could not be opened has been reported already; reads that cannot go out would only
    // add exchange errors. The quiet reconnection brings the line back when the adapter is there.
    if (!portLink.lost()) {
        uint8_t exceptionCode = 0;
        ResultFlags flags = sensor().ReadConfiguration(exceptionCode);
        if (!olv::link::Succeeded(flags, exceptionCode)) {
            ReportExchangeError(flags, exceptionCode);
        } else {
            sensor().ShowConfiguration();
            text().ShowDeviceText();
        }

        exceptionCode = 0;
        flags = text().ReadVersions(exceptionCode);
        if (!olv::link::Succeeded(flags, exceptionCode))
            ReportExchangeError(flags, exceptionCode);
        else
            text().ShowVersions();
    } else {
        Panel5->setVisible(false); // no read to show the progress of
    }

    for (QWidget* control : std::initializer_list<QWidget*>{
             Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8, Edit9, Edit10, Edit11, ComboBox4, ComboBox5,
             ComboBox6, ComboBox7, ComboBox8, ComboBox9, ComboBox10, ComboBox11})
        SetNormal(control);
    pollEnabled = 1;
}

void TForm1::Timer4Timer() {
    // Inside a wait for the line user input is held back until the transaction is over.
    if (LineWaiting()) return;
    QCoreApplication::processEvents();
}

void TForm1::Timer5Timer() {
    Timer5->stop();
}

void TForm1::Pause(int ms) {
    Timer5->setInterval(ms);
    Timer5->start();
    // Sleeps until the next event; Timer5's tick stops the timer and so ends the wait. A pause that
    // starts inside this one restarts Timer5, which only makes this one longer.
    while (Timer5->isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TForm1::TabbedNotebook1Change(int, bool& allowChange) {
    allowChange = true;
    switch (shownPage) {
    case 0:
        Timer1->setInterval(1000);
        break;
    case 1:
        sensor().SetConfigFieldsNormal();
        break;
    case 2:
        link().Left();
        break;
    default:
        break;
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A capture file being read is given up, and listening ended: what was heard stays in its file
    // until the window goes.
    monitor().CancelCaptureOpen();
    if (listening) monitor().StopListening();
    if (operationRunning || LineWaiting()) {
        // A transaction waiting for its reply keeps the port until it ends; closing it underneath
        // would end the wait on a closed descriptor.
        // A half-written instrument is worse than a close that takes a few seconds: the operation
        // ends first (a search stops as by "Остановить"), then the window closes. No box waits for
        // an answer in the meantime.
        closeAfterOperation_ = true;
        search().searchRunning = 0;
        if (ownBoxes) ownBoxes->dismissAll();
        event->ignore();
        return;
    }
    Guarded(this, [this] { FormClose(); });
    event->accept();
}

void TForm1::FormClose() {
    if (formCloseRuns > 0) return;
    ++formCloseRuns;
    iniErrorShown_ = false;
    portLink.closePort();
    if (!formCreated_) return;
    CollectLinkSettings(uiBusy);
    search().CollectSearchSettings();
    text().CollectDeviceText();
    SaveStationSettingsReported();
    profiles().SaveWindowToProfile(RecentProfilePath());
}

void TForm1::FormDestroy() {
    if (formDestroyRuns > 0) return;
    ++formDestroyRuns;
    SaveSettings();
}

void TForm1::SaveSettings() {
    // A window whose settings were never loaded has nothing of the user's to save.
    if (!formCreated_) return;
    CollectLinkSettings(uiBusy);
    search().CollectSearchSettings();
    SaveStationSettingsReported();
    profiles().SaveWindowToProfile(RecentProfilePath());
}

void TForm1::CloseBySignal() {
    closingBySignal_ = true;
    if (ownBoxes) ownBoxes->dismissAll();
    // Dialogs (a file dialog, a box shown by other means) are closed too, innermost first.
    for (int guard = 0; guard < 16; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == this) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
    // Closed once the handler that showed a box has unwound.
    QTimer::singleShot(0, this, [this] { close(); });
}
