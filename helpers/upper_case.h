// Letter-case folding for the comparisons that ignore case.
#ifndef OSTREL_HELPERS_UPPER_CASE_H_
#define OSTREL_HELPERS_UPPER_CASE_H_

#include <string>
#include <string_view>

namespace ostrel {

// `text` with the ASCII letters a to z made upper case; every other byte,
// and so every position, stays as it is.
std::string UpperCase(std::string_view text);

}  // namespace ostrel

#endif  // OSTREL_HELPERS_UPPER_CASE_H_
