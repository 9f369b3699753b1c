// Page 1, "Параметры датчика": the sensor configuration.
#include "ui/window/form1.h"
#include "ui/window/control_makers.h"
#include "ui/window/form_fill.h"

#include "ui/widgets/caption_panel.h"
#include "ui/widgets/write_progress.h"

#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "device/sensor_configuration.h"
#include "device/value_rules.h"
#include "messages/message_boxes.h"
#include "records/instrument_state.h"
#include "records/journal.h"
#include "records/page_write_record.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>

using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
using olv::link::ResultFlags;
namespace reg = olv::device::reg;

namespace {

constexpr int ConfigBlockCount = 7;
constexpr int SensorPage = 1;

// The entries the page's lists show.
olv::device::ConfigurationLists ListsOf(const TForm1& form) {
    return {form.ComboBox5->currentIndex(),
            form.ComboBox4->currentIndex(),
            form.ComboBox11->currentIndex(),
            {form.ComboBox6->currentIndex(), form.ComboBox7->currentIndex(), form.ComboBox8->currentIndex()}};
}

// A typed point or comma becomes the program's decimal separator, the point.
void PointForSeparator(QChar& key) {
    if (key == u'.' || key == u',') key = u'.';
}

} // namespace

void Form1Controls::setupSensorPage(QWidget* page) {
    auto* outer = new QVBoxLayout(page);
    auto* columns = new QHBoxLayout();
    outer->addLayout(columns);

    auto* left = new QGridLayout();
    int row = 0;
    auto addRow = [&](QGridLayout* grid, QLabel*& label, const char* name, const QString& caption,
                      QWidget* control) {
        grid->addWidget(MakeLabel(page, label, name, caption), row, 0);
        grid->addWidget(control, row, 1);
        ++row;
    };
    addRow(left, Label5, "Label5", QStringLiteral("Модель"), MakeEdit(page, Edit5, "Edit5", NoData, 8));
    addRow(left, Label6, "Label6", QStringLiteral("Код модели"), MakeEdit(page, Edit1, "Edit1", NoData, 8));
    addRow(left, Label7, "Label7", QStringLiteral("Максимум диапазона"),
           MakeEdit(page, Edit2, "Edit2", NoData, 10));
    addRow(left, Label8, "Label8", QStringLiteral("Минимум диапазона"),
           MakeEdit(page, Edit3, "Edit3", NoData, 10));
    addRow(left, Label9, "Label9", QStringLiteral("Заводской номер"),
           MakeEdit(page, Edit4, "Edit4", NoData, 8));
    addRow(left, Label10, "Label10", QStringLiteral("Демпфирование"), MakeList(page, ComboBox5, "ComboBox5"));
    auto* date = new QWidget(page);
    auto* dateRow = new QHBoxLayout(date);
    dateRow->setContentsMargins(0, 0, 0, 0);
    dateRow->addWidget(MakeList(date, ComboBox6, "ComboBox6"));
    dateRow->addWidget(MakeList(date, ComboBox7, "ComboBox7"));
    dateRow->addWidget(MakeList(date, ComboBox8, "ComboBox8"));
    dateRow->addStretch(1);
    addRow(left, Label11, "Label11", QStringLiteral("Дата выпуска"), date);
    left->setRowStretch(row, 1);
    columns->addLayout(left, 1);
    columns->addSpacing(16);

    auto* right = new QGridLayout();
    row = 0;
    addRow(right, Label15, "Label15", QStringLiteral("Единицы"), MakeList(page, ComboBox4, "ComboBox4"));
    addRow(right, Label19, "Label19", QStringLiteral("Единицы датчика"),
           MakeList(page, ComboBox11, "ComboBox11"));
    right->addWidget(MakeLabel(page, Label16, "Label16", QStringLiteral("Подстройка")), row++, 0, 1, 2);
    addRow(right, Label17, "Label17", QStringLiteral("Смещение"),
           MakeEdit(page, Edit6, "Edit6", QStringLiteral(" ") + NoData));
    addRow(right, Label18, "Label18", QStringLiteral("Диапазон"),
           MakeEdit(page, Edit7, "Edit7", QStringLiteral(" ") + NoData));
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(MakeButton(page, Button2, "Button2", QStringLiteral("Прочитать")));
    buttons->addWidget(MakeButton(page, Button3, "Button3", QStringLiteral("Записать")));
    buttons->addStretch(1);
    right->addLayout(buttons, row++, 0, 1, 2);
    right->setRowStretch(row, 1);
    columns->addLayout(right, 1);

    MakePanel(page, Panel3, "Panel3", QStringLiteral("Panel3"));
    Panel3->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    Panel3->addControl(MakeProgress(Panel3, ProgressBar1, "ProgressBar1", 7));
    Panel3->setVisible(false);
    outer->addWidget(Panel3);
}

void TForm1::SetConfigFieldsNormal() {
    for (QWidget* control :
         std::initializer_list<QWidget*>{Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, ComboBox4,
                                         ComboBox5, ComboBox6, ComboBox7, ComboBox8, ComboBox11})
        SetNormal(control);
}

// Reads the seven configuration blocks into the register image; the progress panels of this page and
// of the live page follow it.
ResultFlags TForm1::ReadConfiguration(uint8_t& exceptionCode) {
    for (QProgressBar* bar : {ProgressBar1, ProgressBar3}) {
        bar->setMaximum(ConfigBlockCount);
        bar->setValue(0);
    }
    for (CaptionPanel* panel : {Panel3, Panel5}) {
        panel->setCaption(QStringLiteral("Чтение параметров"));
        panel->setVisible(true);
    }
    // The reads block the window: the panels must be painted before the first one starts.
    repaint();

    int blocksRead = 0;
    const ResultFlags flags = olv::device::ReadConfiguration(master, image, exceptionCode, [&](int done) {
        blocksRead = done;
        ProgressBar1->setValue(done);
        ProgressBar3->setValue(done);
        repaint();
    });
    Panel3->setVisible(false);
    Panel5->setVisible(false);
    if (olv::link::Succeeded(flags, exceptionCode)) {
        image.source = TargetInstrument();
        // Pages 1 and 2 (its byte order) are filled from this read; another serial number than the
        // one shown takes the other pages' data away.
        NoteInstrumentRead(image, (1u << 1) | (1u << 2));
        StampPages((1u << 1) | (1u << 2));
    } else if (blocksRead > 0)
        image.source.reset(); // some blocks of this instrument, the rest of whatever came before
    return flags;
}

// Fills the page (and the byte order in force) from the register image.
void TForm1::ShowConfiguration() {
    {
        const BusyWhileFilling busy(uiBusy);
        const auto& w = image.words;

        Edit5->setText(QString::number(w[reg::Model]));
        Edit1->setText(QString::number(w[reg::ModelCode]));
        Edit4->setText(QString::number(
            static_cast<int32_t>(olv::device::JoinWords(w[reg::SerialHigh], w[reg::SerialLow]))));

        const olv::device::DateIndexes date = olv::device::DateFromRegister(w[reg::Date]);
        ComboBox6->setCurrentIndex(date.day);
        ComboBox7->setCurrentIndex(date.month);
        ComboBox8->setCurrentIndex(date.year);

        // The instrument's byte order is the one the live value is decoded with from now on.
        const int byteOrder = w[reg::ByteOrder];
        ComboBox16->setCurrentIndex(byteOrder);
        ComboBox17->setCurrentIndex(byteOrder);
        linkSettings.byteOrder = byteOrder;
        pendingLink.pendingByteOrder = byteOrder;

        Edit2->setText(
            olv::device::FormatValue(olv::device::WordsToFloat(w[reg::RangeMax], w[reg::RangeMax + 1])));
        Edit3->setText(
            olv::device::FormatValue(olv::device::WordsToFloat(w[reg::RangeMin], w[reg::RangeMin + 1])));
        Edit6->setText(
            olv::device::FormatValue(olv::device::WordsToFloat(w[reg::TrimOffset], w[reg::TrimOffset + 1])));
        Edit7->setText(olv::device::FormatValue(
            olv::device::WordsToFloat(w[reg::TrimMultiplier], w[reg::TrimMultiplier + 1])));

        ComboBox5->setCurrentIndex(olv::device::DampingIndexFromRegister(w[reg::DampingUnits]));
        ComboBox4->setCurrentIndex(olv::device::UnitsIndexFromRegister(w[reg::DampingUnits]));
        ComboBox11->setCurrentIndex(olv::device::SensorUnitsIndexFromRegister(w[reg::SensorUnits]));
        Label20->setText(ComboBox4->currentText());
    }
    SetConfigFieldsNormal();
    SetNormal(ComboBox16);
    SetNormal(ComboBox17);
}

// "Прочитать": reads the configuration and shows it, only while this page is shown.
void TForm1::Button2Click() {
    const InstrumentOperation operation(*this);
    if (!operation.started()) return;
    SetConfigFieldsNormal();
    if (TabbedNotebook1->currentIndex() == SensorPage) {
        uint8_t exceptionCode = 0;
        const ResultFlags flags = ReadConfiguration(exceptionCode);
        if (olv::link::Succeeded(flags, exceptionCode)) {
            ShowConfiguration();
            boxes->show({QStringLiteral("Данные конфигурации прочитаны."),
                         QStringLiteral("Результат операции"),
                         BoxIcon::Information,
                         BoxButtons::Ok,
                         {}});
        } else {
            ReportExchangeError(flags, exceptionCode);
        }
    }
    SetConfigFieldsNormal();
}

// "Записать": collects, confirms and writes the configuration; the write goes into the journal.
void TForm1::Button3Click() {
    const InstrumentOperation operation(*this);
    if (!operation.started()) return;
    // What the page showed of this instrument, for the confirmation's old values.
    std::optional<olv::records::InstrumentState> shown;
    if (image.source == TargetInstrument()) shown = olv::records::InstrumentState{image, 0};
    if (CollectConfiguration()) return; // the refused field keeps its colour, the others theirs
    SetConfigFieldsNormal();
    const olv::records::InstrumentState meant{image, 0};
    const BoxAnswer answer = boxes->show(
        {QStringLiteral("Данные конфигурации будут переписаны?."),
         QStringLiteral("Подтвердите действие"),
         BoxIcon::Warning,
         BoxButtons::YesNo,
         {},
         olv::records::ConfirmationRows(shown ? &*shown : nullptr, meant,
                                        olv::records::IdentityFields | olv::records::SensorFields)
             .join(u'\n')});
    if (answer != BoxAnswer::Yes || !JournalAllowsWrite()) return;

    uint8_t exceptionCode = 0;
    WriteRecord record;
    const ResultFlags flags = ReadBeforeWrite(record, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        // Nothing is written when the instrument's own words cannot be read first.
        ReportExchangeError(flags, exceptionCode);
        return;
    }
    const olv::device::PageWriteResult result =
        WriteConfigurationBlocks(olv::device::InstrumentOwnedBits(ListsOf(*this)), record);
    if (result.stop != olv::device::WriteStop::Refused)
        JournalWrite(QStringLiteral("Запись конфигурации"), record, result);
    ReportPageWrite(record.before, result,
                    {QStringLiteral("Данные конфигурации записаны."),
                     QStringLiteral("Данные конфигурации записаны, но для проверки из прибора не прочитаны."),
                     QStringLiteral("Данные конфигурации записаны, но прибор возвращает иные значения полей: %1.")});
}

// Change handlers of the page's fields: a change by the user marks the field as edited; fills from
// code run with uiBusy set and leave the colour alone.
void TForm1::Edit1Change() {
    if (uiBusy != 1) SetEdited(Edit1);
}
void TForm1::Edit2Change() {
    if (uiBusy != 1) SetEdited(Edit2);
}
void TForm1::Edit3Change() {
    if (uiBusy != 1) SetEdited(Edit3);
}
void TForm1::Edit4Change() {
    if (uiBusy != 1) SetEdited(Edit4);
}
void TForm1::Edit5Change() {
    if (uiBusy != 1) SetEdited(Edit5);
}
void TForm1::Edit6Change() {
    if (uiBusy != 1) SetEdited(Edit6);
}
void TForm1::Edit7Change() {
    if (uiBusy != 1) SetEdited(Edit7);
}
void TForm1::ComboBox4Change() {
    if (uiBusy != 1) SetEdited(ComboBox4);
}
void TForm1::ComboBox5Change() {
    if (uiBusy != 1) SetEdited(ComboBox5);
}
void TForm1::ComboBox6Change() {
    if (uiBusy != 1) SetEdited(ComboBox6);
}
void TForm1::ComboBox7Change() {
    if (uiBusy != 1) SetEdited(ComboBox7);
}
void TForm1::ComboBox8Change() {
    if (uiBusy != 1) SetEdited(ComboBox8);
}
void TForm1::ComboBox11Change() {
    if (uiBusy != 1) SetEdited(ComboBox11);
}

// Key filters of the float fields: a typed point or comma becomes the decimal point.
void TForm1::Edit2KeyPress(QChar& key) {
    PointForSeparator(key);
}
void TForm1::Edit3KeyPress(QChar& key) {
    PointForSeparator(key);
}
void TForm1::Edit6KeyPress(QChar& key) {
    PointForSeparator(key);
}
void TForm1::Edit7KeyPress(QChar& key) {
    PointForSeparator(key);
}

// Takes the page's fields into the register image, field by field; the first text that does not
// convert ends it with its two messages (the fields before it are already in the image). True then.
bool TForm1::CollectConfiguration(bool placeholderKeepsWord) {
    auto& w = image.words;
    const auto unconvertible = [this](QLineEdit* edit, const QLabel* caption, bool integerField) {
        ReportUnconvertible(*boxes, integerField, caption->text());
        FocusRefusedField(edit);
        return true;
    };
    const auto kept = [&](const QLineEdit* edit) {
        return placeholderKeepsWord && ShowsPlaceholder(edit->text());
    };

    if (!kept(Edit5)) {
        const std::optional<int32_t> model = olv::device::ParseInteger(Edit5->text());
        if (!model) return unconvertible(Edit5, Label5, true);
        w[reg::Model] = static_cast<uint16_t>(*model); // the low 16 bits: -1 is 65535
    }

    if (!kept(Edit1)) {
        const std::optional<int32_t> modelCode = olv::device::ParseInteger(Edit1->text());
        if (!modelCode) return unconvertible(Edit1, Label6, true);
        w[reg::ModelCode] = static_cast<uint16_t>(*modelCode);
    }

    if (!kept(Edit4)) {
        const std::optional<int32_t> serial = olv::device::ParseInteger(Edit4->text());
        if (!serial) return unconvertible(Edit4, Label9, true);
        olv::device::SplitWords(static_cast<uint32_t>(*serial), w[reg::SerialHigh], w[reg::SerialLow]);
    }

    // A float field still showing what was shown for the image's value keeps the image's words: the
    // four decimals shown must not round the instrument's calibration data.
    const std::array<std::tuple<QLineEdit*, const QLabel*, int>, 4> floats{
        {{Edit2, Label7, reg::RangeMax},
         {Edit3, Label8, reg::RangeMin},
         {Edit6, Label17, reg::TrimOffset},
         {Edit7, Label18, reg::TrimMultiplier}}};
    for (const auto& [edit, caption, first] : floats)
        if (!kept(edit) && !olv::device::CollectFloatField(edit->text(), w[first], w[first + 1]))
            return unconvertible(edit, caption, false);

    // A list that shows nothing leaves its part of the word to the instrument (WriteConfiguration).
    olv::device::CollectLists(ListsOf(*this), image);
    // For a write, what converted must also be something the instrument may hold.
    return !placeholderKeepsWord && RefuseConfigurationValues();
}

// The collected image judged by the rules every configuration write obeys; a field the page leaves to
// the instrument (a list that shows nothing, the registers it does not show) is its own business. The
// first refusal is shown with its field focused: of two compared fields, the one the user edited.
bool TForm1::RefuseConfigurationValues() {
    const olv::device::WordMasks owned = olv::device::InstrumentOwnedBits(ListsOf(*this));
    const auto ownedByInstrument = [&owned](olv::device::CheckedField field) {
        for (const olv::device::FieldBits& bits : olv::device::BitsOf(field))
            if ((owned[static_cast<size_t>(bits.reg)] & bits.mask) != bits.mask) return false;
        return true;
    };
    using olv::device::CheckedField;
    const auto controlOf = [this](CheckedField field) -> std::pair<QWidget*, const QLabel*> {
        switch (field) {
        case CheckedField::Date:
            return {ComboBox6, Label11};
        case CheckedField::RangeMax:
            return {Edit2, Label7};
        case CheckedField::RangeMin:
            return {Edit3, Label8};
        case CheckedField::TrimOffset:
            return {Edit6, Label17};
        case CheckedField::TrimMultiplier:
            return {Edit7, Label18};
        case CheckedField::Damping:
            return {ComboBox5, Label10};
        case CheckedField::Units:
            return {ComboBox4, Label15};
        case CheckedField::SensorUnits:
            return {ComboBox11, Label19};
        default:
            return {nullptr, nullptr};
        }
    };
    for (const olv::device::Refusal& refusal : olv::device::ConfigurationRefusals(image.words)) {
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
        ReportRefusedValue(*boxes, olv::device::RefusalSentence(refusal), caption->text());
        FocusRefusedField(control);
        return true;
    }
    return false;
}

// Writes the seven configuration blocks from the register image. What the page does not show
// (registers 4, 10, 11, 36..47, the text, and the parts of 5, 9 and 58 whose list is empty) must be the
// written instrument's own: those words come from its state read just before the write. The image then
// holds what the instrument returned (where the read-back failed, what it held before).
olv::device::PageWriteResult TForm1::WriteConfigurationBlocks(const olv::device::WordMasks& owned,
                                                              const WriteRecord& record) {
    ProgressBar1->setMaximum(ConfigBlockCount);
    ProgressBar1->setValue(0);
    Panel3->setCaption(QStringLiteral("Запись параметров"));
    Panel3->setVisible(true);
    repaint();

    const olv::device::WriteHooks hooks =
        WriteProgressHooks([this](int ms) { Pause(ms); }, ProgressBar1, this);
    const olv::device::PageWriteResult result =
        olv::device::WriteSensorConfiguration(master, image, record.before.image, owned, hooks);
    Panel3->setVisible(false);
    if (result.stop == olv::device::WriteStop::Refused) return result;

    const bool unknown = !olv::device::BlocksIn(result, olv::device::BlockState::Unknown).isEmpty();
    image.words = olv::records::StateAfterWrite(record.before, result).image.words;
    if (unknown)
        image.source.reset(); // what the instrument holds of a block is not known
    else
        image.source = record.target;
    return result;
}
