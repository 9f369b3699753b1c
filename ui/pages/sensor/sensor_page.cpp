// Page 1, "Параметры датчика": the sensor configuration read, shown, collected, judged and written.
#include "ui/pages/sensor/sensor_page.h"

#include "ui/window/form1_controls.h"
#include "ui/window/form_fill.h"
#include "ui/window/line_flag.h"
#include "ui/window/page_host.h"

#include "ui/widgets/caption_panel.h"
#include "ui/widgets/write_progress.h"

#include "device/encodings.h"
#include "device/number_text.h"
#include "device/pending_device_link.h"
#include "device/register_map.h"
#include "device/sensor_configuration.h"
#include "device/value_rules.h"
#include "link/link_settings.h"
#include "link/port_master.h"
#include "messages/message_boxes.h"
#include "records/instrument_state.h"
#include "records/journal.h"
#include "records/page_write_record.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTabWidget>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <tuple>

using olv::link::ResultFlags;
using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
namespace reg = olv::device::reg;

namespace {

constexpr int ConfigBlockCount = 7;
constexpr int SensorPageIndex = 1;

// The entries the page's lists show.
olv::device::ConfigurationLists ListsOf(const Form1Controls& ui) {
    return {ui.ComboBox5->currentIndex(),
            ui.ComboBox4->currentIndex(),
            ui.ComboBox11->currentIndex(),
            {ui.ComboBox6->currentIndex(), ui.ComboBox7->currentIndex(), ui.ComboBox8->currentIndex()}};
}

// A typed point or comma becomes the program's decimal separator, the point.
void PointForSeparator(QChar& key) {
    if (key == u'.' || key == u',') key = u'.';
}

} // namespace

void SensorPage::SetConfigFieldsNormal() {
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui.Edit1, ui.Edit2, ui.Edit3, ui.Edit4, ui.Edit5, ui.Edit6, ui.Edit7, ui.ComboBox4, ui.ComboBox5,
             ui.ComboBox6, ui.ComboBox7, ui.ComboBox8, ui.ComboBox11})
        SetNormal(control);
}

// Reads the seven configuration blocks into the register image; the progress panels of this page and
// of the live page follow it.
ResultFlags SensorPage::ReadConfiguration(uint8_t& exceptionCode) {
    for (QProgressBar* bar : {ui.ProgressBar1, ui.ProgressBar3}) {
        bar->setMaximum(ConfigBlockCount);
        bar->setValue(0);
    }
    for (CaptionPanel* panel : {ui.Panel3, ui.Panel5}) {
        panel->setCaption(QStringLiteral("Чтение параметров"));
        panel->setVisible(true);
    }
    // The reads block the window: the panels must be painted before the first one starts.
    host.RepaintNow();

    int blocksRead = 0;
    const ResultFlags flags =
        olv::device::ReadConfiguration(host.Master(), host.Image(), exceptionCode, [&](int done) {
            blocksRead = done;
            ui.ProgressBar1->setValue(done);
            ui.ProgressBar3->setValue(done);
            host.RepaintNow();
        });
    ui.Panel3->setVisible(false);
    ui.Panel5->setVisible(false);
    if (olv::link::Succeeded(flags, exceptionCode)) {
        host.Image().source = host.TargetInstrument();
        // Pages 1 and 2 (its byte order) are filled from this read; another serial number than the
        // one shown takes the other pages' data away.
        host.NoteInstrumentRead(host.Image(), (1u << 1) | (1u << 2));
        host.StampPages((1u << 1) | (1u << 2));
    } else if (blocksRead > 0)
        host.Image().source.reset(); // some blocks of this instrument, the rest of whatever came before
    return flags;
}

// Fills the page (and the byte order in force) from the register image.
void SensorPage::ShowConfiguration() {
    {
        const BusyWhileFilling busy(host.UiBusy());
        const auto& w = host.Image().words;

        ui.Edit5->setText(QString::number(w[reg::Model]));
        ui.Edit1->setText(QString::number(w[reg::ModelCode]));
        ui.Edit4->setText(QString::number(
            static_cast<int32_t>(olv::device::JoinWords(w[reg::SerialHigh], w[reg::SerialLow]))));

        const olv::device::DateIndexes date = olv::device::DateFromRegister(w[reg::Date]);
        ui.ComboBox6->setCurrentIndex(date.day);
        ui.ComboBox7->setCurrentIndex(date.month);
        ui.ComboBox8->setCurrentIndex(date.year);

        // The instrument's byte order is the one the live value is decoded with from now on.
        const int byteOrder = w[reg::ByteOrder];
        ui.ComboBox16->setCurrentIndex(byteOrder);
        ui.ComboBox17->setCurrentIndex(byteOrder);
        host.Link().byteOrder = byteOrder;
        host.PendingLink().pendingByteOrder = byteOrder;

        ui.Edit2->setText(
            olv::device::FormatValue(olv::device::WordsToFloat(w[reg::RangeMax], w[reg::RangeMax + 1])));
        ui.Edit3->setText(
            olv::device::FormatValue(olv::device::WordsToFloat(w[reg::RangeMin], w[reg::RangeMin + 1])));
        ui.Edit6->setText(
            olv::device::FormatValue(olv::device::WordsToFloat(w[reg::TrimOffset], w[reg::TrimOffset + 1])));
        ui.Edit7->setText(olv::device::FormatValue(
            olv::device::WordsToFloat(w[reg::TrimMultiplier], w[reg::TrimMultiplier + 1])));

        ui.ComboBox5->setCurrentIndex(olv::device::DampingIndexFromRegister(w[reg::DampingUnits]));
        ui.ComboBox4->setCurrentIndex(olv::device::UnitsIndexFromRegister(w[reg::DampingUnits]));
        ui.ComboBox11->setCurrentIndex(olv::device::SensorUnitsIndexFromRegister(w[reg::SensorUnits]));
        ui.Label20->setText(ui.ComboBox4->currentText());
    }
    SetConfigFieldsNormal();
    SetNormal(ui.ComboBox16);
    SetNormal(ui.ComboBox17);
}

// "Прочитать": reads the configuration and shows it, only while this page is shown.
void SensorPage::Button2Click() {
    const std::unique_ptr<OperationHold> operation = host.BeginOperation();
    if (!operation->started()) return;
    SetConfigFieldsNormal();
    if (ui.TabbedNotebook1->currentIndex() == SensorPageIndex) {
        uint8_t exceptionCode = 0;
        const ResultFlags flags = ReadConfiguration(exceptionCode);
        if (olv::link::Succeeded(flags, exceptionCode)) {
            ShowConfiguration();
            host.Boxes().show({QStringLiteral("Данные конфигурации прочитаны."),
                               QStringLiteral("Результат операции"),
                               BoxIcon::Information,
                               BoxButtons::Ok,
                               {}});
        } else {
            host.ReportExchangeError(flags, exceptionCode);
        }
    }
    SetConfigFieldsNormal();
}

// "Записать": collects, confirms and writes the configuration; the write goes into the journal.
void SensorPage::Button3Click() {
    const std::unique_ptr<OperationHold> operation = host.BeginOperation();
    if (!operation->started()) return;
    // What the page showed of this instrument, for the confirmation's old values.
    std::optional<olv::records::InstrumentState> shown;
    if (host.Image().source == host.TargetInstrument())
        shown = olv::records::InstrumentState{host.Image(), 0};
    if (CollectConfiguration()) return; // the refused field keeps its colour, the others theirs
    SetConfigFieldsNormal();
    const olv::records::InstrumentState meant{host.Image(), 0};
    const BoxAnswer answer = host.Boxes().show(
        {QStringLiteral("Данные конфигурации будут переписаны?."),
         QStringLiteral("Подтвердите действие"),
         BoxIcon::Warning,
         BoxButtons::YesNo,
         {},
         olv::records::ConfirmationRows(shown ? &*shown : nullptr, meant,
                                        olv::records::IdentityFields | olv::records::SensorFields)
             .join(u'\n')});
    if (answer != BoxAnswer::Yes || !host.JournalAllowsWrite()) return;

    uint8_t exceptionCode = 0;
    WriteRecord record;
    const ResultFlags flags = host.ReadBeforeWrite(record, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        // Nothing is written when the instrument's own words cannot be read first.
        host.ReportExchangeError(flags, exceptionCode);
        return;
    }
    const olv::device::PageWriteResult result =
        WriteConfigurationBlocks(olv::device::InstrumentOwnedBits(ListsOf(ui)), record);
    if (result.stop != olv::device::WriteStop::Refused)
        host.JournalWrite(QStringLiteral("Запись конфигурации"), record, result);
    host.ReportPageWrite(
        record.before, result,
        {QStringLiteral("Данные конфигурации записаны."),
         QStringLiteral("Данные конфигурации записаны, но для проверки из прибора не прочитаны."),
         QStringLiteral("Данные конфигурации записаны, но прибор возвращает иные значения полей: %1.")});
}

// Change handlers of the page's fields: a change by the user marks the field as edited; fills from
// code run with uiBusy set and leave the colour alone.
void SensorPage::Edit1Change() {
    if (host.UiBusy() != 1) SetEdited(ui.Edit1);
}
void SensorPage::Edit2Change() {
    if (host.UiBusy() != 1) SetEdited(ui.Edit2);
}
void SensorPage::Edit3Change() {
    if (host.UiBusy() != 1) SetEdited(ui.Edit3);
}
void SensorPage::Edit4Change() {
    if (host.UiBusy() != 1) SetEdited(ui.Edit4);
}
void SensorPage::Edit5Change() {
    if (host.UiBusy() != 1) SetEdited(ui.Edit5);
}
void SensorPage::Edit6Change() {
    if (host.UiBusy() != 1) SetEdited(ui.Edit6);
}
void SensorPage::Edit7Change() {
    if (host.UiBusy() != 1) SetEdited(ui.Edit7);
}
void SensorPage::ComboBox4Change() {
    if (host.UiBusy() != 1) SetEdited(ui.ComboBox4);
}
void SensorPage::ComboBox5Change() {
    if (host.UiBusy() != 1) SetEdited(ui.ComboBox5);
}
void SensorPage::ComboBox6Change() {
    if (host.UiBusy() != 1) SetEdited(ui.ComboBox6);
}
void SensorPage::ComboBox7Change() {
    if (host.UiBusy() != 1) SetEdited(ui.ComboBox7);
}
void SensorPage::ComboBox8Change() {
    if (host.UiBusy() != 1) SetEdited(ui.ComboBox8);
}
void SensorPage::ComboBox11Change() {
    if (host.UiBusy() != 1) SetEdited(ui.ComboBox11);
}

// Key filters of the float fields: a typed point or comma becomes the decimal point.
void SensorPage::Edit2KeyPress(QChar& key) {
    PointForSeparator(key);
}
void SensorPage::Edit3KeyPress(QChar& key) {
    PointForSeparator(key);
}
void SensorPage::Edit6KeyPress(QChar& key) {
    PointForSeparator(key);
}
void SensorPage::Edit7KeyPress(QChar& key) {
    PointForSeparator(key);
}

// Takes the page's fields into the register image, field by field; the first text that does not
// convert ends it with its two messages (the fields before it are already in the image). True then.
bool SensorPage::CollectConfiguration(bool placeholderKeepsWord) {
    auto& w = host.Image().words;
    const auto unconvertible = [this](QLineEdit* edit, const QLabel* caption, bool integerField) {
        ReportUnconvertible(host.Boxes(), integerField, caption->text());
        host.FocusRefusedField(edit);
        return true;
    };
    const auto kept = [&](const QLineEdit* edit) {
        return placeholderKeepsWord && ShowsPlaceholder(edit->text());
    };

    if (!kept(ui.Edit5)) {
        const std::optional<int32_t> model = olv::device::ParseInteger(ui.Edit5->text());
        if (!model) return unconvertible(ui.Edit5, ui.Label5, true);
        w[reg::Model] = static_cast<uint16_t>(*model); // the low 16 bits: -1 is 65535
    }

    if (!kept(ui.Edit1)) {
        const std::optional<int32_t> modelCode = olv::device::ParseInteger(ui.Edit1->text());
        if (!modelCode) return unconvertible(ui.Edit1, ui.Label6, true);
        w[reg::ModelCode] = static_cast<uint16_t>(*modelCode);
    }

    if (!kept(ui.Edit4)) {
        const std::optional<int32_t> serial = olv::device::ParseInteger(ui.Edit4->text());
        if (!serial) return unconvertible(ui.Edit4, ui.Label9, true);
        olv::device::SplitWords(static_cast<uint32_t>(*serial), w[reg::SerialHigh], w[reg::SerialLow]);
    }

    // A float field still showing what was shown for the image's value keeps the image's words: the
    // four decimals shown must not round the instrument's calibration data.
    const std::array<std::tuple<QLineEdit*, const QLabel*, int>, 4> floats{
        {{ui.Edit2, ui.Label7, reg::RangeMax},
         {ui.Edit3, ui.Label8, reg::RangeMin},
         {ui.Edit6, ui.Label17, reg::TrimOffset},
         {ui.Edit7, ui.Label18, reg::TrimMultiplier}}};
    for (const auto& [edit, caption, first] : floats)
        if (!kept(edit) && !olv::device::CollectFloatField(edit->text(), w[first], w[first + 1]))
            return unconvertible(edit, caption, false);

    // A list that shows nothing leaves its part of the word to the instrument (WriteConfiguration).
    olv::device::CollectLists(ListsOf(ui), host.Image());
    // For a write, what converted must also be something the instrument may hold.
    return !placeholderKeepsWord && RefuseConfigurationValues();
}

// The collected image judged by the rules every configuration write obeys; a field the page leaves to
// the instrument (a list that shows nothing, the registers it does not show) is its own business. The
// first refusal is shown with its field focused: of two compared fields, the one the user edited.
bool SensorPage::RefuseConfigurationValues() {
    const olv::device::WordMasks owned = olv::device::InstrumentOwnedBits(ListsOf(ui));
    const auto ownedByInstrument = [&owned](olv::device::CheckedField field) {
        for (const olv::device::FieldBits& bits : olv::device::BitsOf(field))
            if ((owned[static_cast<size_t>(bits.reg)] & bits.mask) != bits.mask) return false;
        return true;
    };
    using olv::device::CheckedField;
    const auto controlOf = [this](CheckedField field) -> std::pair<QWidget*, const QLabel*> {
        switch (field) {
        case CheckedField::Date:
            return {ui.ComboBox6, ui.Label11};
        case CheckedField::RangeMax:
            return {ui.Edit2, ui.Label7};
        case CheckedField::RangeMin:
            return {ui.Edit3, ui.Label8};
        case CheckedField::TrimOffset:
            return {ui.Edit6, ui.Label17};
        case CheckedField::TrimMultiplier:
            return {ui.Edit7, ui.Label18};
        case CheckedField::Damping:
            return {ui.ComboBox5, ui.Label10};
        case CheckedField::Units:
            return {ui.ComboBox4, ui.Label15};
        case CheckedField::SensorUnits:
            return {ui.ComboBox11, ui.Label19};
        default:
            return {nullptr, nullptr};
        }
    };
    for (const olv::device::Refusal& refusal : olv::device::ConfigurationRefusals(host.Image().words)) {
        if (std::all_of(refusal.fields.begin(), refusal.fields.end(), ownedByInstrument)) continue;
        auto [control, caption] = controlOf(refusal.fields.front());
        for (CheckedField field : refusal.fields) {
            const auto [other, otherCaption] = controlOf(field);
            if (other && ColorOf(other) == QColor(0, 255, 255)) { // marked as edited
                control = other;
                caption = otherCaption;
                break;
            }
        }
        if (!control) continue;
        ReportRefusedValue(host.Boxes(), olv::device::RefusalSentence(refusal), caption->text());
        host.FocusRefusedField(control);
        return true;
    }
    return false;
}

// Writes the seven configuration blocks from the register image. What the page does not show
// (registers 4, 10, 11, 36..47, the text, and the parts of 5, 9 and 58 whose list is empty) must be the
// written instrument's own: those words come from its state read just before the write. The image then
// holds what the instrument returned (where the read-back failed, what it held before).
olv::device::PageWriteResult SensorPage::WriteConfigurationBlocks(const olv::device::WordMasks& owned,
                                                                  const WriteRecord& record) {
    ui.ProgressBar1->setMaximum(ConfigBlockCount);
    ui.ProgressBar1->setValue(0);
    ui.Panel3->setCaption(QStringLiteral("Запись параметров"));
    ui.Panel3->setVisible(true);
    host.RepaintNow();

    const olv::device::WriteHooks hooks =
        WriteProgressHooks([this](int ms) { host.Pause(ms); }, ui.ProgressBar1, ui.TabbedNotebook1->window());
    const olv::device::PageWriteResult result =
        olv::device::WriteSensorConfiguration(host.Master(), host.Image(), record.before.image, owned, hooks);
    ui.Panel3->setVisible(false);
    if (result.stop == olv::device::WriteStop::Refused) return result;

    const bool unknown = !olv::device::BlocksIn(result, olv::device::BlockState::Unknown).isEmpty();
    host.Image().words = olv::records::StateAfterWrite(record.before, result).image.words;
    if (unknown)
        host.Image().source.reset(); // what the instrument holds of a block is not known
    else
        host.Image().source = record.target;
    return result;
}
