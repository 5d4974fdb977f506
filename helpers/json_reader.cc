#include "helpers/json_reader.h"

#include <charconv>
#include <cstdint>
#include <utility>

#include "platform/error.h"

namespace ostrel {
namespace {

constexpr int kDeepestNesting = 64;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  JsonNode Document() {
    JsonNode value = Value(0);
    SkipBlanks();
    if (at_ != text_.size()) {
      Fail("text after the value");
    }
    return value;
  }

 private:
  [[noreturn]] void Fail(std::string_view what) const {
    throw Error(ErrorKind::kTypeMismatch,
                "JSON: " + std::string(what) + " at byte " + std::to_string(at_));
  }

  void SkipBlanks() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
  }

  // Whether the next byte, after blanks, is `c`; taken when it is.
  bool Take(char c) {
    SkipBlanks();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  void Expect(char c) {
    if (!Take(c)) {
      Fail(std::string("expected '") + c + "'");
    }
  }

  JsonNode Value(int depth) {
    if (depth >= kDeepestNesting) {
      Fail("values nested too deep");
    }
    SkipBlanks();
    JsonNode node;
    if (Take('{')) {
      node.type = JsonNode::Type::kObject;
      if (!Take('}')) {
        do {
          SkipBlanks();
          std::string name = String();
          Expect(':');
          node.members.push_back({std::move(name), Value(depth + 1)});
        } while (Take(','));
        Expect('}');
      }
    } else if (Take('[')) {
      node.type = JsonNode::Type::kArray;
      if (!Take(']')) {
        do {
          node.items.push_back(Value(depth + 1));
        } while (Take(','));
        Expect(']');
      }
    } else if (at_ < text_.size() && text_[at_] == '"') {
      node.type = JsonNode::Type::kString;
      node.string = String();
    } else if (Word("null")) {
    } else if (Word("true")) {
      node.type = JsonNode::Type::kBoolean;
      node.boolean = true;
    } else if (Word("false")) {
      node.type = JsonNode::Type::kBoolean;
    } else {
      node.type = JsonNode::Type::kNumber;
      node.number = Number();
    }
    return node;
  }

  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) {
      return false;
    }
    at_ += word.size();
    return true;
  }

  // Digits from `at_` on, at least one.
  void Digits() {
    if (at_ >= text_.size() || !IsDigit(text_[at_])) {
      Fail("expected a digit");
    }
    while (at_ < text_.size() && IsDigit(text_[at_])) {
      ++at_;
    }
  }

  double Number() {
    const size_t start = at_;
    Take('-');
    if (at_ < text_.size() && text_[at_] == '0') {
      ++at_;
    } else {
      Digits();
    }
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      Digits();
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) {
        ++at_;
      }
      Digits();
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text_.data() + start, text_.data() + at_, value);
    if (error != std::errc() || end != text_.data() + at_) {
      Fail("a number out of range");
    }
    return value;
  }

  uint32_t HexQuad() {
    if (at_ + 4 > text_.size()) {
      Fail("a short \\u escape");
    }
    uint32_t value = 0;
    const auto [end, error] =
        std::from_chars(text_.data() + at_, text_.data() + at_ + 4, value, 16);
    if (error != std::errc() || end != text_.data() + at_ + 4) {
      Fail("a bad \\u escape");
    }
    at_ += 4;
    return value;
  }

  static void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }

  // A \u escape after its "\u": a surrogate pair makes one character.
  uint32_t CodePoint() {
    const uint32_t first = HexQuad();
    if (first >= 0xD800 && first < 0xDC00 && text_.substr(at_, 2) == "\\u") {
      const size_t before = at_;
      at_ += 2;
      const uint32_t second = HexQuad();
      if (second >= 0xDC00 && second < 0xE000) {
        return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
      }
      at_ = before;
    }
    return first >= 0xD800 && first < 0xE000 ? 0xFFFD : first;
  }

  std::string String() {
    if (at_ >= text_.size() || text_[at_] != '"') {
      Fail("expected a string");
    }
    ++at_;
    std::string out;
    for (;;) {
      if (at_ >= text_.size()) {
        Fail("an unterminated string");
      }
      const char c = text_[at_++];
      if (c == '"') {
        return out;
      }
      if (static_cast<unsigned char>(c) < 0x20) {
        Fail("a control character in a string");
      }
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (at_ >= text_.size()) {
        Fail("an unterminated string");
      }
      const char escape = text_[at_++];
      switch (escape) {
        case '"':
        case '\\':
        case '/':
          out.push_back(escape);
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u':
          AppendUtf8(out, CodePoint());
          break;
        default:
          Fail("an unknown escape");
      }
    }
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

const JsonNode* JsonNode::Find(std::string_view name) const {
  for (const auto& [member_name, value] : members) {
    if (member_name == name) {
      return &value;
    }
  }
  return nullptr;
}

JsonNode ReadJson(std::string_view text) { return Reader(text).Document(); }

}  // namespace ostrel
