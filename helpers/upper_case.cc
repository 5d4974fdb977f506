#include "helpers/upper_case.h"

namespace ostrel {

std::string UpperCase(std::string_view text) {
  std::string folded(text);
  for (char& character : folded) {
    if (character >= 'a' && character <= 'z') {
      character = static_cast<char>(character - 'a' + 'A');
    }
  }
  return folded;
}

}  // namespace ostrel
