#include "ui/window/form_fill.h"

#include "messages/message_boxes.h"

using olv::messages::BoxButtons;
using olv::messages::BoxIcon;

namespace {

// The second box of every refused input: nothing goes to the instrument.
void ReportNothingWritten(olv::messages::MessageBoxes& boxes) {
    boxes.show({QStringLiteral("Запись данных не будет производиться."),
                QStringLiteral("Сообщение"),
                BoxIcon::Information,
                BoxButtons::Ok,
                {}});
}

} // namespace

void ReportUnconvertible(olv::messages::MessageBoxes& boxes, bool integerField, const QString& fieldCaption) {
    boxes.show({integerField ? QStringLiteral("Вводимые данные не получается представить целым числом.")
                             : QStringLiteral("Вводимые данные не получается представить плавающим числом."),
                QStringLiteral("Ошибка ввода"), BoxIcon::Warning, BoxButtons::Ok,
                QStringLiteral("Поле \"%1\"").arg(fieldCaption)});
    ReportNothingWritten(boxes);
}

void ReportNothingToSend(olv::messages::MessageBoxes& boxes, const QString& fieldCaption) {
    boxes.show({QStringLiteral("Поле \"%1\" не заполнено.").arg(fieldCaption),
                QStringLiteral("Ошибка ввода"),
                BoxIcon::Warning,
                BoxButtons::Ok,
                {}});
    ReportNothingWritten(boxes);
}

void ReportRefusedValue(olv::messages::MessageBoxes& boxes, const QString& sentence,
                        const QString& fieldCaption) {
    boxes.show({sentence, QStringLiteral("Ошибка ввода"), BoxIcon::Warning, BoxButtons::Ok,
                QStringLiteral("Поле \"%1\"").arg(fieldCaption)});
    ReportNothingWritten(boxes);
}

bool ShowsPlaceholder(const QString& text) {
    return text.trimmed() == QStringLiteral("Данных нет");
}
