#include "shell/helpers/number_conversion.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/error.h"

namespace ostrel {
namespace {

bool IsDigit(char character) { return character >= '0' && character <= '9'; }

}  // namespace

double LeadingNumber(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return 0;
  }
  text.remove_prefix(first);
  size_t digits_start = 0;
  if (text[0] == '+' || text[0] == '-') {
    digits_start = 1;
  }
  // Only plain decimal numbers count: strtod alone would also take "inf",
  // "nan" and "0x1A", which are no numbers here.
  const bool starts_with_number =
      digits_start < text.size() && (IsDigit(text[digits_start]) ||
                                     (text[digits_start] == '.' && digits_start + 1 < text.size() &&
                                      IsDigit(text[digits_start + 1])));
  if (!starts_with_number) {
    return 0;
  }
  const size_t end = text.find_first_not_of("0123456789.eE+-", digits_start);
  const std::string number(text.substr(0, end));
  // strtod parses the longest valid prefix; it gives HUGE_VAL on overflow
  // and 0 on underflow, both of which suit a count.
  return std::strtod(number.c_str(), nullptr);
}

int32_t RoundToInt32(double value) {
  // nearbyint rounds in the current mode, which is round-half-even.
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
    throw Error(ErrorKind::kOverflow);
  }
  return static_cast<int32_t>(rounded);
}

}  // namespace ostrel
