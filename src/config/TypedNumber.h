#pragma once

#include <QString>

#include <cstdint>

namespace wendmoor {

// How the preferences read a number the operator typed. Blanks anywhere in the text are ignored.
// What can continue a number is a sign as the very first character, decimal digits and one
// decimal point; reading stops at the first other character (a second point, a sign after the
// start, a letter, an exponent). Text that begins with no number gives 0.
[[nodiscard]] double leadingNumber(const QString& text);

// leadingNumber() rounded to a whole number, an exact half going to the even neighbour.
// Throws Error (ErrorNumber::Overflow) naming `boxName` when the result does not fit in 16 bits.
[[nodiscard]] std::int16_t typedInteger16(const QString& text, const QString& boxName);

} // namespace wendmoor
