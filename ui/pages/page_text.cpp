// Page 4, "Текст": the instrument's stored text and the three version values, its building, wiring and
// handlers.
#include "ui/pages/page_text.h"

#include "ui/window/control_makers.h"
#include "ui/window/form1_controls.h"
#include "ui/window/form_fill.h"
#include "ui/window/line_flag.h"
#include "ui/window/page_host.h"

#include "device/device_text.h"
#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "link/port_master.h"
#include "messages/message_boxes.h"
#include "records/journal.h"
#include "records/page_write_record.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>
#include <optional>
#include <utility>

using olv::link::ResultFlags;
using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;

void Form1Controls::setupTextPage(QWidget* page) {
    auto* outer = new QVBoxLayout(page);
    outer->addWidget(MakeLabel(page, Label29, "Label29", QStringLiteral("Текст, хранящийся в приборе")));
    auto* textRow = new QHBoxLayout();
    MakeEdit(page, Edit8, "Edit8", NoData, 16);
    Edit8->setMinimumWidth(Edit8->fontMetrics().horizontalAdvance(QString(20, QLatin1Char('W'))));
    textRow->addWidget(Edit8);
    textRow->addStretch(1);
    outer->addLayout(textRow);
    outer->addSpacing(10);
    auto* grid = new QGridLayout();
    grid->addWidget(MakeLabel(page, Label37, "Label37", QStringLiteral("Модель")), 0, 0);
    grid->addWidget(MakeEdit(page, Edit9, "Edit9", NoData), 0, 1);
    grid->addWidget(MakeLabel(page, Label38, "Label38", QStringLiteral("Версия модуля")), 1, 0);
    grid->addWidget(MakeEdit(page, Edit10, "Edit10", NoData), 1, 1);
    grid->addWidget(MakeLabel(page, Label39, "Label39", QStringLiteral("Версия ПО модуля")), 2, 0);
    grid->addWidget(MakeEdit(page, Edit11, "Edit11", NoData), 2, 1);
    grid->setColumnStretch(2, 1);
    outer->addLayout(grid);
    outer->addSpacing(10);
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(MakeButton(page, Button6, "Button6", QStringLiteral("Прочитать")));
    buttons->addWidget(MakeButton(page, Button7, "Button7", QStringLiteral("Записать")));
    buttons->addStretch(1);
    outer->addLayout(buttons);
    outer->addStretch(1);
}

TextPage::TextPage(PageHost& host, Form1Controls& ui) : host(host), ui(ui) {}

void TextPage::FillHints() {
    SetHint(ui.Edit8, QStringLiteral("Текст хранимый в приборе. 16 символов."));
    SetHint(ui.Edit9,
            QStringLiteral("Модель прибора для опознования программами.Вводится как десятичное число."));
    SetHint(ui.Edit10, QStringLiteral("Версия железа.Вводится как десятичное число."));
    SetHint(ui.Edit11, QStringLiteral("Версия ПО.Вводится как десятичное число."));
    SetHint(ui.Button6, QStringLiteral("Прочитать текст из прибора"));
    SetHint(ui.Button7, QStringLiteral("Записать текст в прибор"));
}

void TextPage::Wire() {
    // Any change of the text, typed or set from code.
    for (auto [edit, handler] :
         {std::pair{ui.Edit8, &TextPage::Edit8Change}, std::pair{ui.Edit9, &TextPage::Edit9Change},
          std::pair{ui.Edit10, &TextPage::Edit10Change}, std::pair{ui.Edit11, &TextPage::Edit11Change}})
        host.On(edit, &QLineEdit::textChanged, this, handler);
    host.On(ui.Button6, &QPushButton::clicked, this, &TextPage::Button6Click);
    host.On(ui.Button7, &QPushButton::clicked, this, &TextPage::Button7Click);
}

// Shows the text words of the register image in Edit8: up to the first zero byte, blanks as they are.
void TextPage::ShowDeviceText() {
    const BusyWhileFilling busy(host.UiBusy());
    ui.Edit8->setText(olv::device::TextFromWords(host.Image().words.data() + olv::device::reg::Text));
}

// Takes Edit8 into the text words of the register image: its first 16 characters as Windows-1251
// bytes (a character outside that code page as "?"), completed with blanks. The placeholder shown
// before any read is no text: the words stay as they are.
void TextPage::CollectDeviceText() {
    if (ShowsPlaceholder(ui.Edit8->text())) return;
    olv::device::TextToWords(ui.Edit8->text(), host.Image().words.data() + olv::device::reg::Text);
}

// Reads the module's model, hardware and software words into the register image; each word read also
// sets its 32-bit copy, which the settings profile saves.
ResultFlags TextPage::ReadVersions(uint8_t& exceptionCode) {
    // The pause between the two reads comes only after the model word was read and stored.
    const ResultFlags flags =
        olv::device::ReadVersions(host.Master(), host.Image(), exceptionCode, [this](int ms) {
            modelValue = host.Image().moduleModel;
            host.Pause(ms);
        });
    if (olv::link::Succeeded(flags, exceptionCode)) {
        host.StampPages(1u << 4);
        modelValue = host.Image().moduleModel;
        hardwareValue = host.Image().moduleHardware;
        softwareValue = host.Image().moduleSoftware;
    }
    return flags;
}

// Shows the three version values in Edit9..Edit11 as unsigned decimals.
void TextPage::ShowVersions() {
    const BusyWhileFilling busy(host.UiBusy());
    ui.Edit9->setText(QString::number(host.Image().moduleModel));
    ui.Edit10->setText(QString::number(host.Image().moduleHardware));
    ui.Edit11->setText(QString::number(host.Image().moduleSoftware));
}

// "Прочитать": reads the versions and the text and shows them.
void TextPage::Button6Click() {
    const std::unique_ptr<OperationHold> operation = host.BeginOperation();
    if (!operation->started()) return;
    uint8_t exceptionCode = 0;
    ResultFlags flags = ReadVersions(exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode))
        host.ReportExchangeError(flags, exceptionCode);
    else
        ShowVersions();
    for (QWidget* field : {ui.Edit9, ui.Edit10, ui.Edit11})
        SetNormal(field);

    // The text is read whatever the versions gave.
    exceptionCode = 0;
    flags = ReadDeviceText(exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        host.ReportExchangeError(flags, exceptionCode);
        SetNormal(ui.Edit8);
        return;
    }
    ShowDeviceText();
    SetNormal(ui.Edit8);
    host.Boxes().show({QStringLiteral("Прочитан текст и обозначения версий из прибора"),
                       QStringLiteral("Результат операции"),
                       BoxIcon::Information,
                       BoxButtons::Ok,
                       {}});
}

// What the page would write, without a message: the text unless it shows the placeholder, and each
// version that converts. The confirmation's new values.
olv::device::RegisterImage TextPage::TextAndVersionsShown() const {
    olv::device::RegisterImage shown = host.Image();
    if (!ShowsPlaceholder(ui.Edit8->text()))
        olv::device::TextToWords(ui.Edit8->text(), shown.words.data() + olv::device::reg::Text);
    for (const auto& [edit, word] :
         {std::pair{ui.Edit9, &shown.moduleModel}, std::pair{ui.Edit10, &shown.moduleHardware},
          std::pair{ui.Edit11, &shown.moduleSoftware}})
        if (const std::optional<int32_t> value = olv::device::ParseInteger(edit->text()))
            *word = static_cast<uint16_t>(static_cast<uint32_t>(*value) & 0xFFFFu);
    return shown;
}

// "Записать": validates and writes the versions and the text.
void TextPage::Button7Click() {
    const std::unique_ptr<OperationHold> operation = host.BeginOperation();
    if (!operation->started()) return;
    const olv::records::InstrumentState now{host.Image(), 0}, meant{TextAndVersionsShown(), 0};
    const BoxAnswer answer = host.Boxes().show(
        {QStringLiteral("Вы хотите записать новый текст и обозначения версий?"),
         QStringLiteral("Подтвердите действие"),
         BoxIcon::Warning,
         BoxButtons::YesNo,
         {},
         olv::records::ConfirmationRows(host.Image().source == host.TargetInstrument() ? &now : nullptr,
                                        meant, olv::records::TextFields | olv::records::VersionFields)
             .join(u'\n')});
    if (answer != BoxAnswer::Yes) {
        host.ShowLinkSettings(0);
        return;
    }
    if (ShowsPlaceholder(ui.Edit8->text())) {
        // No text was read or typed: there is nothing of the user's or the instrument's to write.
        ReportNothingToSend(host.Boxes(), QStringLiteral("Текст, хранящийся в приборе"));
        host.FocusRefusedField(ui.Edit8);
        return;
    }
    CollectDeviceText();
    if (CollectVersions()) return; // nothing is sent; the refused field keeps its colour
    if (!host.JournalAllowsWrite()) return;
    for (QWidget* field : {ui.Edit8, ui.Edit9, ui.Edit10, ui.Edit11})
        SetNormal(field);

    uint8_t exceptionCode = 0;
    WriteRecord record;
    const ResultFlags flags = host.ReadBeforeWrite(record, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        host.ReportExchangeError(flags, exceptionCode);
        return;
    }

    olv::device::WriteHooks hooks;
    hooks.progress = [this](int done, int) {
        if (done == 2) // both version blocks
            for (QWidget* field : {ui.Edit9, ui.Edit10, ui.Edit11})
                SetNormal(field);
    };
    hooks.pause = [this](int ms) { host.Pause(ms); };
    const olv::device::PageWriteResult result =
        olv::device::WriteTextAndVersions(host.Master(), host.Image(), hooks);
    // The image holds what the instrument returned.
    olv::device::TakeHeldWords(host.Image(), result);
    host.JournalWrite(QStringLiteral("Запись текста и версий"), record, result);
    if (host.ReportPageWrite(
            record.before, result,
            {QStringLiteral("Записаны новый текст и обозначения версий в прибор"),
             QStringLiteral("Текст и обозначения версий записаны, но для проверки из прибора не прочитаны."),
             QStringLiteral("Текст и обозначения версий записаны, но прибор возвращает иные значения "
                            "полей: %1.")}))
        SetNormal(ui.Edit8);
}

// Change handlers of the page's fields: a change by the user marks the field as edited; a fill from
// code (ShowDeviceText, ShowVersions, which set uiBusy) does not.
void TextPage::Edit8Change() {
    if (!host.UiBusy()) SetEdited(ui.Edit8);
}
void TextPage::Edit9Change() {
    if (!host.UiBusy()) SetEdited(ui.Edit9);
}
void TextPage::Edit10Change() {
    if (!host.UiBusy()) SetEdited(ui.Edit10);
}
void TextPage::Edit11Change() {
    if (!host.UiBusy()) SetEdited(ui.Edit11);
}

// Reads the text block into the register image.
ResultFlags TextPage::ReadDeviceText(uint8_t& exceptionCode) {
    const ResultFlags flags = olv::device::ReadDeviceText(host.Master(), host.Image(), exceptionCode);
    // Another instrument's text next to this one's other words: the image no longer comes from one.
    if (olv::link::Succeeded(flags, exceptionCode) && host.Image().source != host.TargetInstrument())
        host.Image().source.reset();
    if (olv::link::Succeeded(flags, exceptionCode)) host.StampPages(1u << 4);
    return flags;
}

// Takes Edit9..Edit11 in that order into the 32-bit values and the low 16 bits of each into the
// image's module words (65536 becomes 0, a negative number its low 16 bits). On the first field that
// does not convert: the two input messages, and true; the fields before it are already stored. With
// placeholderKeepsWord a field still showing "Данных нет" keeps its values.
bool TextPage::CollectVersions(bool placeholderKeepsWord) {
    struct Field {
        QLineEdit* edit;
        const QLabel* caption;
        int32_t& value;
        uint16_t& word;
    };
    const Field fields[] = {{ui.Edit9, ui.Label37, modelValue, host.Image().moduleModel},
                            {ui.Edit10, ui.Label38, hardwareValue, host.Image().moduleHardware},
                            {ui.Edit11, ui.Label39, softwareValue, host.Image().moduleSoftware}};
    for (const Field& field : fields) {
        if (placeholderKeepsWord && ShowsPlaceholder(field.edit->text())) continue;
        const std::optional<int32_t> value = olv::device::ParseInteger(field.edit->text());
        if (!value) {
            ReportUnconvertible(host.Boxes(), true, field.caption->text());
            host.FocusRefusedField(field.edit);
            return true;
        }
        field.value = *value;
        field.word = static_cast<uint16_t>(static_cast<uint32_t>(*value) & 0xFFFFu);
    }
    return false;
}
