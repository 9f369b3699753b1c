// Page 5, "Монитор линии": listening to a line that another master drives, without a word, and the
// program's own exchanges when not listening; the capture as a pcap file.
#include "ui/window/form1.h"

#include "ui/widgets/monitor_table.h"

#include "files/plain_file.h"
#include "link/exchange_trace.h"
#include "messages/message_boxes.h"
#include "messages/message_boxes.h"
#include "monitor/capture_opening.h"
#include "monitor/capture_session.h"
#include "monitor/pcap.h"
#include "settings/ini_file.h"
#include "settings/station_settings.h"
#include "text/cp1251.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <cstring>

using olv::monitor::Capture;
using olv::monitor::Micros;

namespace {

constexpr int DefaultFrames = 100000;
constexpr int FewestFrames = 1000;
constexpr int MostFrames = 10000000;
constexpr int DefaultSpoolMb = int(olv::monitor::DefaultSpoolBytes >> 20);
constexpr int FewestSpoolMb = int(olv::monitor::FewestSpoolBytes >> 20);
constexpr int MostSpoolMb = int(olv::monitor::MostSpoolBytes >> 20);

// Where a capture's spool goes: the working folder (a shift of traffic may be more than a memory-backed
// /tmp should hold), else /tmp.
QStringList SpoolFolders() {
    return {QDir::currentPath(), QDir::tempPath()};
}

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

QString SystemReason(int error) {
    return error == EINVAL ? QStringLiteral("это не обычный файл (папка, канал или устройство)")
                           : QString::fromLocal8Bit(std::strerror(error));
}

QString CountsText(const olv::monitor::Counts& n) {
    return QStringLiteral("кадров %1, без ответа %2, ошибок CRC %3, исключений %4")
        .arg(n.frames)
        .arg(n.unanswered)
        .arg(n.crcErrors)
        .arg(n.exceptions);
}

} // namespace

void TForm1::BuildPageMonitor(QWidget* page) {
    auto* column = new QVBoxLayout(page);
    auto* row = new QHBoxLayout();
    const auto button = [page](QPushButton*& member, const char* name, const QString& caption,
                               const QString& hint) {
        member = new QPushButton(caption, page);
        member->setObjectName(QString::fromLatin1(name));
        member->setAutoDefault(false);
        member->setProperty("hint", hint);
        member->setToolTip(hint);
        return member;
    };
    row->addWidget(button(Button11, "Button11", QStringLiteral("Слушать"),
                          QStringLiteral("Слушать линию, ничего не передавая в неё")));
    Label42 = new QLabel(QStringLiteral("Адрес"), page);
    Label42->setObjectName(QStringLiteral("Label42"));
    row->addWidget(Label42);
    ComboBox18 = new QComboBox(page);
    ComboBox18->setObjectName(QStringLiteral("ComboBox18"));
    ComboBox18->setMaxVisibleItems(16);
    ComboBox18->addItem(QStringLiteral("Все"));
    for (int a = 1; a <= 255; ++a)
        ComboBox18->addItem(QStringLiteral("%1").arg(a, 3, 10, QLatin1Char(' ')));
    ComboBox18->setCurrentIndex(0);
    ComboBox18->setProperty("hint", QStringLiteral("Показывать кадры только этого адреса"));
    ComboBox18->setToolTip(ComboBox18->property("hint").toString());
    row->addWidget(ComboBox18);
    row->addStretch(1);
    row->addWidget(button(Button13, "Button13", QStringLiteral("Открыть…"),
                          QStringLiteral("Открыть запись обмена из файла pcap")));
    row->addWidget(button(Button12, "Button12", QStringLiteral("Сохранить…"),
                          QStringLiteral("Сохранить запись обмена в файл pcap")));
    column->addLayout(row);

    for (auto [member, name] : {std::pair{&Label41, "Label41"}, std::pair{&Label43, "Label43"}}) {
        *member = new QLabel(page);
        (*member)->setObjectName(QString::fromLatin1(name));
        (*member)->setWordWrap(true);
        column->addWidget(*member);
    }

    StringGrid2 = new QTableView(page);
    StringGrid2->setObjectName(QStringLiteral("StringGrid2"));
    monitorModel = new MonitorTableModel(StringGrid2);
    StringGrid2->setModel(monitorModel);
    StringGrid2->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid2->setWordWrap(false);
    StringGrid2->verticalHeader()->hide();
    // Rows of one height: the view then never measures the rows it does not show.
    StringGrid2->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid2->verticalHeader()->setDefaultSectionSize(StringGrid2->fontMetrics().height() + 4);
    const int widths[MonitorTableModel::Columns] = {90, 70, 45, 130, 70, 330, 80, 55, 150, 260};
    for (int c = 0; c < MonitorTableModel::Columns; ++c)
        StringGrid2->setColumnWidth(c, widths[c]);
    column->addWidget(StringGrid2, 1);
}

void TForm1::LoadMonitorSettings() {
    // Read only: the keys are there when the user put them there.
    const olv::settings::IniFile ini(olv::settings::StationSettingsPath());
    monitorFrames =
        std::clamp(ini.readInteger(QStringLiteral("MONITOR"), QStringLiteral("Frames"), DefaultFrames),
                   FewestFrames, MostFrames);
    monitorSpoolBytes = int64_t{std::clamp(ini.readInteger(QStringLiteral("MONITOR"),
                                                           QStringLiteral("CaptureFileMB"), DefaultSpoolMb),
                                           FewestSpoolMb, MostSpoolMb)}
                        << 20;

    // Spools a killed program left behind: gone now, and the trace says so.
    const QStringList removed = olv::monitor::RemoveStaleSpools(SpoolFolders());
    if (linkSettings.traceEnabled != 1) return;
    const olv::link::ExchangeTrace trace;
    for (const QString& path : removed)
        trace.appendNote(linkSettings.traceFileName,
                         olv::text::ToCp1251(QStringLiteral("удален файл записи обмена программы, которая "
                                                              "уже не работает: %1")
                                                   .arg(QDir::toNativeSeparators(path)))
                             .toStdString());
}

std::unique_ptr<Capture> TForm1::NewCapture() const {
    return std::make_unique<Capture>(Capture::Settings{linkSettings.baudRate, linkSettings.timeoutMs,
                                                       linkSettings.byteOrder,
                                                       static_cast<size_t>(monitorFrames)});
}

std::unique_ptr<olv::monitor::CaptureSession> TForm1::NewCaptureSession() const {
    return std::make_unique<olv::monitor::CaptureSession>(
        olv::monitor::CaptureSession::Options{SpoolFolders(), monitorSpoolBytes});
}

void TForm1::StashOwnTraffic() {
    if (!capture || capture.get() != ownCapture_ || ownPort_.isEmpty()) return;
    olv::monitor::PortTraffic& kept =
        ownTraffic.of(ownPort_, [](const QString&) { return olv::monitor::PortTraffic{}; });
    kept.capture = std::move(capture);
    kept.session = std::move(captureSession_);
    ownCapture_ = nullptr;
}

void TForm1::ShowOwnTraffic(const QString& port) {
    StashOwnTraffic();
    olv::monitor::PortTraffic& traffic =
        ownTraffic.of(port, [](const QString&) { return olv::monitor::PortTraffic{}; });
    if (!traffic.capture) {
        traffic.capture = NewCapture();
        traffic.session = NewCaptureSession();
    }
    monitorModel->setCapture(nullptr);
    capture = std::move(traffic.capture);
    captureSession_ = std::move(traffic.session);
    monitorModel->setCapture(capture.get());
    ownCapture_ = capture.get();
    ownPort_ = port;
}

void TForm1::NoteOwnExchange(const olv::link::ExchangeRecord& record) {
    if (listening) return;
    // Each port's exchanges in a table of their own: a COM port, a tap and a gateway never mix.
    const QString port = olv::monitor::TrafficPortName(linkSettings.portNumber, linkPath);
    if (!capture || capture.get() != ownCapture_ || ownPort_ != port) ShowOwnTraffic(port);
    const Micros wall = WallNow();
    const auto steady = olv::link::ExchangeRecord::Clock::now();
    capture->setByteOrder(linkSettings.byteOrder);
    capture->addOwn(record, WallTimeOf(record.sent, wall, steady), WallTimeOf(record.ended, wall, steady));
    // One append to the file and one row more for the view: about what the trace costs a transaction.
    SyncMonitor();
}

void TForm1::ReportCaptureFileFailure() {
    if (!captureSession_ || !captureSession_->failureToReport()) return;
    const QString where = captureSession_->spoolPath().isEmpty() ? SpoolFolders().join(QStringLiteral(", "))
                                                                 : captureSession_->spoolPath();
    boxes->show({QStringLiteral("Не удалось записать кадры в файл %1. Кадры, пришедшие после этого, "
                                "в сохраняемую запись не попадут.")
                     .arg(QDir::toNativeSeparators(where)),
                 QStringLiteral("Ошибка"), olv::messages::BoxIcon::Warning, olv::messages::BoxButtons::Ok,
                 SystemReason(captureSession_->error())});
}

void TForm1::SyncMonitor() {
    if (!capture) return;
    if (captureSession_)
        captureSession_->take(*capture);
    else
        capture->spool().clear();
    QScrollBar* bar = StringGrid2->verticalScrollBar();
    const bool atBottom = bar->value() == bar->maximum();
    monitorModel->sync();
    if (atBottom) StringGrid2->scrollToBottom();

    const olv::monitor::Counters& n = capture->counters();
    const int64_t dropped = n.droppedFrames + (captureSession_ ? captureSession_->droppedFrames() : 0);
    const QString own = capture.get() == ownCapture_
                            ? QStringLiteral("Обмен программы через %1. ").arg(ownPort_)
                            : QString();
    Label41->setText(own + QStringLiteral("Всего: ") + CountsText(n.total) +
                     (dropped > 0
                          ? QStringLiteral("; старых кадров не сохранено в файле записи: %1").arg(dropped)
                          : QString()));
    QStringList perAddress;
    for (int a = 0; a < 256; ++a)
        if (n.byAddress[static_cast<size_t>(a)].frames > 0)
            perAddress << QStringLiteral("адрес %1: ").arg(a) +
                              CountsText(n.byAddress[static_cast<size_t>(a)]);
    Label43->setText(perAddress.join(QStringLiteral("; ")));
}

void TForm1::Timer6Timer() {
    if (listening)
        DrainMonitor();
    else
        Timer6->stop();
    SyncMonitor();
    ReportCaptureFileFailure();
}

void TForm1::Button11Click() {
    if (listening)
        StopListening();
    else
        StartListening();
}

void TForm1::StartListening() {
    if (listening) return;
    auto operation = std::make_unique<InstrumentOperation>(*this);
    if (!operation->started()) return;
    olv::link::Port& port = portLink.port();
    // The port as the link row sets it; opening it sends nothing.
    if (!port.isOpen() || port.hungUp()) OpenPort();
    if (!port.isOpen()) return;
    port.purge(); // what lay in the queue belongs to no frame heard from now on

    listeningOperation_ = std::move(operation);
    listening = true;
    SetLinkListening(true);
    ownCapture_ = nullptr; // the table of own exchanges gives way to the line's, as a file's does
    capture = NewCapture();
    captureSession_ = NewCaptureSession();
    monitorModel->setCapture(capture.get());
    if (port.descriptor() >= 0) {
        monitorNotifier_ = new QSocketNotifier(port.descriptor(), QSocketNotifier::Read, this);
        connect(monitorNotifier_, &QSocketNotifier::activated, this,
                [this] { Guarded(monitorNotifier_, [this] { DrainMonitor(); }); });
    }
    Timer6->start();
    Button11->setText(QStringLiteral("Остановить"));
    Button11->setEnabled(true); // the one command of this operation
    Button13->setEnabled(false);
    SyncMonitor();
}

void TForm1::StopListening() {
    if (!listening) return;
    // Possibly inside the notifier's own signal (the line went): it goes once that has returned.
    if (monitorNotifier_) {
        monitorNotifier_->setEnabled(false);
        monitorNotifier_->deleteLater();
        monitorNotifier_ = nullptr;
    }
    capture->end();
    listening = false;
    SetLinkListening(false);
    SyncMonitor();
    Button11->setText(QStringLiteral("Слушать"));
    Button13->setEnabled(true);
    listeningOperation_.reset();
}

void TForm1::DrainMonitor() {
    if (!listening) return;
    olv::link::Port& port = portLink.port();
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
    boxes->show({QStringLiteral("Связь с портом потеряна, прослушивание остановлено."),
                 QStringLiteral("Ошибка"), olv::messages::BoxIcon::Error, olv::messages::BoxButtons::Ok,
                 QString::fromStdString(portLink.pathOf(linkSettings.portNumber))});
}

void TForm1::ComboBox18Change() {
    monitorModel->setAddressFilter(ComboBox18->currentIndex() > 0 ? ComboBox18->currentIndex() : -1);
}

bool TForm1::ChooseCaptureFile(bool save, QString& fileName) {
    if (chooseCaptureFile) return chooseCaptureFile(save, fileName);
    QFileDialog dialog(
        this, save ? QStringLiteral("Сохранить запись обмена") : QStringLiteral("Открыть запись обмена"),
        QString(), QStringLiteral("Запись обмена (*.pcap);;Все файлы (*)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("pcap"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    fileName = dialog.selectedFiles().first();
    return true;
}

void TForm1::Button12Click() {
    if (!capture || capture->endSequence() == 0) {
        boxes->show({QStringLiteral("Сохранять нечего: кадров нет."),
                     QStringLiteral("Сообщение"),
                     olv::messages::BoxIcon::Information,
                     olv::messages::BoxButtons::Ok,
                     {}});
        return;
    }
    SyncMonitor();
    ReportCaptureFileFailure();
    QString fileName;
    if (!ChooseCaptureFile(true, fileName)) return;
    QString reason = QStringLiteral("файл для кадров записи не был создан");
    if (captureSession_ && captureSession_->save(fileName, reason)) return;
    boxes->show({QStringLiteral("Не удалось записать файл %1").arg(QDir::toNativeSeparators(fileName)),
                 QStringLiteral("Ошибка"), olv::messages::BoxIcon::Warning, olv::messages::BoxButtons::Ok, reason});
}

// "Открыть…": the file is read on a thread of its own while a progress dialog, which can stop it, is
// shown; the table and its session change only when the whole file was good. Nothing of it is copied:
// the session saves from the file itself, which it keeps open.
void TForm1::Button13Click() {
    if (listening || captureOpening_) return;
    QString fileName;
    if (!ChooseCaptureFile(false, fileName)) return;
    captureOpenPath_ = fileName;
    captureOpening_ = std::make_unique<olv::monitor::CaptureOpening>(
        fileName, Capture::Settings{linkSettings.baudRate, linkSettings.timeoutMs, linkSettings.byteOrder,
                                    static_cast<size_t>(monitorFrames)});
    if (captureOpening_->done()) { // refused before a byte was read
        FinishCaptureOpen();
        return;
    }
    for (QPushButton* button : {Button11, Button12, Button13})
        button->setEnabled(false);
    captureProgress_ =
        new QProgressDialog(QStringLiteral("Чтение записи обмена %1").arg(QDir::toNativeSeparators(fileName)),
                            QStringLiteral("Отмена"), 0, 1000, this);
    captureProgress_->setObjectName(QStringLiteral("CaptureProgress"));
    captureProgress_->setWindowTitle(QStringLiteral("Открыть запись обмена"));
    captureProgress_->setWindowModality(Qt::WindowModal);
    captureProgress_->setAutoClose(false);
    captureProgress_->setAutoReset(false);
    captureProgress_->setMinimumDuration(300); // a small file is read before it would show
    captureProgress_->setValue(0);
    connect(captureProgress_, &QProgressDialog::canceled, this, [this] {
        if (captureOpening_) captureOpening_->cancel();
    });
    captureOpenTimer_ = new QTimer(this);
    captureOpenTimer_->setInterval(50);
    connect(captureOpenTimer_, &QTimer::timeout, this, [this] {
        Guarded(captureOpenTimer_, [this] {
            if (!captureOpening_) return;
            if (!captureOpening_->done()) {
                if (captureProgress_) captureProgress_->setValue(captureOpening_->permille());
                return;
            }
            FinishCaptureOpen();
        });
    });
    captureOpenTimer_->start();
}

void TForm1::FinishCaptureOpen() {
    if (!captureOpening_) return;
    olv::monitor::CaptureOpening::Result result = captureOpening_->take();
    captureOpening_.reset();
    if (captureOpenTimer_) {
        captureOpenTimer_->stop();
        captureOpenTimer_->deleteLater();
        captureOpenTimer_ = nullptr;
    }
    if (captureProgress_) {
        captureProgress_->hide();
        captureProgress_->deleteLater();
        captureProgress_ = nullptr;
    }
    Button11->setEnabled(true);
    Button13->setEnabled(true);
    Button12->setEnabled(true);
    if (result.check.problem == olv::monitor::PcapProblem::Cancelled) return; // the user stopped it
    if (result.check.problem != olv::monitor::PcapProblem::None) {
        boxes->show({QStringLiteral("Файл %1 не открыт. ").arg(QDir::toNativeSeparators(captureOpenPath_)) +
                         olv::monitor::PcapProblemText(result.check),
                     QStringLiteral("Ошибка"),
                     olv::messages::BoxIcon::Warning,
                     olv::messages::BoxButtons::Ok,
                     {}});
        return;
    }
    monitorModel->setCapture(nullptr);
    ownCapture_ = nullptr;
    capture = std::move(result.capture);
    captureSession_ = std::make_unique<olv::monitor::CaptureSession>(
        olv::monitor::CaptureSession::Options{SpoolFolders(), monitorSpoolBytes}, std::move(result.file));
    monitorModel->setCapture(capture.get());
    SyncMonitor();
}

void TForm1::CancelCaptureOpen() {
    if (!captureOpening_) return;
    captureOpening_->cancel();
    FinishCaptureOpen();
}
