// Replacing every occurrence of a text.
#ifndef OSTREL_HELPERS_REPLACE_TEXT_H_
#define OSTREL_HELPERS_REPLACE_TEXT_H_

#include <string>
#include <string_view>

namespace ostrel {

// `source` with each occurrence of `find` replaced by `replacement`, found
// left to right; the search goes on right after each inserted replacement,
// so a replacement is never searched again ("aaa", "a" -> "aa" gives
// "aaaaaa"). Without `exact_case` letters are compared ignoring case. An
// empty `find` gives empty text, not `source`.
std::string ReplaceText(std::string_view source, std::string_view find,
                        std::string_view replacement, bool exact_case);

}  // namespace ostrel

#endif  // OSTREL_HELPERS_REPLACE_TEXT_H_
