#pragma once

#include <QString>

namespace olv::calibration {

// A value in the meter's units as the window shows it: four decimals, the point as separator, no
// leading blanks; "—" for a value that is not a number.
QString ValueText(double value);
// The same followed by the units (nothing after it when units is empty).
QString ValueText(double value, const QString& units);
// A percentage of span: three decimals, with an explicit sign when `sign` is set ("+0.125").
QString PercentText(double percent, bool sign = false);

} // namespace olv::calibration
