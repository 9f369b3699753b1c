// Page 2, "Настройки связи": the instrument's own address, baud rate, parity and byte order.
#include "ui/window/form1.h"
#include "ui/window/control_makers.h"

#include "ui/widgets/caption_panel.h"
#include "ui/window/form_fill.h"

#include "device/device_link.h"
#include "device/encodings.h"
#include "device/register_map.h"
#include "device/value_rules.h"
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

#include <utility>
#include <vector>

using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
using olv::link::ResultFlags;

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

// Change handlers of the proposed values: a change by the user marks the box as edited.
void TForm1::ComboBox9Change() {
    if (uiBusy != 1) SetEdited(ComboBox9);
}
void TForm1::ComboBox10Change() {
    if (uiBusy != 1) SetEdited(ComboBox10);
}
void TForm1::ComboBox15Change() {
    if (uiBusy != 1) SetEdited(ComboBox15);
}
void TForm1::ComboBox16Change() {
    if (uiBusy != 1) SetEdited(ComboBox16);
}

// "Записать": writes byte order, address and baud rate, and parity into the instrument, following
// each accepted change with the program's own link.
void TForm1::Button1Click() {
    WriteDeviceLinkSettings();
}

// Hidden "Сменить при приеме": takes the proposed byte order for the live value; nothing is sent.
void TForm1::Button8Click() {
    if (ComboBox16->currentIndex() >= 0) {
        pendingLink.pendingByteOrder = ComboBox16->currentIndex();
        linkSettings.byteOrder = ComboBox16->currentIndex();
    }
    SetNormal(ComboBox16);
}

// Takes the page's four boxes into the pending device link values.
void TForm1::CollectDeviceLinkSettings(int guard) {
    if (guard) return;
    uiBusy = 1;
    pendingLink.pendingBaudRate = olv::device::BaudRateOfIndex(ComboBox10->currentIndex());
    CollectEntry(ComboBox9, pendingLink.pendingAddress);
    CollectEntry(ComboBox15, pendingLink.pendingParity);
    CollectEntry(ComboBox16, pendingLink.pendingByteOrder);
    uiBusy = 0;
}

// Confirms, then writes the three settings into the instrument.
void TForm1::WriteDeviceLinkSettings() {
    const InstrumentOperation operation(*this);
    if (!operation.started()) return;

    // A box with no entry selected has no value to send; none is made up for it.
    for (auto [box, caption] :
         {std::pair{ComboBox9, QStringLiteral("Сетевой номер")},
          std::pair{ComboBox10, QStringLiteral("Скорость обмена")},
          std::pair{ComboBox15, QStringLiteral("Паритет")},
          std::pair{ComboBox16, QStringLiteral("Порядок байт в измеренном значении")}}) {
        if (box->currentIndex() < 0) {
            ReportNothingToSend(*boxes, caption);
            FocusRefusedField(box);
            return;
        }
    }
    // What the boxes propose, judged by the rules of every link write before anything is asked or sent.
    const olv::device::LinkValues proposed{ComboBox9->currentIndex(), ComboBox10->currentIndex(),
                                           ComboBox15->currentIndex(), ComboBox16->currentIndex()};
    const std::vector<olv::device::Refusal> refusals = olv::device::LinkRefusals(proposed);
    if (!refusals.empty()) {
        const olv::device::Refusal& refusal = refusals.front();
        QString text = olv::device::RefusalSentence(refusal);
        if (refusal.fields.front() == olv::device::CheckedField::Address)
            text += QStringLiteral(" Выберите номер от 1 до 255.");
        boxes->show({text, QStringLiteral("Ошибка ввода"), BoxIcon::Warning, BoxButtons::Ok, {}});
        switch (refusal.fields.front()) {
        case olv::device::CheckedField::BaudRate:
            FocusRefusedField(ComboBox10);
            break;
        case olv::device::CheckedField::Parity:
            FocusRefusedField(ComboBox15);
            break;
        case olv::device::CheckedField::ByteOrder:
            FocusRefusedField(ComboBox16);
            break;
        default:
            FocusRefusedField(ComboBox9);
            break;
        }
        return;
    }

    // The settings in force against those proposed, and where the meter answers afterwards.
    const olv::device::LinkValues now{linkSettings.address, olv::device::BaudCode(linkSettings.baudRate),
                                      linkSettings.parity, linkSettings.byteOrder};
    const BoxAnswer answer =
        boxes->show({QStringLiteral("Вы хотите сменить параметры связи?"),
                     QStringLiteral("Подтвердите действие"),
                     BoxIcon::Warning,
                     BoxButtons::YesNo,
                     {},
                     olv::records::LinkConfirmationRows(now, proposed).join(u'\n')});
    if (answer != BoxAnswer::Yes) {
        // The page shows the values in effect again, so none of its boxes is marked as edited.
        ShowLinkSettings(0);
        for (QWidget* box : std::initializer_list<QWidget*>{ComboBox9, ComboBox10, ComboBox15, ComboBox16})
            SetNormal(box);
        return;
    }

    CollectDeviceLinkSettings(uiBusy);
    if (!JournalAllowsWrite()) return;

    uint8_t exceptionCode = 0;
    WriteRecord record;
    const ResultFlags flags = ReadBeforeWrite(record, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        ReportExchangeError(flags, exceptionCode);
        return;
    }
    const olv::device::PageWriteResult result = WriteLinkValues(proposed);
    JournalWrite(QStringLiteral("Запись параметров связи"), record, result);
    ReportPageWrite(record.before, result,
                    {QStringLiteral("Параметры связи записаны"),
                     QStringLiteral("Параметры связи записаны, но прибор не ответил по новым параметрам связи."),
                     QStringLiteral("Параметры связи записаны, но прибор возвращает иные значения полей: %1."),
                     QStringLiteral("Прибор не ответил %1.").arg(olv::records::LinkAnswersAt(proposed))});
}

olv::device::PageWriteResult TForm1::WriteLinkValues(const olv::device::LinkValues& values) {
    ProgressBar2->setMaximum(LinkProgressMaximum);
    ProgressBar2->setValue(0);
    Panel4->setCaption(QStringLiteral("Запись параметров связи"));
    Panel4->setVisible(true);
    repaint();

    olv::device::WriteHooks hooks;
    hooks.progress = [this](int done, int) { ProgressBar2->setValue(done); };
    hooks.pause = [this](int ms) { Pause(ms); };
    const std::unique_ptr<olv::device::DeviceLinkSteps> follow = LinkFollower(values);
    const olv::device::PageWriteResult result = olv::device::WriteLinkSettings(master, values, *follow, hooks);
    // A later configuration write sends the byte order the instrument holds now.
    olv::device::TakeHeldWords(image, result);
    Panel4->setVisible(false);
    return result;
}
