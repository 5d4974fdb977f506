#include "tests/support/json_value.h"

#include <cstdlib>

namespace ostrel::testing {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool ParseDocument(JsonValue& value) {
    return ParseValue(value, 0) && (SkipBlanks(), at_ == text_.size());
  }

 private:
  void SkipBlanks() {
    while (at_ < text_.size() &&
           std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos) {
      ++at_;
    }
  }

  bool Take(char c) {
    SkipBlanks();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  bool TakeWord(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) {
      return false;
    }
    at_ += word.size();
    return true;
  }

  bool ParseValue(JsonValue& value, int depth) {
    SkipBlanks();
    if (at_ == text_.size() || depth > 64) {
      return false;
    }
    const char c = text_[at_];
    if (c == '{') {
      value.type = JsonValue::Type::kObject;
      return ParseObject(value, depth);
    }
    if (c == '[') {
      value.type = JsonValue::Type::kArray;
      ++at_;
      if (Take(']')) {
        return true;
      }
      do {
        if (!ParseValue(value.items.emplace_back(), depth + 1)) {
          return false;
        }
      } while (Take(','));
      return Take(']');
    }
    if (c == '"') {
      value.type = JsonValue::Type::kString;
      return ParseString(value.string);
    }
    if (TakeWord("true") || TakeWord("false")) {
      value.type = JsonValue::Type::kBoolean;
      value.boolean = c == 't';
      return true;
    }
    if (TakeWord("null")) {
      return true;
    }
    value.type = JsonValue::Type::kNumber;
    return ParseNumber(value.number);
  }

  bool ParseObject(JsonValue& value, int depth) {
    ++at_;
    if (Take('}')) {
      return true;
    }
    do {
      std::string name;
      if (!(SkipBlanks(), ParseString(name)) || value.Find(name) != nullptr || !Take(':')) {
        return false;
      }
      value.members.emplace_back(std::move(name), JsonValue());
      if (!ParseValue(value.members.back().second, depth + 1)) {
        return false;
      }
    } while (Take(','));
    return Take('}');
  }

  bool ParseString(std::string& out) {
    if (!TakeWord("\"")) {
      return false;
    }
    while (at_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[at_++]);
      if (c == '"') {
        return true;
      }
      if (c < 0x20) {
        return false;
      }
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (at_ == text_.size()) {
        return false;
      }
      const char escape = text_[at_++];
      const size_t simple = std::string_view("\"\\/bfnrt").find(escape);
      if (simple != std::string_view::npos) {
        out += "\"\\/\b\f\n\r\t"[simple];
      } else if (escape == 'u' && at_ + 4 <= text_.size()) {
        const std::string hex(text_.substr(at_, 4));
        if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
          return false;
        }
        AppendUtf8(out, std::strtoul(hex.c_str(), nullptr, 16));
        at_ += 4;
      } else {
        return false;
      }
    }
    return false;
  }

  // The code point of a \u escape as UTF-8; a surrogate half is written as
  // it comes, which the documents under test never hold.
  static void AppendUtf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xc0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
      out += static_cast<char>(0xe0 | code >> 12);
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    }
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
  bool ParseNumber(double& number) {
    const size_t start = at_;
    const auto digits = [&] {
      const size_t first = at_;
      while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
        ++at_;
      }
      return at_ - first;
    };
    (void)TakeWord("-");
    const size_t first_digit = at_;
    const size_t integer_digits = digits();
    if (integer_digits == 0 || (integer_digits > 1 && text_[first_digit] == '0')) {
      return false;
    }
    if (TakeWord(".") && digits() == 0) {
      return false;
    }
    if ((TakeWord("e") || TakeWord("E")) &&
        ((void)(TakeWord("+") || TakeWord("-")), digits() == 0)) {
      return false;
    }
    number = std::strtod(std::string(text_.substr(start, at_ - start)).c_str(), nullptr);
    return true;
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const {
  for (const auto& [member_name, value] : members) {
    if (member_name == name) {
      return &value;
    }
  }
  return nullptr;
}

const JsonValue& JsonValue::operator[](std::string_view name) const {
  static const JsonValue kAbsent;
  const JsonValue* value = Find(name);
  return value != nullptr ? *value : kAbsent;
}

std::vector<std::string> JsonValue::Strings() const {
  std::vector<std::string> strings;
  for (const JsonValue& item : items) {
    strings.push_back(item.string);
  }
  return strings;
}

std::optional<JsonValue> ParseJson(std::string_view text) {
  JsonValue value;
  if (!Parser(text).ParseDocument(value)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace ostrel::testing
