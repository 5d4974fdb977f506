#include "helpers/split_text.h"

namespace ostrel {

std::vector<std::string_view> SplitText(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t found = text.find(separator); found != std::string_view::npos;
       found = text.find(separator, start)) {
    pieces.push_back(text.substr(start, found - start));
    start = found + 1;
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

}  // namespace ostrel
