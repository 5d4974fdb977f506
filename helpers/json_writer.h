// Writing JSON text: objects, arrays, strings and integers, with the commas
// placed and every string escaped.
#ifndef OSTREL_HELPERS_JSON_WRITER_H_
#define OSTREL_HELPERS_JSON_WRITER_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace ostrel {

// Appends `text` to `out` as a quoted JSON string: `"` and `\` escaped,
// control characters as `\n`, `\t`... or `\u00XX`. Bytes that are not valid
// UTF-8 (a Latin-1 file name, a cut sequence, an encoded surrogate) become
// U+FFFD each, so that the result is always valid JSON.
void AppendJsonString(std::string& out, std::string_view text);

// Builds one JSON text in the order of the calls. The caller nests Begin and
// End calls properly and gives a Key before each member of an object; the
// writer adds the commas between values.
class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view name);
  JsonWriter& String(std::string_view value);
  JsonWriter& Number(int64_t value);

  JsonWriter& Member(std::string_view name, std::string_view value);
  JsonWriter& Member(std::string_view name, int64_t value);
  // A member whose value is an array of strings.
  JsonWriter& Member(std::string_view name, std::initializer_list<std::string_view> values);

  const std::string& text() const { return text_; }

 private:
  // Starts a value: a comma first when a value came before it at this level.
  void BeginValue();
  JsonWriter& Open(char bracket);
  JsonWriter& Close(char bracket);

  std::string text_;
  bool after_value_ = false;
};

}  // namespace ostrel

#endif  // OSTREL_HELPERS_JSON_WRITER_H_
