#include "calibration/number_texts.h"

#include "device/number_text.h"

#include <cmath>

namespace olv::calibration {

QString ValueText(double value) {
    if (!std::isfinite(value)) return QStringLiteral("—");
    // Four decimals of a double, not of its single-precision rounding: means and errors are doubles.
    return QString::fromLatin1(device::FormatC("%.4f", value == 0 ? 0.0 : value));
}

QString ValueText(double value, const QString& units) {
    return units.isEmpty() ? ValueText(value) : ValueText(value) + u' ' + units;
}

QString PercentText(double percent, bool sign) {
    if (!std::isfinite(percent)) return QStringLiteral("—");
    return QString::fromLatin1(device::FormatC(sign ? "%+.3f" : "%.3f", percent == 0 ? 0.0 : percent));
}

} // namespace olv::calibration
