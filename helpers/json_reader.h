// Reading JSON text into a tree of values: the descriptions the converter
// writes.
#ifndef OSTREL_HELPERS_JSON_READER_H_
#define OSTREL_HELPERS_JSON_READER_H_

#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

struct JsonMember;

struct JsonNode {
  enum class Type { kNull, kBoolean, kNumber, kString, kArray, kObject };

  Type type = Type::kNull;
  bool boolean = false;
  double number = 0;
  std::string string;  // escapes decoded, as UTF-8
  std::vector<JsonNode> items;
  std::vector<JsonMember> members;  // in their order

  // The first member named `name`; nullptr when there is none or this is no
  // object.
  const JsonNode* Find(std::string_view name) const;
};

// A member of an object. A pair would not do: its constructors ask whether
// JsonNode is complete while JsonNode is still being declared.
struct JsonMember {
  std::string name;
  JsonNode value;
};

// `text` as one JSON value, blanks around it allowed. Raises a type-mismatch
// error, saying at which byte, for anything else: a missing or extra comma,
// a raw control character in a string, an unknown escape, a number with a
// leading zero or outside a double's range, text after the value, values
// nested more than 64 deep. A \u escape of a lone surrogate gives U+FFFD.
JsonNode ReadJson(std::string_view text);

}  // namespace ostrel

#endif  // OSTREL_HELPERS_JSON_READER_H_
