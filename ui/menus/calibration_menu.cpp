// The window's side of "Калибровка": the menu item, the dialog's host on the window (its boxes,
// clock, line, sensor page write path and journal) and the poll that drives the dialog.
#include "ui/dialogs/calibration/calibration_dialog.h"
#include "ui/dialogs/calibration/calibration_host.h"

#include "ui/menus/journal_menu.h"
#include "ui/window/form1.h"
#include "ui/window/form_fill.h"
#include "ui/widgets/write_progress.h"

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
    explicit WindowHost(TForm1& form) : form_(form) {}

    olv::messages::MessageBoxes& boxes() override { return *form_.boxes; }
    int64_t now() override { return form_.clock(); }
    int meterAddress() const override { return form_.linkSettings.address; }
    QString portName() const override { return QStringLiteral("COM%1").arg(form_.linkSettings.portNumber); }
    QString devicePath() const override {
        return QFile::decodeName(
            QByteArray::fromStdString(form_.portLink.pathOf(form_.linkSettings.portNumber)));
    }
    QString caption() const override { return form_.windowTitle(); }
    bool lineBusy() const override { return form_.LineWaiting(); }
    QString journalPath() const override { return JournalMenu::JournalPath(); }
    QByteArray pdf(const QString& html, const QString& title) override {
        return olv::print::DocumentPdf(html, QImage(), title);
    }

    std::optional<float> readValue(int address) override {
        form_.ReconnectIfLost();
        const int own = form_.linkSettings.address;
        const auto back = qScopeGuard([&] { form_.linkSettings.address = own; });
        form_.linkSettings.address = address;
        olv::device::LiveReading reading;
        uint8_t exceptionCode = 0;
        const ResultFlags flags =
            olv::device::ReadLiveValue(form_.master, form_.linkSettings.byteOrder, reading, exceptionCode);
        if (address == own) form_.ShowExchangeState(flags, exceptionCode);
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
            olv::records::InstrumentState now{form_.image, 0};
            olv::records::InstrumentState meant = now;
            std::copy(words.begin(), words.end(), meant.image.words.begin() + reg::TrimOffset);
            const bool known = form_.image.source == form_.TargetInstrument();
            if (boxes().show(
                    {QStringLiteral("В прибор будет записана подстройка: %1?").arg(olv::calibration::TrimText(trim)),
                     QStringLiteral("Подтвердите действие"),
                     BoxIcon::Warning,
                     BoxButtons::YesNo,
                     {},
                     olv::records::ConfirmationRows(known ? &now : nullptr, meant, olv::records::SensorFields)
                         .join(u'\n')}) != BoxAnswer::Yes)
                return std::nullopt;
        }
        if (!form_.JournalAllowsWrite()) return std::nullopt;

        // The sensor page's path: the instrument read just before (the journal's old values), and it
        // must still be the meter the check was made on.
        TForm1::WriteRecord record;
        uint8_t exceptionCode = 0;
        const ResultFlags flags = form_.ReadBeforeWrite(record, exceptionCode);
        if (!olv::link::Succeeded(flags, exceptionCode)) {
            form_.ReportExchangeError(flags, exceptionCode);
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
            form_.master,
            {{olv::device::Block{reg::TrimOffset, TrimRegisters}, {words.begin(), words.end()}}},
            WriteProgressHooks([this](int ms) { form_.Pause(ms); }));
        form_.JournalWrite(operation, record, result);

        TrimRecord written;
        written.kind = kind;
        written.before = olv::calibration::TrimFromWords(&record.before.image.words[reg::TrimOffset]);
        written.outcome = olv::records::JournalOutcome(record.before, result);
        written.after = olv::calibration::TrimReadBack(result);
        form_.ReportPageWrite(
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
        if (!form_.image.source || !(*form_.image.source == form_.TargetInstrument())) return;
        std::copy(words, words + TrimRegisters, form_.image.words.begin() + reg::TrimOffset);
        const BusyWhileFilling busy(form_.uiBusy);
        form_.Edit6->setText(olv::device::FormatValue(olv::device::WordsToFloat(words[0], words[1])));
        form_.Edit7->setText(olv::device::FormatValue(olv::device::WordsToFloat(words[2], words[3])));
        TForm1::SetNormal(form_.Edit6);
        TForm1::SetNormal(form_.Edit7);
    }

    TForm1& form_;
};

} // namespace

// "Калибровка…": the meter on the line is read, then the dialog runs as one operation, so that nothing
// else reaches the line or changes its address meanwhile.
void TForm1::N13Click() {
    const InstrumentOperation operation(*this);
    if (!operation.started()) return;
    olv::records::InstrumentState state;
    uint8_t exceptionCode = 0;
    const ResultFlags flags = ReadInstrumentState(state, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        ReportExchangeError(flags, exceptionCode);
        return;
    }
    WindowHost host(*this);
    CalibrationDialog dialog(host, state, this);
    QString reason;
    if (!dialog.ready(reason)) {
        boxes->show({reason, QStringLiteral("Ошибка"), BoxIcon::Warning, BoxButtons::Ok, {}});
        return;
    }
    calibrationDialog = &dialog;
    const auto gone = qScopeGuard([this] { calibrationDialog = nullptr; });
    if (runCalibrationDialog)
        runCalibrationDialog(dialog);
    else
        dialog.exec();
}

void TForm1::PollCalibration() {
    if (calibrationDialog) calibrationDialog->Poll();
}
