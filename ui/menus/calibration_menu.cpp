// "Калибровка": the menu item, the dialog's host on the window (its boxes, clock, line, sensor page
// write path and journal) and the poll that drives the dialog.
#include "ui/menus/calibration_menu.h"

#include "ui/dialogs/calibration/calibration_dialog.h"
#include "ui/dialogs/calibration/calibration_host.h"
#include "ui/menus/journal_menu.h"
#include "ui/menus/menu_host.h"
#include "ui/widgets/write_progress.h"
#include "ui/window/edit_marking.h"
#include "ui/window/form1_controls.h"
#include "ui/window/form_fill.h"
#include "ui/window/page_host.h"

#include "link/link_settings.h"
#include "link/port_link.h"
#include "link/port_master.h"

#include "calibration/dialog_steps.h"
#include "device/live_value.h"
#include "device/number_text.h"
#include "device/page_writes.h"
#include "device/register_map.h"
#include "messages/message_boxes.h"
#include "print/document_pdf.h"
#include "records/journal.h"
#include "records/page_write_record.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QScopeGuard>

#include <cmath>

using olv::calibration::Trim;
using olv::calibration::TrimKind;
using olv::calibration::TrimRecord;
using olv::link::ResultFlags;
using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
namespace reg = olv::device::reg;

namespace {

constexpr int TrimRegisters = 4;

class WindowHost final : public CalibrationHost {
  public:
    WindowHost(PageHost& host, MenuHost& window, Form1Controls& ui) : host_(host), window_(window), ui_(ui) {}

    olv::messages::MessageBoxes& boxes() override { return host_.Boxes(); }
    int64_t now() override { return host_.NowMs(); }
    int meterAddress() const override { return host_.Link().address; }
    QString portName() const override { return QStringLiteral("COM%1").arg(host_.Link().portNumber); }
    QString devicePath() const override {
        return QFile::decodeName(QByteArray::fromStdString(host_.Port().pathOf(host_.Link().portNumber)));
    }
    QString caption() const override { return window_.Window().windowTitle(); }
    bool lineBusy() const override { return window_.LineWaiting(); }
    QString journalPath() const override { return JournalMenu::JournalPath(); }
    QByteArray pdf(const QString& html, const QString& title) override {
        return olv::print::DocumentPdf(html, QImage(), title);
    }

    std::optional<float> readValue(int address) override {
        window_.ReconnectIfLost();
        olv::link::LinkSettings& link = host_.Link();
        const int own = link.address;
        const auto back = qScopeGuard([&] { link.address = own; });
        link.address = address;
        olv::device::LiveReading reading;
        uint8_t exceptionCode = 0;
        const ResultFlags flags =
            olv::device::ReadLiveValue(host_.Master(), link.byteOrder, reading, exceptionCode);
        if (address == own) window_.ShowExchangeState(flags, exceptionCode);
        if (!olv::link::Succeeded(flags, exceptionCode)) return std::nullopt;
        return reading.liveImplausible ? std::nanf("") : reading.liveValue;
    }

    bool appendJournal(const olv::records::JournalEntry& entry) override {
        QString reason;
        if (olv::records::AppendJournal(JournalMenu::JournalPath(), entry, reason)) return true;
        boxes().show({QStringLiteral("Строка не записана в журнал изменений %1: %2.")
                          .arg(QDir::toNativeSeparators(JournalMenu::JournalPath()), reason),
                      QStringLiteral("Ошибка"),
                      BoxIcon::Warning,
                      BoxButtons::Ok,
                      {}});
        return false;
    }

    std::optional<TrimRecord> writeTrim(const Trim& trim, TrimKind kind, const QString& serial,
                                        const QString& operation, bool confirm) override {
        const std::array<uint16_t, TrimRegisters> words = olv::calibration::TrimWords(trim);
        if (confirm) {
            // The confirmation's detail: the trim's fields old → new, as the meter was read last.
            const olv::device::RegisterImage& image = host_.Image();
            olv::records::InstrumentState now{image, 0};
            olv::records::InstrumentState meant = now;
            std::copy(words.begin(), words.end(), meant.image.words.begin() + reg::TrimOffset);
            const bool known = image.source == host_.TargetInstrument();
            if (boxes().show(
                    {QStringLiteral("В прибор будет записана подстройка: %1?")
                         .arg(olv::calibration::TrimText(trim)),
                     QStringLiteral("Подтвердите действие"),
                     BoxIcon::Warning,
                     BoxButtons::YesNo,
                     {},
                     olv::records::ConfirmationRows(known ? &now : nullptr, meant, olv::records::SensorFields)
                         .join(u'\n')}) != BoxAnswer::Yes)
                return std::nullopt;
        }
        if (!host_.JournalAllowsWrite()) return std::nullopt;

        // The sensor page's path: the instrument read just before (the journal's old values), and it
        // must still be the meter the check was made on.
        WriteRecord record;
        uint8_t exceptionCode = 0;
        const ResultFlags flags = host_.ReadBeforeWrite(record, exceptionCode);
        if (!olv::link::Succeeded(flags, exceptionCode)) {
            host_.ReportExchangeError(flags, exceptionCode);
            return std::nullopt;
        }
        if (olv::records::SerialText(record.before) != serial) {
            boxes().show({QStringLiteral("На линии прибор с заводским номером %1, а калибруется прибор %2. "
                                         "Подстройка не записана.")
                              .arg(olv::records::SerialText(record.before), serial),
                          QStringLiteral("Ошибка"),
                          BoxIcon::Warning,
                          BoxButtons::Ok,
                          {}});
            return std::nullopt;
        }

        // Registers 59..62 and nothing else, read back whatever the write said: a write whose reply
        // was lost may have been taken.
        const olv::device::PageWriteResult result = olv::device::WriteBlocks(
            host_.Master(),
            {{olv::device::Block{reg::TrimOffset, TrimRegisters}, {words.begin(), words.end()}}},
            WriteProgressHooks([this](int ms) { host_.Pause(ms); }));
        host_.JournalWrite(operation, record, result);

        TrimRecord written;
        written.kind = kind;
        written.before = olv::calibration::TrimFromWords(&record.before.image.words[reg::TrimOffset]);
        written.outcome = olv::records::JournalOutcome(record.before, result);
        written.after = olv::calibration::TrimReadBack(result);
        host_.ReportPageWrite(
            record.before, result,
            {QStringLiteral("Подстройка записана."),
             QStringLiteral("Подстройка записана, но для проверки из прибора не прочитана."),
             QStringLiteral("Подстройка записана, но прибор возвращает иные значения полей: %1.")});
        if (written.after) {
            const std::array<uint16_t, TrimRegisters> back = olv::calibration::TrimWords(*written.after);
            ShowTrimOnSensorPage(back.data());
        }
        return written;
    }

  private:
    // The sensor page's trim fields show what the instrument holds, when the page shows this instrument.
    void ShowTrimOnSensorPage(const uint16_t* words) {
        olv::device::RegisterImage& image = host_.Image();
        if (!image.source || !(*image.source == host_.TargetInstrument())) return;
        std::copy(words, words + TrimRegisters, image.words.begin() + reg::TrimOffset);
        const BusyWhileFilling busy(host_.UiBusy());
        ui_.Edit6->setText(olv::device::FormatValue(olv::device::WordsToFloat(words[0], words[1])));
        ui_.Edit7->setText(olv::device::FormatValue(olv::device::WordsToFloat(words[2], words[3])));
        EditMarking::SetNormal(ui_.Edit6);
        EditMarking::SetNormal(ui_.Edit7);
    }

    PageHost& host_;
    MenuHost& window_;
    Form1Controls& ui_;
};

} // namespace

CalibrationMenu::CalibrationMenu(PageHost& host, MenuHost& window, Form1Controls& ui)
    : host(host), window(window), ui(ui) {}

void CalibrationMenu::Wire() {
    host.On(ui.N13, &QAction::triggered, this, &CalibrationMenu::N13Click);
}

// "Калибровка…": the meter on the line is read, then the dialog runs as one operation, so that nothing
// else reaches the line or changes its address meanwhile.
void CalibrationMenu::N13Click() {
    const std::unique_ptr<OperationHold> operation = host.BeginOperation();
    if (!operation->started()) return;
    olv::records::InstrumentState state;
    if (!window.ReadInstrumentStateOrReport(state)) return;
    WindowHost dialogHost(host, window, ui);
    CalibrationDialog dialog(dialogHost, state, &window.Window());
    QString reason;
    if (!dialog.ready(reason)) {
        host.Boxes().show({reason, QStringLiteral("Ошибка"), BoxIcon::Warning, BoxButtons::Ok, {}});
        return;
    }
    calibrationDialog = &dialog;
    const auto gone = qScopeGuard([this] { calibrationDialog = nullptr; });
    if (runCalibrationDialog)
        runCalibrationDialog(dialog);
    else
        dialog.exec();
}

void CalibrationMenu::PollCalibration() {
    if (calibrationDialog) calibrationDialog->Poll();
}
