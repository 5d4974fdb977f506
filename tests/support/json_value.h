// Reading JSON text back in tests: a strict parser and the value it gives.
#ifndef OSTREL_TESTS_SUPPORT_JSON_VALUE_H_
#define OSTREL_TESTS_SUPPORT_JSON_VALUE_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel::testing {

struct JsonValue {
  enum class Type { kNull, kBoolean, kNumber, kString, kArray, kObject };

  Type type = Type::kNull;
  bool boolean = false;
  double number = 0;
  std::string string;  // escapes decoded
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;  // in their order

  // The member named `name`, or nullptr when this is no object holding it.
  const JsonValue* Find(std::string_view name) const;
  // The member named `name`; a null value when there is none, so that a
  // chain of lookups fails on the comparison that follows it.
  const JsonValue& operator[](std::string_view name) const;
  // The strings of an array (empty for anything else).
  std::vector<std::string> Strings() const;
};

// `text` as one JSON value, or nothing when it is not exactly that: a
// missing or extra comma, a raw control character in a string, an unknown
// escape, a number with a leading zero, a name twice in one object, text
// after the value.
std::optional<JsonValue> ParseJson(std::string_view text);

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_JSON_VALUE_H_
