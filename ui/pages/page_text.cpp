// Page 4, "Текст": the instrument's stored text and the three version values.
#include "ui/window/form1.h"
#include "ui/window/form_fill.h"

#include "device/device_text.h"
#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "messages/message_boxes.h"
#include "records/journal.h"
#include "records/page_write_record.h"

#include <QLabel>
#include <QLineEdit>

#include <optional>

using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
using olv::link::ResultFlags;

// Shows the text words of the register image in Edit8: up to the first zero byte, blanks as they are.
void TForm1::ShowDeviceText() {
    const BusyWhileFilling busy(uiBusy);
    Edit8->setText(olv::device::TextFromWords(image.words.data() + olv::device::reg::Text));
}

// Takes Edit8 into the text words of the register image: its first 16 characters as Windows-1251
// bytes (a character outside that code page as "?"), completed with blanks. The placeholder shown
// before any read is no text: the words stay as they are.
void TForm1::CollectDeviceText() {
    if (ShowsPlaceholder(Edit8->text())) return;
    olv::device::TextToWords(Edit8->text(), image.words.data() + olv::device::reg::Text);
}

// Reads the module's model, hardware and software words into the register image; each word read also
// sets its 32-bit copy, which the settings profile saves.
ResultFlags TForm1::ReadVersions(uint8_t& exceptionCode) {
    // The pause between the two reads comes only after the model word was read and stored.
    const ResultFlags flags = olv::device::ReadVersions(master, image, exceptionCode, [this](int ms) {
        modelValue = image.moduleModel;
        Pause(ms);
    });
    if (olv::link::Succeeded(flags, exceptionCode)) {
        StampPages(1u << 4);
        modelValue = image.moduleModel;
        hardwareValue = image.moduleHardware;
        softwareValue = image.moduleSoftware;
    }
    return flags;
}

// Shows the three version values in Edit9..Edit11 as unsigned decimals.
void TForm1::ShowVersions() {
    const BusyWhileFilling busy(uiBusy);
    Edit9->setText(QString::number(image.moduleModel));
    Edit10->setText(QString::number(image.moduleHardware));
    Edit11->setText(QString::number(image.moduleSoftware));
}

// "Прочитать": reads the versions and the text and shows them.
void TForm1::Button6Click() {
    const InstrumentOperation operation(*this);
    if (!operation.started()) return;
    uint8_t exceptionCode = 0;
    ResultFlags flags = ReadVersions(exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode))
        ReportExchangeError(flags, exceptionCode);
    else
        ShowVersions();
    for (QWidget* field : {Edit9, Edit10, Edit11})
        SetNormal(field);

    // The text is read whatever the versions gave.
    exceptionCode = 0;
    flags = ReadDeviceText(exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        ReportExchangeError(flags, exceptionCode);
        SetNormal(Edit8);
        return;
    }
    ShowDeviceText();
    SetNormal(Edit8);
    boxes->show({QStringLiteral("Прочитан текст и обозначения версий из прибора"),
                 QStringLiteral("Результат операции"),
                 BoxIcon::Information,
                 BoxButtons::Ok,
                 {}});
}

// What the page would write, without a message: the text unless it shows the placeholder, and each
// version that converts. The confirmation's new values.
olv::device::RegisterImage TForm1::TextAndVersionsShown() const {
    olv::device::RegisterImage shown = image;
    if (!ShowsPlaceholder(Edit8->text()))
        olv::device::TextToWords(Edit8->text(), shown.words.data() + olv::device::reg::Text);
    for (const auto& [edit, word] : {std::pair{Edit9, &shown.moduleModel}, std::pair{Edit10, &shown.moduleHardware},
                                     std::pair{Edit11, &shown.moduleSoftware}})
        if (const std::optional<int32_t> value = olv::device::ParseInteger(edit->text()))
            *word = static_cast<uint16_t>(static_cast<uint32_t>(*value) & 0xFFFFu);
    return shown;
}

// "Записать": validates and writes the versions and the text.
void TForm1::Button7Click() {
    const InstrumentOperation operation(*this);
    if (!operation.started()) return;
    const olv::records::InstrumentState now{image, 0}, meant{TextAndVersionsShown(), 0};
    const BoxAnswer answer =
        boxes->show({QStringLiteral("Вы хотите записать новый текст и обозначения версий?"),
                     QStringLiteral("Подтвердите действие"),
                     BoxIcon::Warning,
                     BoxButtons::YesNo,
                     {},
                     olv::records::ConfirmationRows(image.source == TargetInstrument() ? &now : nullptr, meant,
                                                    olv::records::TextFields | olv::records::VersionFields)
                         .join(u'\n')});
    if (answer != BoxAnswer::Yes) {
        ShowLinkSettings(0);
        return;
    }
    if (ShowsPlaceholder(Edit8->text())) {
        // No text was read or typed: there is nothing of the user's or the instrument's to write.
        ReportNothingToSend(*boxes, QStringLiteral("Текст, хранящийся в приборе"));
        FocusRefusedField(Edit8);
        return;
    }
    CollectDeviceText();
    if (CollectVersions()) return; // nothing is sent; the refused field keeps its colour
    if (!JournalAllowsWrite()) return;
    for (QWidget* field : {Edit8, Edit9, Edit10, Edit11})
        SetNormal(field);

    uint8_t exceptionCode = 0;
    WriteRecord record;
    const ResultFlags flags = ReadBeforeWrite(record, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        ReportExchangeError(flags, exceptionCode);
        return;
    }

    olv::device::WriteHooks hooks;
    hooks.progress = [this](int done, int) {
        if (done == 2) // both version blocks
            for (QWidget* field : {Edit9, Edit10, Edit11})
                SetNormal(field);
    };
    hooks.pause = [this](int ms) { Pause(ms); };
    const olv::device::PageWriteResult result = olv::device::WriteTextAndVersions(master, image, hooks);
    // The image holds what the instrument returned.
    olv::device::TakeHeldWords(image, result);
    JournalWrite(QStringLiteral("Запись текста и версий"), record, result);
    if (ReportPageWrite(record.before, result,
                        {QStringLiteral("Записаны новый текст и обозначения версий в прибор"),
                         QStringLiteral("Текст и обозначения версий записаны, но для проверки из прибора не прочитаны."),
                         QStringLiteral("Текст и обозначения версий записаны, но прибор возвращает иные значения "
                                        "полей: %1.")}))
        SetNormal(Edit8);
}

// Change handlers of the page's fields: a change by the user marks the field as edited; a fill from
// code (ShowDeviceText, ShowVersions, which set uiBusy) does not.
void TForm1::Edit8Change() {
    if (!uiBusy) SetEdited(Edit8);
}
void TForm1::Edit9Change() {
    if (!uiBusy) SetEdited(Edit9);
}
void TForm1::Edit10Change() {
    if (!uiBusy) SetEdited(Edit10);
}
void TForm1::Edit11Change() {
    if (!uiBusy) SetEdited(Edit11);
}

// Reads the text block into the register image.
ResultFlags TForm1::ReadDeviceText(uint8_t& exceptionCode) {
    const ResultFlags flags = olv::device::ReadDeviceText(master, image, exceptionCode);
    // Another instrument's text next to this one's other words: the image no longer comes from one.
    if (olv::link::Succeeded(flags, exceptionCode) && image.source != TargetInstrument())
        image.source.reset();
    if (olv::link::Succeeded(flags, exceptionCode)) StampPages(1u << 4);
    return flags;
}

// Takes Edit9..Edit11 in that order into the 32-bit values and the low 16 bits of each into the
// image's module words (65536 becomes 0, a negative number its low 16 bits). On the first field that
// does not convert: the two input messages, and true; the fields before it are already stored. With
// placeholderKeepsWord a field still showing "Данных нет" keeps its values.
bool TForm1::CollectVersions(bool placeholderKeepsWord) {
    struct Field {
        QLineEdit* edit;
        const QLabel* caption;
        int32_t& value;
        uint16_t& word;
    };
    const Field fields[] = {{Edit9, Label37, modelValue, image.moduleModel},
                            {Edit10, Label38, hardwareValue, image.moduleHardware},
                            {Edit11, Label39, softwareValue, image.moduleSoftware}};
    for (const Field& field : fields) {
        if (placeholderKeepsWord && ShowsPlaceholder(field.edit->text())) continue;
        const std::optional<int32_t> value = olv::device::ParseInteger(field.edit->text());
        if (!value) {
            ReportUnconvertible(*boxes, true, field.caption->text());
            FocusRefusedField(field.edit);
            return true;
        }
        field.value = *value;
        field.word = static_cast<uint16_t>(static_cast<uint32_t>(*value) & 0xFFFFu);
    }
    return false;
}
