// Decoding form text: "+" for a space and "%" with hexadecimal digits for a
// byte.
#ifndef OSTREL_HELPERS_PERCENT_DECODE_H_
#define OSTREL_HELPERS_PERCENT_DECODE_H_

#include <string>
#include <string_view>

namespace ostrel {

// `text` with every "+" made a space, then every "%" and the two characters
// after it (one at the end of the text) replaced by the byte those
// hexadecimal digits give, 0 included. A decoded byte is never decoded
// again, and "%2B" stays a plus sign. Raises a type-mismatch error when
// what follows a "%" is not one or two hexadecimal digits: a "%" at the end
// of the text, or one followed by anything else, a blank included.
std::string PercentDecode(std::string_view text);

}  // namespace ostrel

#endif  // OSTREL_HELPERS_PERCENT_DECODE_H_
