// Cutting a text into the pieces between one separator character.
#ifndef OSTREL_HELPERS_SPLIT_TEXT_H_
#define OSTREL_HELPERS_SPLIT_TEXT_H_

#include <string_view>
#include <vector>

namespace ostrel {

// The pieces of `text` between occurrences of `separator`, empty ones
// included: n separators give n + 1 pieces, and "" gives one empty piece.
// The pieces view `text`, which must outlive them.
std::vector<std::string_view> SplitText(std::string_view text, char separator);

}  // namespace ostrel

#endif  // OSTREL_HELPERS_SPLIT_TEXT_H_
