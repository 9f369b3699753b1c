// Page 5, "Монитор линии": listening to a line that another master drives, without a word, and the
// program's own exchanges when not listening; the capture as a pcap file.
#include "ui/form1.h"

#include "ui/monitor_table.h"

#include "files/plain_file.h"
#include "messages/message_boxes.h"
#include "monitor/pcap.h"
#include "settings/ini_file.h"
#include "settings/station_settings.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTableView>
#include <QTemporaryFile>
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
constexpr size_t CaptureFileBatch = 1 << 20; // records are written out at least this often when replaying

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
    // Read only: the key is there when the user put it there.
    const olv::settings::IniFile ini(olv::settings::StationSettingsPath());
    monitorFrames =
        std::clamp(ini.readInteger(QStringLiteral("MONITOR"), QStringLiteral("Frames"), DefaultFrames),
                   FewestFrames, MostFrames);
}

std::unique_ptr<Capture> TForm1::NewCapture() const {
    return std::make_unique<Capture>(Capture::Settings{linkSettings.baudRate, linkSettings.timeoutMs,
                                                       linkSettings.byteOrder,
                                                       static_cast<size_t>(monitorFrames)});
}

// The file that gets every frame of a capture while the table keeps the last ones: in the working
// folder (a shift of traffic may be more than a memory-backed /tmp should hold), else in /tmp.
std::unique_ptr<QTemporaryFile> TForm1::NewCaptureFile() const {
    for (const QString& folder : {QDir::currentPath(), QDir::tempPath()}) {
        auto file =
            std::make_unique<QTemporaryFile>(QDir(folder).filePath(QStringLiteral(".capture-XXXXXX.pcap")));
        if (!file->open()) continue;
        std::string header;
        olv::monitor::AppendPcapHeader(header);
        if (olv::files::AppendToPlainFile(file->fileName(), header.data(), header.size())) return file;
    }
    return nullptr;
}

bool TForm1::AppendToCaptureFile(QTemporaryFile& file, std::string& records) {
    const bool written =
        records.empty() || olv::files::AppendToPlainFile(file.fileName(), records.data(), records.size());
    records.clear();
    return written;
}

void TForm1::NoteOwnExchange(const olv::link::ExchangeRecord& record) {
    if (listening) return;
    if (!capture) {
        capture = NewCapture();
        captureFile_ = NewCaptureFile();
        captureFileFailed_ = !captureFile_;
        captureFailureShown_ = false;
        captureFileErrno_ = captureFileFailed_ ? errno : 0;
        monitorModel->setCapture(capture.get());
    }
    const Micros wall = WallNow();
    const auto steady = olv::link::ExchangeRecord::Clock::now();
    capture->setByteOrder(linkSettings.byteOrder);
    capture->addOwn(record, WallTimeOf(record.sent, wall, steady), WallTimeOf(record.ended, wall, steady));
    // One append to the file and one row more for the view: about what the trace costs a transaction.
    SyncMonitor();
}

void TForm1::ReportCaptureFileFailure() {
    if (!captureFileFailed_ || captureFailureShown_) return;
    captureFailureShown_ = true;
    boxes->show(
        {QStringLiteral("Не удалось записать кадры в файл %1. Кадры, пришедшие после этого, "
                        "в сохраняемую запись не попадут.")
             .arg(QDir::toNativeSeparators(captureFile_ ? captureFile_->fileName() : QDir::currentPath())),
         QStringLiteral("Ошибка"), olv::messages::BoxIcon::Warning, olv::messages::BoxButtons::Ok,
         QString::fromLocal8Bit(std::strerror(captureFileErrno_))});
}

void TForm1::SyncMonitor() {
    if (!capture) return;
    if (captureFile_ && !captureFileFailed_ && !AppendToCaptureFile(*captureFile_, capture->spool())) {
        captureFileFailed_ = true;
        captureFileErrno_ = errno;
    }
    capture->spool().clear();
    QScrollBar* bar = StringGrid2->verticalScrollBar();
    const bool atBottom = bar->value() == bar->maximum();
    monitorModel->sync();
    if (atBottom) StringGrid2->scrollToBottom();

    const olv::monitor::Counters& n = capture->counters();
    Label41->setText(QStringLiteral("Всего: ") + CountsText(n.total));
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
    capture = NewCapture();
    captureFile_ = NewCaptureFile();
    captureFileFailed_ = !captureFile_;
    captureFailureShown_ = false;
    captureFileErrno_ = captureFileFailed_ ? errno : 0;
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
    errno = 0;
    if (captureFile_ && olv::monitor::CopyFileReplacing(captureFile_->fileName(), fileName)) return;
    boxes->show({QStringLiteral("Не удалось записать файл %1").arg(QDir::toNativeSeparators(fileName)),
                 QStringLiteral("Ошибка"), olv::messages::BoxIcon::Warning, olv::messages::BoxButtons::Ok,
                 QString::fromLocal8Bit(std::strerror(errno))});
}

void TForm1::Button13Click() {
    if (listening) return;
    QString fileName;
    if (!ChooseCaptureFile(false, fileName)) return;
    // A new capture of its own: the table and its file change only when the whole file was good.
    std::unique_ptr<Capture> opened = NewCapture();
    std::unique_ptr<QTemporaryFile> file = NewCaptureFile();
    bool fileFailed = !file;
    const olv::monitor::PcapCheck check =
        olv::monitor::ReadPcap(fileName, [&](Micros time, const uint8_t* bytes, size_t size) {
            opened->addRecord(time, bytes, size);
            if (opened->spool().size() < CaptureFileBatch) return;
            if (!fileFailed) fileFailed = !AppendToCaptureFile(*file, opened->spool());
            opened->spool().clear();
        });
    if (check.problem != olv::monitor::PcapProblem::None) {
        boxes->show({QStringLiteral("Файл %1 не открыт. ").arg(QDir::toNativeSeparators(fileName)) +
                         olv::monitor::PcapProblemText(check),
                     QStringLiteral("Ошибка"),
                     olv::messages::BoxIcon::Warning,
                     olv::messages::BoxButtons::Ok,
                     {}});
        return;
    }
    opened->end();
    monitorModel->setCapture(nullptr);
    capture = std::move(opened);
    captureFile_ = std::move(file);
    captureFileFailed_ = fileFailed;
    captureFailureShown_ = false;
    captureFileErrno_ = fileFailed ? errno : 0;
    monitorModel->setCapture(capture.get());
    SyncMonitor();
}
