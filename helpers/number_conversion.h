// Conversions of texts and numbers to the program's signed 32-bit integers.
#ifndef OSTREL_HELPERS_NUMBER_CONVERSION_H_
#define OSTREL_HELPERS_NUMBER_CONVERSION_H_

#include <cstdint>
#include <string_view>

namespace ostrel {

// The number at the start of `text`, read the way a leading-number parser
// reads it: leading blanks skipped, an optional sign, decimal digits with an
// optional fraction and exponent; reading stops at the first character that
// does not fit. Text without a leading number gives 0. A value too large for
// a double gives an infinity.
double LeadingNumber(std::string_view text);

// `value` rounded to the nearest integer, a half going to the even
// neighbour. Raises an overflow error when the result is outside the signed
// 32-bit range or `value` is not a number.
int32_t RoundToInt32(double value);

// `text` read as a whole as a decimal number (blanks around it, a sign, a
// fraction and an exponent allowed), rounded as RoundToInt32 does. Raises a
// type-mismatch error when `text` is no such number ("", "abc", "12abc",
// "0x1A", "inf") and an overflow error beyond the signed 32-bit range.
int32_t TextToInt32(std::string_view text);

}  // namespace ostrel

#endif  // OSTREL_HELPERS_NUMBER_CONVERSION_H_
