// The monitor page's capture files: "Сохранить…" as pcap, and "Открыть…" read on a thread of its own.
#include "ui/pages/monitor/line_monitor_page.h"

#include "ui/widgets/monitor_table.h"

#include "link/link_settings.h"
#include "messages/message_boxes.h"
#include "monitor/pcap.h"

#include <QDir>
#include <QFileDialog>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

using olv::monitor::Capture;

bool LineMonitorPage::ChooseCaptureFile(bool save, QString& fileName) {
    if (chooseCaptureFile) return chooseCaptureFile(save, fileName);
    QFileDialog dialog(
        window_.widget(),
        save ? QStringLiteral("Сохранить запись обмена") : QStringLiteral("Открыть запись обмена"), QString(),
        QStringLiteral("Запись обмена (*.pcap);;Все файлы (*)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("pcap"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    fileName = dialog.selectedFiles().first();
    return true;
}

void LineMonitorPage::Button12Click() {
    if (!capture || capture->endSequence() == 0) {
        window_.boxes().show({QStringLiteral("Сохранять нечего: кадров нет."),
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
    window_.boxes().show({QStringLiteral("Не удалось записать файл %1").arg(QDir::toNativeSeparators(fileName)),
                          QStringLiteral("Ошибка"), olv::messages::BoxIcon::Warning,
                          olv::messages::BoxButtons::Ok, reason});
}

// "Открыть…": the file is read on a thread of its own while a progress dialog, which can stop it, is
// shown; the table and its session change only when the whole file was good. Nothing of it is copied:
// the session saves from the file itself, which it keeps open.
void LineMonitorPage::Button13Click() {
    if (window_.listening() || captureOpening_) return;
    QString fileName;
    if (!ChooseCaptureFile(false, fileName)) return;
    captureOpenPath_ = fileName;
    const olv::link::LinkSettings& link = window_.linkSettings();
    captureOpening_ = std::make_unique<olv::monitor::CaptureOpening>(
        fileName,
        Capture::Settings{link.baudRate, link.timeoutMs, link.byteOrder, static_cast<size_t>(monitorFrames)});
    if (captureOpening_->done()) { // refused before a byte was read
        FinishCaptureOpen();
        return;
    }
    for (QPushButton* button : {ui_.Button11, ui_.Button12, ui_.Button13})
        button->setEnabled(false);
    captureProgress_ =
        new QProgressDialog(QStringLiteral("Чтение записи обмена %1").arg(QDir::toNativeSeparators(fileName)),
                            QStringLiteral("Отмена"), 0, 1000, window_.widget());
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
    captureOpenTimer_ = new QTimer(window_.widget());
    captureOpenTimer_->setInterval(50);
    connect(captureOpenTimer_, &QTimer::timeout, this, [this] {
        window_.Guarded(captureOpenTimer_, [this] {
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

void LineMonitorPage::FinishCaptureOpen() {
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
    ui_.Button11->setEnabled(true);
    ui_.Button13->setEnabled(true);
    ui_.Button12->setEnabled(true);
    if (result.check.problem == olv::monitor::PcapProblem::Cancelled) return; // the user stopped it
    if (result.check.problem != olv::monitor::PcapProblem::None) {
        window_.boxes().show(
            {QStringLiteral("Файл %1 не открыт. ").arg(QDir::toNativeSeparators(captureOpenPath_)) +
                 olv::monitor::PcapProblemText(result.check),
             QStringLiteral("Ошибка"),
             olv::messages::BoxIcon::Warning,
             olv::messages::BoxButtons::Ok,
             {}});
        return;
    }
    ui_.monitorModel->setCapture(nullptr);
    ownCapture_ = nullptr;
    capture = std::move(result.capture);
    captureSession_ = std::make_unique<olv::monitor::CaptureSession>(
        olv::monitor::CaptureSession::Options{SpoolFolders(), monitorSpoolBytes}, std::move(result.file));
    ui_.monitorModel->setCapture(capture.get());
    SyncMonitor();
}

void LineMonitorPage::CancelCaptureOpen() {
    if (!captureOpening_) return;
    captureOpening_->cancel();
    FinishCaptureOpen();
}
