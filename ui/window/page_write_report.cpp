// What a page write shows when it is over, and the program's link following a link write: the write
// itself, its read-back and its journal entry are the core's (device/page_writes, records/page_write_record).
#include "ui/window/form1.h"
#include "ui/window/shown_instrument.h"

#include "device/encodings.h"
#include "messages/message_boxes.h"
#include "records/page_write_record.h"

#include <QComboBox>

using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
using olv::device::WriteStop;

namespace {

class WindowLinkFollower : public olv::device::DeviceLinkSteps {
  public:
    WindowLinkFollower(TForm1& form, const olv::device::LinkValues& values) : form_(form), values_(values) {}

    void byteOrderWritten() override {
        form_.linkSettings.byteOrder = values_.byteOrder;
        TForm1::SetNormal(form_.ComboBox16);
    }

    void addressBaudWritten() override {
        form_.linkSettings.address = values_.address & 0xFF;
        form_.shown().shownInstrument.moved(form_.linkSettings.address); // the same instrument, followed
        form_.linkSettings.baudRate = olv::device::BaudRateOfIndex(values_.baudCode);
        TForm1::SetNormal(form_.ComboBox10);
        TForm1::SetNormal(form_.ComboBox9);
        form_.ShowLinkSettings(form_.uiBusy);
        // The new rate with the old parity: the parity is changed by the next write.
        form_.OpenPort();
    }

    void parityWritten() override {
        TForm1::SetNormal(form_.ComboBox15);
        form_.linkSettings.parity = values_.parity;
        form_.ShowLinkSettings(form_.uiBusy);
        form_.OpenPort();
    }

  private:
    TForm1& form_;
    const olv::device::LinkValues values_; // what the instrument is given, whatever the boxes do meanwhile
};

} // namespace

std::unique_ptr<olv::device::DeviceLinkSteps> TForm1::LinkFollower(const olv::device::LinkValues& values) {
    return std::make_unique<WindowLinkFollower>(*this, values);
}

bool TForm1::ReportPageWrite(const olv::records::InstrumentState& before, const olv::device::PageWriteResult& result,
                             const PageWriteTexts& texts) {
    const QString caption = QStringLiteral("Результат операции");
    switch (result.stop) {
    case WriteStop::None:
        boxes->show({texts.written, caption, BoxIcon::Information, BoxButtons::Ok, {}});
        return true;
    case WriteStop::Exchange:
        ReportExchangeError(result.flags, result.exceptionCode, olv::device::BlocksText(result));
        break;
    case WriteStop::Refused:
        boxes->show({olv::device::StopText(result), QStringLiteral("Ошибка ввода"), BoxIcon::Warning, BoxButtons::Ok,
                     QStringLiteral("Запись данных не будет производиться.")});
        break;
    case WriteStop::Cancelled:
        boxes->show({olv::device::StopText(result), caption, BoxIcon::Warning, BoxButtons::Ok,
                     olv::device::BlocksText(result)});
        break;
    case WriteStop::ReadBack:
        boxes->show({texts.unchecked, caption, BoxIcon::Warning, BoxButtons::Ok, texts.uncheckedDetail});
        ReportExchangeError(result.flags, result.exceptionCode);
        break;
    case WriteStop::Mismatch: {
        QStringList fields = olv::records::MismatchedFields(before, result);
        if (fields.isEmpty()) // registers no page shows
            for (int number : result.mismatched())
                fields << QStringLiteral("регистр %1").arg(number);
        boxes->show({texts.differing.arg(fields.join(QStringLiteral(", "))), caption, BoxIcon::Warning,
                     BoxButtons::Ok, olv::device::BlocksText(result)});
        break;
    }
    }
    return false;
}
