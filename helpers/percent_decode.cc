#include "helpers/percent_decode.h"

#include <charconv>

#include "platform/error.h"

namespace ostrel {

std::string PercentDecode(std::string_view text) {
  // Every "+" is a space before any escape is decoded; and the scan never
  // goes back over a byte it wrote. Both together are one left-to-right pass.
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t position = 0; position < text.size(); ++position) {
    const char character = text[position];
    if (character == '+') {
      decoded.push_back(' ');
    } else if (character != '%') {
      decoded.push_back(character);
    } else {
      const std::string_view hex = text.substr(position + 1, 2);
      unsigned value = 0;
      // An unsigned target makes from_chars refuse a sign.
      const auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
      if (hex.empty() || error != std::errc() || end != hex.data() + hex.size()) {
        throw Error(ErrorKind::kTypeMismatch);
      }
      decoded.push_back(static_cast<char>(value));
      position += hex.size();
    }
  }
  return decoded;
}

}  // namespace ostrel
