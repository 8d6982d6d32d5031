#pragma once

#include <QString>
#include <optional>

// Every conversion between numbers and the text stored in the catalogue's files.
namespace kovra::numbers {

// Settings-file rule: cut at the first NUL, trim blanks, take the longest leading decimal number
// (optional sign, digits, at most one "."); text that does not begin with a number gives 0.
double leadingNumber(QStringView text);

// Geometry values and counts: the whole text (outer blanks allowed) must be a decimal number;
// it is rounded half to even and must fit -32768..32767. nullopt when it cannot be converted.
std::optional<qint16> toInt16(QStringView text);

// Round half to even, the rounding of every conversion to a whole number here.
double roundHalfEven(double v);

// Geometry writing: single precision, at most 7 significant digits, "." as decimal point,
// no trailing zeros, no exponent for ordinary values ("150", "187.5", "-20").
QString formatSingle(float value);

// Settings writing: locale-independent decimal, "-" for negative values, fraction kept when present.
QString formatDecimal(double value);

} // namespace kovra::numbers
