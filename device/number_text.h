#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace olv::device {

// The C library's printf formatting in the "C" locale, whatever locale the process runs in: the point
// as decimal separator, exact halves rounded as printf rounds them, the sign of -0 kept.
QByteArray FormatC(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "%11.4f" with the point as decimal separator whatever the locale: every float the window shows.
QString FormatValue(float v);

// The number fields of the window. Both accept blanks (spaces, tabs) before and after the number, so the
// leading blanks that FormatValue puts in front of a value convert back, and so does a pasted value
// with a trailing blank.

// Decimal digits with an optional sign, within the signed 32-bit range. Nothing else (no hexadecimal,
// no point, no group separators).
std::optional<int32_t> ParseInteger(const QString& text);

// Digits with an optional sign, an optional fraction after a point and an optional exponent
// ("e" or "E", optional sign, digits); the point is the separator whatever the locale, so "1,5" does
// not convert. At least one mantissa digit is needed (".5" and "5." convert). Infinity and NaN
// spellings do not convert; nor does a magnitude outside the double range
// (above about 1.8e308 or below about 4.9e-324).
std::optional<double> ParseFloat(const QString& text);

// ParseFloat rounded to single precision, for the configuration floats. A value that rounds to an
// infinity does not convert: it would be written into the instrument as calibration data.
std::optional<float> ParseSingle(const QString& text);

} // namespace olv::device
