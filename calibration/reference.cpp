#include "calibration/reference.h"

#include "calibration/number_texts.h"
#include "device/number_text.h"

namespace olv::calibration {

std::optional<double> ParseTypedReference(const QString& text, const Range& range, QString& reason) {
    const std::optional<double> value = device::ParseFloat(text);
    if (!value) {
        reason = QStringLiteral("Значение эталона «%1» не число (дробная часть отделяется точкой).")
                     .arg(text.trimmed().left(40));
        return std::nullopt;
    }
    const double margin = 0.1 * range.span();
    if (!range.valid() || *value < range.minimum - margin || *value > range.maximum + margin) {
        reason =
            QStringLiteral("Значение эталона %1 лежит вне диапазона %2 … %3 больше чем на 10 % диапазона.")
                .arg(ValueText(*value, range.units), ValueText(range.minimum), ValueText(range.maximum));
        return std::nullopt;
    }
    reason.clear();
    return value;
}

QString CheckReferenceAddress(int meterAddress, int referenceAddress) {
    if (referenceAddress < 1 || referenceAddress > 255)
        return QStringLiteral("Адрес эталонного прибора должен быть от 1 до 255.");
    if (referenceAddress == meterAddress)
        return QStringLiteral("Эталонный прибор не может быть на адресе %1: это адрес проверяемого прибора.")
            .arg(referenceAddress);
    return {};
}

} // namespace olv::calibration
