// The monitor page's settings, the program's own traffic per port, listening and the counters.
#include "ui/pages/monitor/line_monitor_page.h"

#include "ui/widgets/monitor_table.h"

#include "link/exchange_trace.h"
#include "link/link_settings.h"
#include "link/port_link.h"
#include "messages/message_boxes.h"
#include "monitor/monitor_texts.h"
#include "settings/ini_file.h"
#include "settings/station_settings.h"
#include "text/cp1251.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTableView>
#include <QTimer>

#include <chrono>

using olv::monitor::Capture;
using olv::monitor::Micros;

namespace {

Micros WallNow() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A steady-clock time of the master's record as wall-clock time.
Micros WallTimeOf(olv::link::ExchangeRecord::Clock::time_point t, Micros wallNow,
                  olv::link::ExchangeRecord::Clock::time_point steadyNow) {
    return wallNow - std::chrono::duration_cast<std::chrono::microseconds>(steadyNow - t).count();
}

} // namespace

QStringList LineMonitorPage::SpoolFolders() {
    return {QDir::currentPath(), QDir::tempPath()};
}

LineMonitorPage::LineMonitorPage(MonitorHost& window, const Controls& controls) : window_(window), ui_(controls) {
    ConnectHandlers();
}

LineMonitorPage::~LineMonitorPage() {
    // The capture goes before the table does.
    if (ui_.monitorModel) ui_.monitorModel->setCapture(nullptr);
}

void LineMonitorPage::ConnectHandlers() {
    const auto on = [this](auto* sender, auto signal, void (LineMonitorPage::*handler)()) {
        connect(sender, signal, this, [this, sender, handler] { window_.Guarded(sender, [&] { (this->*handler)(); }); });
    };
    // activated: a pick by the user, also of the entry already selected; never from code.
    on(ui_.ComboBox18, &QComboBox::activated, &LineMonitorPage::ComboBox18Change);
    on(ui_.Button11, &QPushButton::clicked, &LineMonitorPage::Button11Click);
    on(ui_.Button12, &QPushButton::clicked, &LineMonitorPage::Button12Click);
    on(ui_.Button13, &QPushButton::clicked, &LineMonitorPage::Button13Click);
    on(ui_.Timer6, &QTimer::timeout, &LineMonitorPage::Timer6Timer);
}

void LineMonitorPage::LoadMonitorSettings() {
    // Read only: the keys are there when the user put them there.
    const olv::settings::IniFile ini(olv::settings::StationSettingsPath());
    const olv::monitor::MonitorSettings settings = olv::monitor::MonitorSettingsOf(
        ini.readInteger(QStringLiteral("MONITOR"), QStringLiteral("Frames"),
                        olv::monitor::MonitorSettings::DefaultFrames),
        ini.readInteger(QStringLiteral("MONITOR"), QStringLiteral("CaptureFileMB"),
                        olv::monitor::MonitorSettings::DefaultSpoolMb));
    monitorFrames = settings.frames;
    monitorSpoolBytes = settings.spoolBytes;

    // Spools a killed program left behind: gone now, and the trace says so.
    const QStringList removed = olv::monitor::RemoveStaleSpools(SpoolFolders());
    const olv::link::LinkSettings& link = window_.linkSettings();
    if (link.traceEnabled != 1) return;
    const olv::link::ExchangeTrace trace;
    for (const QString& path : removed)
        trace.appendNote(link.traceFileName,
                         olv::text::ToCp1251(QStringLiteral("удален файл записи обмена программы, которая "
                                                              "уже не работает: %1")
                                                   .arg(QDir::toNativeSeparators(path)))
                             .toStdString());
}

std::unique_ptr<Capture> LineMonitorPage::NewCapture() const {
    const olv::link::LinkSettings& link = window_.linkSettings();
    return std::make_unique<Capture>(
        Capture::Settings{link.baudRate, link.timeoutMs, link.byteOrder, static_cast<size_t>(monitorFrames)});
}

std::unique_ptr<olv::monitor::CaptureSession> LineMonitorPage::NewCaptureSession() const {
    return std::make_unique<olv::monitor::CaptureSession>(
        olv::monitor::CaptureSession::Options{SpoolFolders(), monitorSpoolBytes});
}

void LineMonitorPage::StashOwnTraffic() {
    if (!capture || capture.get() != ownCapture_ || ownPort_.isEmpty()) return;
    olv::monitor::PortTraffic& kept =
        ownTraffic.of(ownPort_, [](const QString&) { return olv::monitor::PortTraffic{}; });
    kept.capture = std::move(capture);
    kept.session = std::move(captureSession_);
    ownCapture_ = nullptr;
}

void LineMonitorPage::ShowOwnTraffic(const QString& port) {
    StashOwnTraffic();
    olv::monitor::PortTraffic& traffic =
        ownTraffic.of(port, [](const QString&) { return olv::monitor::PortTraffic{}; });
    if (!traffic.capture) {
        traffic.capture = NewCapture();
        traffic.session = NewCaptureSession();
    }
    ui_.monitorModel->setCapture(nullptr);
    capture = std::move(traffic.capture);
    captureSession_ = std::move(traffic.session);
    ui_.monitorModel->setCapture(capture.get());
    ownCapture_ = capture.get();
    ownPort_ = port;
}

void LineMonitorPage::NoteOwnExchange(const olv::link::ExchangeRecord& record) {
    if (window_.listening()) return;
    // Each port's exchanges in a table of their own: a COM port, a tap and a gateway never mix.
    const olv::link::LinkSettings& link = window_.linkSettings();
    const QString port = olv::monitor::TrafficPortName(link.portNumber, window_.linkPath());
    if (!capture || capture.get() != ownCapture_ || ownPort_ != port) ShowOwnTraffic(port);
    const Micros wall = WallNow();
    const auto steady = olv::link::ExchangeRecord::Clock::now();
    capture->setByteOrder(link.byteOrder);
    capture->addOwn(record, WallTimeOf(record.sent, wall, steady), WallTimeOf(record.ended, wall, steady));
    // One append to the file and one row more for the view: about what the trace costs a transaction.
    SyncMonitor();
}

void LineMonitorPage::ReportCaptureFileFailure() {
    if (!captureSession_ || !captureSession_->failureToReport()) return;
    const QString where = captureSession_->spoolPath().isEmpty() ? SpoolFolders().join(QStringLiteral(", "))
                                                                 : captureSession_->spoolPath();
    window_.boxes().show({QStringLiteral("Не удалось записать кадры в файл %1. Кадры, пришедшие после этого, "
                                         "в сохраняемую запись не попадут.")
                              .arg(QDir::toNativeSeparators(where)),
                          QStringLiteral("Ошибка"), olv::messages::BoxIcon::Warning,
                          olv::messages::BoxButtons::Ok,
                          olv::monitor::SpoolFailureReason(captureSession_->error())});
}

void LineMonitorPage::SyncMonitor() {
    if (!capture) return;
    if (captureSession_)
        captureSession_->take(*capture);
    else
        capture->spool().clear();
    QScrollBar* bar = ui_.StringGrid2->verticalScrollBar();
    const bool atBottom = bar->value() == bar->maximum();
    ui_.monitorModel->sync();
    if (atBottom) ui_.StringGrid2->scrollToBottom();

    const olv::monitor::Counters& n = capture->counters();
    const int64_t dropped = n.droppedFrames + (captureSession_ ? captureSession_->droppedFrames() : 0);
    ui_.Label41->setText(
        olv::monitor::CaptureTotalsText(n, dropped, capture.get() == ownCapture_ ? ownPort_ : QString()));
    ui_.Label43->setText(olv::monitor::CaptureAddressesText(n));
}

void LineMonitorPage::Timer6Timer() {
    if (window_.listening())
        DrainMonitor();
    else
        ui_.Timer6->stop();
    SyncMonitor();
    ReportCaptureFileFailure();
}

void LineMonitorPage::Button11Click() {
    if (window_.listening())
        StopListening();
    else
        StartListening();
}

void LineMonitorPage::StartListening() {
    if (window_.listening()) return;
    std::unique_ptr<MonitorHost::LineHold> operation = window_.HoldLine();
    if (!operation) return;
    olv::link::Port& port = window_.portLink().port();
    // The port as the link row sets it; opening it sends nothing.
    if (!port.isOpen() || port.hungUp()) window_.OpenPort();
    if (!port.isOpen()) return;
    port.purge(); // what lay in the queue belongs to no frame heard from now on

    listeningOperation_ = std::move(operation);
    window_.SetListening(true);
    ownCapture_ = nullptr; // the table of own exchanges gives way to the line's, as a file's does
    capture = NewCapture();
    captureSession_ = NewCaptureSession();
    ui_.monitorModel->setCapture(capture.get());
    if (port.descriptor() >= 0) {
        monitorNotifier_ = new QSocketNotifier(port.descriptor(), QSocketNotifier::Read, window_.widget());
        connect(monitorNotifier_, &QSocketNotifier::activated, this,
                [this] { window_.Guarded(monitorNotifier_, [this] { DrainMonitor(); }); });
    }
    ui_.Timer6->start();
    ui_.Button11->setText(QStringLiteral("Остановить"));
    ui_.Button11->setEnabled(true); // the one command of this operation
    ui_.Button13->setEnabled(false);
    SyncMonitor();
}

void LineMonitorPage::StopListening() {
    if (!window_.listening()) return;
    // Possibly inside the notifier's own signal (the line went): it goes once that has returned.
    if (monitorNotifier_) {
        monitorNotifier_->setEnabled(false);
        monitorNotifier_->deleteLater();
        monitorNotifier_ = nullptr;
    }
    capture->end();
    window_.SetListening(false); // the listening operation ends below
    SyncMonitor();
    ui_.Button11->setText(QStringLiteral("Слушать"));
    ui_.Button13->setEnabled(true);
    listeningOperation_.reset();
}

void LineMonitorPage::DrainMonitor() {
    if (!window_.listening()) return;
    olv::link::PortLink& link = window_.portLink();
    olv::link::Port& port = link.port();
    uint8_t buffer[4096];
    // Bounded per call, so that a flooded line leaves the window its events.
    for (int i = 0; i < 64; ++i) {
        const size_t n = port.readAvailable(buffer, sizeof buffer);
        if (n == 0) break;
        capture->feed(buffer, n, WallNow(), port.takeLineErrors() != 0);
    }
    capture->idle(WallNow());
    if (port.isOpen() && !port.hungUp()) return;
    // The adapter was pulled out or the connection went: what was heard stays in the table and the file.
    StopListening();
    window_.boxes().show({QStringLiteral("Связь с портом потеряна, прослушивание остановлено."),
                          QStringLiteral("Ошибка"), olv::messages::BoxIcon::Error, olv::messages::BoxButtons::Ok,
                          QString::fromStdString(link.pathOf(window_.linkSettings().portNumber))});
}

void LineMonitorPage::ComboBox18Change() {
    ui_.monitorModel->setAddressFilter(ui_.ComboBox18->currentIndex() > 0 ? ui_.ComboBox18->currentIndex() : -1);
}
