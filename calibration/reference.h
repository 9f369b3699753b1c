#pragma once

#include "calibration/procedure.h"

#include <QString>

#include <optional>

namespace olv::calibration {

// A reference value typed by the engineer: a number with the point as decimal separator (as every number
// field takes it) within the range or less than 10 % of the span beyond it. None, with the reason in
// words, for anything else.
std::optional<double> ParseTypedReference(const QString& text, const Range& range, QString& reason);

// Why a reference meter cannot be read at referenceAddress while the meter under test is at
// meterAddress, in words; empty when it can. Address 0 is the broadcast nobody answers, an address
// beyond 255 does not fit the frame, and the meter's own address would compare the meter with itself.
QString CheckReferenceAddress(int meterAddress, int referenceAddress);

} // namespace olv::calibration
