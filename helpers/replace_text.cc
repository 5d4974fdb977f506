#include "helpers/replace_text.h"

#include "helpers/upper_case.h"

namespace ostrel {

std::string ReplaceText(std::string_view source, std::string_view find,
                        std::string_view replacement, bool exact_case) {
  if (find.empty()) {
    return {};
  }
  // Folding keeps every position, so a match found in the folded copy is a
  // match at the same place in `source`. Everything before `next` is copied
  // to the result and never looked at again.
  const std::string folded_source = exact_case ? std::string() : UpperCase(source);
  const std::string folded_find = exact_case ? std::string() : UpperCase(find);
  const std::string_view searched = exact_case ? source : std::string_view(folded_source);
  const std::string_view wanted = exact_case ? find : std::string_view(folded_find);
  std::string result;
  size_t next = 0;
  for (size_t found; (found = searched.find(wanted, next)) != std::string_view::npos;) {
    result.append(source.substr(next, found - next)).append(replacement);
    next = found + find.size();
  }
  result.append(source.substr(next));
  return result;
}

}  // namespace ostrel
