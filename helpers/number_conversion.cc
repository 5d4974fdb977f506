#include "helpers/number_conversion.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <system_error>

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

int32_t TextToInt32(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  const size_t last = text.find_last_not_of(" \t");
  text =
      first == std::string_view::npos ? std::string_view() : text.substr(first, last - first + 1);
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '+' || negative)) {
    text.remove_prefix(1);
  }
  // from_chars alone would also take "inf" and "nan".
  if (text.empty() || !(IsDigit(text[0]) || text[0] == '.')) {
    throw Error(ErrorKind::kTypeMismatch);
  }
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: strtod says which, as an infinity
    // (an overflow below) or as zero.
    value = std::strtod(std::string(text.data(), end).c_str(), nullptr);
  } else if (error != std::errc()) {
    throw Error(ErrorKind::kTypeMismatch);
  }
  if (end != text.data() + text.size()) {
    throw Error(ErrorKind::kTypeMismatch);
  }
  return RoundToInt32(negative ? -value : value);
}

}  // namespace ostrel
