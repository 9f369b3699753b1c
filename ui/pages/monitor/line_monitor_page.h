#pragma once

#include "monitor/capture.h"
#include "ui/pages/monitor/monitor_host.h"
#include "monitor/capture_opening.h"
#include "monitor/capture_session.h"
#include "monitor/monitor_texts.h"
#include "monitor/own_traffic.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class MonitorTableModel;
class QComboBox;
class QLabel;
class QProgressDialog;
class QPushButton;
class QSocketNotifier;
class QTableView;
class QTimer;
class QWidget;

namespace olv::link {
struct ExchangeRecord;
} // namespace olv::link

// Page 5, "Монитор линии": listening to a line that another master drives, without a word, and the
// program's own exchanges when not listening; the capture as a pcap file. The page holds the capture
// and its session, wires its controls to its handlers and reaches the window through MonitorHost.
class LineMonitorPage : public QObject {
  public:
    // The page's controls (Form1Controls' page 5 and its timer).
    struct Controls {
        QPushButton* Button11; // "Слушать" / "Остановить"
        QPushButton* Button12; // "Сохранить…"
        QPushButton* Button13; // "Открыть…"
        QComboBox* ComboBox18; // the address shown
        QLabel* Label41;       // counters of the whole capture
        QLabel* Label43;       // counters per address
        QTableView* StringGrid2;
        MonitorTableModel* monitorModel;
        QTimer* Timer6; // drains the port while listening, refreshes the table
    };
    LineMonitorPage(MonitorHost& window, const Controls& controls);
    ~LineMonitorPage() override;

    // "Слушать" / "Остановить": listening is one long operation that writes nothing to the port.
    void Button11Click();
    void Button12Click(); // "Сохранить…": the capture as a pcap file
    void Button13Click(); // "Открыть…": a pcap file into the table
    void ComboBox18Change();
    void Timer6Timer();
    // Every transaction of the program's own, as it happens (the master's observer): into the table
    // when not listening.
    void NoteOwnExchange(const olv::link::ExchangeRecord& record);
    void StartListening();
    void StopListening();
    void DrainMonitor(); // what has arrived on the port into the capture
    void SyncMonitor();  // the capture's new frames into its file, the table and the counters
    void LoadMonitorSettings();
    // The file a capture is saved to or opened from; runs a dialog unless chooseCaptureFile is set
    // (tests answer without a dialog). False when cancelled.
    bool ChooseCaptureFile(bool save, QString& fileName);
    std::function<bool(bool save, QString& fileName)> chooseCaptureFile;
    // A capture file is being read ("Открыть…"); its progress dialog is shown meanwhile.
    bool OpeningCapture() const { return captureOpening_ != nullptr; }
    void CancelCaptureOpen(); // the window closes meanwhile

    int monitorFrames = olv::monitor::MonitorSettings::DefaultFrames; // rows the table keeps ([MONITOR] Frames)
    // The bound of the capture's spool file ([MONITOR] CaptureFileMB of dev.dat).
    int64_t monitorSpoolBytes = olv::monitor::DefaultSpoolBytes;
    std::unique_ptr<olv::monitor::Capture> capture;

    // Own exchanges per port: the table and counters show the port in use.
    olv::monitor::OwnTraffic ownTraffic;
    void StashOwnTraffic();                   // the own traffic shown goes back to its port
    void ShowOwnTraffic(const QString& port); // the table shows this port's own traffic

  private:
    void ConnectHandlers();
    // Where a capture's spool goes: the working folder (a shift of traffic may be more than a
    // memory-backed /tmp should hold), else /tmp.
    static QStringList SpoolFolders();
    void ReportCaptureFileFailure(); // once per capture, outside any transaction
    std::unique_ptr<olv::monitor::CaptureSession> NewCaptureSession() const;
    std::unique_ptr<olv::monitor::Capture> NewCapture() const;
    void FinishCaptureOpen(); // the opening's result into the table, or its refusal

    MonitorHost& window_;
    Controls ui_;
    olv::monitor::Capture* ownCapture_ = nullptr; // `capture` while it is the own traffic of ownPort_
    QString ownPort_;
    // The operation listening runs as, the watch on the port, the session that keeps every frame of the
    // capture for a save (its spool), and a capture file being opened.
    std::unique_ptr<MonitorHost::LineHold> listeningOperation_;
    QSocketNotifier* monitorNotifier_ = nullptr;
    std::unique_ptr<olv::monitor::CaptureSession> captureSession_;
    std::unique_ptr<olv::monitor::CaptureOpening> captureOpening_;
    QProgressDialog* captureProgress_ = nullptr; // while it is being opened
    QTimer* captureOpenTimer_ = nullptr;         // follows the opening's progress and end
    QString captureOpenPath_;
};
