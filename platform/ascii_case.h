// Comparing texts ignoring ASCII letter case, as configuration keys and the
// converter's parameter names are compared.
#ifndef OSTREL_PLATFORM_ASCII_CASE_H_
#define OSTREL_PLATFORM_ASCII_CASE_H_

#include <string_view>

namespace ostrel {

// Whether `a` and `b` are equal once the ASCII letters A to Z are folded to
// lower case; other bytes, those above 127 included, must match exactly, in
// any locale.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_ASCII_CASE_H_
