// Page 2, "Настройки связи": the instrument's own address, baud rate, parity and byte order, its
// building, wiring and handlers.
#include "ui/pages/page_link.h"

#include "ui/widgets/caption_panel.h"
#include "ui/window/control_makers.h"
#include "ui/window/form1_controls.h"
#include "ui/window/form_fill.h"
#include "ui/window/line_flag.h"
#include "ui/window/page_host.h"

#include "device/device_link.h"
#include "device/encodings.h"
#include "device/pending_device_link.h"
#include "device/register_map.h"
#include "device/value_rules.h"
#include "link/link_settings.h"
#include "link/port_master.h"
#include "messages/message_boxes.h"
#include "records/instrument_state.h"
#include "records/page_write_record.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>
#include <utility>
#include <vector>

using olv::link::ResultFlags;
using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;

namespace {

constexpr int LinkProgressMaximum = 4;

// Takes the selected entry into value; with no entry selected the value stays as it was.
void CollectEntry(const QComboBox* box, int& value) {
    if (box->currentIndex() >= 0) value = box->currentIndex();
}

} // namespace

void Form1Controls::setupLinkPage(QWidget* page) {
    auto* outer = new QVBoxLayout(page);
    auto* grid = new QGridLayout();
    grid->addWidget(MakeLabel(page, Label12, "Label12", QStringLiteral("Сетевой номер")), 0, 0);
    grid->addWidget(MakeList(page, ComboBox9, "ComboBox9"), 0, 1);
    grid->addWidget(MakeLabel(page, Label13, "Label13", QStringLiteral("Скорость обмена")), 1, 0);
    grid->addWidget(MakeList(page, ComboBox10, "ComboBox10"), 1, 1);
    grid->addWidget(MakeLabel(page, Label30, "Label30", QStringLiteral("Паритет")), 2, 0);
    grid->addWidget(MakeEditableCombo(page, ComboBox15, "ComboBox15", QStringLiteral("ComboBox15")), 2, 1);
    auto* orderCaption = new QVBoxLayout();
    orderCaption->setSpacing(0);
    orderCaption->addWidget(MakeLabel(page, Label31, "Label31", QStringLiteral("Порядок байт в ")));
    orderCaption->addWidget(MakeLabel(page, Label34, "Label34", QStringLiteral("измеренном значении")));
    grid->addLayout(orderCaption, 3, 0);
    grid->addWidget(MakeEditableCombo(page, ComboBox16, "ComboBox16", QStringLiteral("ComboBox16")), 3, 1);
    grid->addWidget(MakeButton(page, Button8, "Button8", QStringLiteral("Сменить при приеме")), 3, 2);
    Button8->setVisible(false);
    grid->setColumnStretch(3, 1);
    outer->addLayout(grid);
    outer->addSpacing(10);
    outer->addWidget(MakeCheckBox(page, CheckBox7, "CheckBox7", QStringLiteral("Запись обмена")));
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(MakeButton(page, Button1, "Button1", QStringLiteral("Записать")));
    buttons->addStretch(1);
    outer->addLayout(buttons);
    outer->addStretch(1);
    MakePanel(page, Panel4, "Panel4", QStringLiteral("Panel4"));
    Panel4->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    Panel4->addControl(MakeProgress(Panel4, ProgressBar2, "ProgressBar2", 100));
    Panel4->setVisible(false);
    outer->addWidget(Panel4);
}

LinkPage::LinkPage(PageHost& host, Form1Controls& ui) : host(host), ui(ui) {}

void LinkPage::FillListsAndHints() {
    FillList(ui.ComboBox9, Numbers(0, 255, true));
    FillList(ui.ComboBox10, BaudRateEntries());
    FillList(ui.ComboBox15, ParityEntries());
    FillList(ui.ComboBox16, ByteOrderEntries());
    SetHint(ui.ComboBox9, QStringLiteral("Сетевой номер датчика"));
    SetHint(ui.ComboBox10, QStringLiteral("Скорость обмена датчика"));
    SetHint(ui.ComboBox15, QStringLiteral("Паритет при обмене с прибором"));
    SetHint(ui.ComboBox16, QStringLiteral("Порядок байт в плавающем числе"));
    SetHint(ui.Button1, QStringLiteral("Записать параметры связи"));
    SetHint(ui.Button8, QStringLiteral("Сменить порядок байт в плавающем числе при приеме"));
}

void LinkPage::Wire() {
    // activated: a pick by the user, also of the entry already selected; never from code.
    for (auto [box, handler] : {std::pair{ui.ComboBox9, &LinkPage::ComboBox9Change},
                                std::pair{ui.ComboBox10, &LinkPage::ComboBox10Change},
                                std::pair{ui.ComboBox15, &LinkPage::ComboBox15Change},
                                std::pair{ui.ComboBox16, &LinkPage::ComboBox16Change}})
        host.On(box, &QComboBox::activated, this, handler);
    host.On(ui.Button1, &QPushButton::clicked, this, &LinkPage::Button1Click);
    host.On(ui.Button8, &QPushButton::clicked, this, &LinkPage::Button8Click);
}

void LinkPage::Left() {
    // Choices not yet written are dropped: the boxes show the link in effect again.
    host.ShowLinkSettings(0);
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui.ComboBox9, ui.ComboBox10, ui.ComboBox15, ui.ComboBox16})
        SetNormal(control);
}

// Change handlers of the proposed values: a change by the user marks the box as edited.
void LinkPage::ComboBox9Change() {
    if (host.UiBusy() != 1) SetEdited(ui.ComboBox9);
}
void LinkPage::ComboBox10Change() {
    if (host.UiBusy() != 1) SetEdited(ui.ComboBox10);
}
void LinkPage::ComboBox15Change() {
    if (host.UiBusy() != 1) SetEdited(ui.ComboBox15);
}
void LinkPage::ComboBox16Change() {
    if (host.UiBusy() != 1) SetEdited(ui.ComboBox16);
}

// "Записать": writes byte order, address and baud rate, and parity into the instrument, following
// each accepted change with the program's own link.
void LinkPage::Button1Click() {
    WriteDeviceLinkSettings();
}

// Hidden "Сменить при приеме": takes the proposed byte order for the live value; nothing is sent.
void LinkPage::Button8Click() {
    if (ui.ComboBox16->currentIndex() >= 0) {
        host.PendingLink().pendingByteOrder = ui.ComboBox16->currentIndex();
        host.Link().byteOrder = ui.ComboBox16->currentIndex();
    }
    SetNormal(ui.ComboBox16);
}

// Takes the page's four boxes into the pending device link values.
void LinkPage::CollectDeviceLinkSettings(int guard) {
    if (guard) return;
    host.UiBusy() = 1;
    host.PendingLink().pendingBaudRate = olv::device::BaudRateOfIndex(ui.ComboBox10->currentIndex());
    CollectEntry(ui.ComboBox9, host.PendingLink().pendingAddress);
    CollectEntry(ui.ComboBox15, host.PendingLink().pendingParity);
    CollectEntry(ui.ComboBox16, host.PendingLink().pendingByteOrder);
    host.UiBusy() = 0;
}

// Confirms, then writes the three settings into the instrument.
void LinkPage::WriteDeviceLinkSettings() {
    const std::unique_ptr<OperationHold> operation = host.BeginOperation();
    if (!operation->started()) return;

    // A box with no entry selected has no value to send; none is made up for it.
    for (auto [box, caption] :
         {std::pair{ui.ComboBox9, QStringLiteral("Сетевой номер")},
          std::pair{ui.ComboBox10, QStringLiteral("Скорость обмена")},
          std::pair{ui.ComboBox15, QStringLiteral("Паритет")},
          std::pair{ui.ComboBox16, QStringLiteral("Порядок байт в измеренном значении")}}) {
        if (box->currentIndex() < 0) {
            ReportNothingToSend(host.Boxes(), caption);
            host.FocusRefusedField(box);
            return;
        }
    }
    // What the boxes propose, judged by the rules of every link write before anything is asked or sent.
    const olv::device::LinkValues proposed{ui.ComboBox9->currentIndex(), ui.ComboBox10->currentIndex(),
                                           ui.ComboBox15->currentIndex(), ui.ComboBox16->currentIndex()};
    const std::vector<olv::device::Refusal> refusals = olv::device::LinkRefusals(proposed);
    if (!refusals.empty()) {
        const olv::device::Refusal& refusal = refusals.front();
        QString text = olv::device::RefusalSentence(refusal);
        if (refusal.fields.front() == olv::device::CheckedField::Address)
            text += QStringLiteral(" Выберите номер от 1 до 255.");
        host.Boxes().show({text, QStringLiteral("Ошибка ввода"), BoxIcon::Warning, BoxButtons::Ok, {}});
        switch (refusal.fields.front()) {
        case olv::device::CheckedField::BaudRate:
            host.FocusRefusedField(ui.ComboBox10);
            break;
        case olv::device::CheckedField::Parity:
            host.FocusRefusedField(ui.ComboBox15);
            break;
        case olv::device::CheckedField::ByteOrder:
            host.FocusRefusedField(ui.ComboBox16);
            break;
        default:
            host.FocusRefusedField(ui.ComboBox9);
            break;
        }
        return;
    }

    // The settings in force against those proposed, and where the meter answers afterwards.
    const olv::device::LinkValues now{host.Link().address, olv::device::BaudCode(host.Link().baudRate),
                                      host.Link().parity, host.Link().byteOrder};
    const BoxAnswer answer =
        host.Boxes().show({QStringLiteral("Вы хотите сменить параметры связи?"),
                           QStringLiteral("Подтвердите действие"),
                           BoxIcon::Warning,
                           BoxButtons::YesNo,
                           {},
                           olv::records::LinkConfirmationRows(now, proposed).join(u'\n')});
    if (answer != BoxAnswer::Yes) {
        // The page shows the values in effect again, so none of its boxes is marked as edited.
        host.ShowLinkSettings(0);
        for (QWidget* box :
             std::initializer_list<QWidget*>{ui.ComboBox9, ui.ComboBox10, ui.ComboBox15, ui.ComboBox16})
            SetNormal(box);
        return;
    }

    CollectDeviceLinkSettings(host.UiBusy());
    if (!host.JournalAllowsWrite()) return;

    uint8_t exceptionCode = 0;
    WriteRecord record;
    const ResultFlags flags = host.ReadBeforeWrite(record, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        host.ReportExchangeError(flags, exceptionCode);
        return;
    }
    const olv::device::PageWriteResult result = WriteLinkValues(proposed);
    host.JournalWrite(QStringLiteral("Запись параметров связи"), record, result);
    host.ReportPageWrite(
        record.before, result,
        {QStringLiteral("Параметры связи записаны"),
         QStringLiteral("Параметры связи записаны, но прибор не ответил по новым параметрам связи."),
         QStringLiteral("Параметры связи записаны, но прибор возвращает иные значения полей: %1."),
         QStringLiteral("Прибор не ответил %1.").arg(olv::records::LinkAnswersAt(proposed))});
}

olv::device::PageWriteResult LinkPage::WriteLinkValues(const olv::device::LinkValues& values) {
    ui.ProgressBar2->setMaximum(LinkProgressMaximum);
    ui.ProgressBar2->setValue(0);
    ui.Panel4->setCaption(QStringLiteral("Запись параметров связи"));
    ui.Panel4->setVisible(true);
    host.RepaintNow();

    olv::device::WriteHooks hooks;
    hooks.progress = [this](int done, int) { ui.ProgressBar2->setValue(done); };
    hooks.pause = [this](int ms) { host.Pause(ms); };
    const std::unique_ptr<olv::device::DeviceLinkSteps> follow = host.LinkFollower(values);
    const olv::device::PageWriteResult result =
        olv::device::WriteLinkSettings(host.Master(), values, *follow, hooks);
    // A later configuration write sends the byte order the instrument holds now.
    olv::device::TakeHeldWords(host.Image(), result);
    ui.Panel4->setVisible(false);
    return result;
}
