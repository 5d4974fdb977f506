#include "helpers/json_writer.h"

namespace ostrel {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// The length of the valid UTF-8 sequence at the start of `text`, or 0 when
// it starts with a byte that begins none: a stray continuation byte, an
// overlong form, a surrogate, a code point beyond U+10FFFF or a cut sequence.
size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  // The range the second byte must lie in narrows for the leads whose
  // sequences could otherwise be overlong, surrogates or too large.
  unsigned char low = 0x80;
  unsigned char high = 0xbf;
  if (lead < 0x80) {
    return 1;
  } else if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    low = lead == 0xe0 ? 0xa0 : 0x80;
    high = lead == 0xed ? 0x9f : 0xbf;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    low = lead == 0xf0 ? 0x90 : 0x80;
    high = lead == 0xf4 ? 0x8f : 0xbf;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) {
    return 0;
  }
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xbf) {
      return 0;
    }
  }
  return length;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  while (!text.empty()) {
    const unsigned char c = static_cast<unsigned char>(text.front());
    size_t consumed = 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHexDigits[c >> 4];
          out += kHexDigits[c & 0xf];
        } else if (const size_t length = Utf8SequenceLength(text); length == 0) {
          out += "\\ufffd";
        } else {
          out.append(text.substr(0, length));
          consumed = length;
        }
    }
    text.remove_prefix(consumed);
  }
  out += '"';
}

void JsonWriter::BeginValue() {
  if (after_value_) {
    text_ += ',';
  }
  after_value_ = true;
}

JsonWriter& JsonWriter::Open(char bracket) {
  BeginValue();
  text_ += bracket;
  after_value_ = false;
  return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
  text_ += bracket;
  after_value_ = true;
  return *this;
}

JsonWriter& JsonWriter::BeginObject() { return Open('{'); }

JsonWriter& JsonWriter::EndObject() { return Close('}'); }

JsonWriter& JsonWriter::BeginArray() { return Open('['); }

JsonWriter& JsonWriter::EndArray() { return Close(']'); }

JsonWriter& JsonWriter::Key(std::string_view name) {
  BeginValue();
  AppendJsonString(text_, name);
  text_ += ':';
  // The member's value follows without a comma.
  after_value_ = false;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view value) {
  BeginValue();
  AppendJsonString(text_, value);
  return *this;
}

JsonWriter& JsonWriter::Number(int64_t value) {
  BeginValue();
  text_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Member(std::string_view name, std::string_view value) {
  return Key(name).String(value);
}

JsonWriter& JsonWriter::Member(std::string_view name, int64_t value) {
  return Key(name).Number(value);
}

JsonWriter& JsonWriter::Member(std::string_view name,
                               std::initializer_list<std::string_view> values) {
  Key(name).BeginArray();
  for (const std::string_view value : values) {
    String(value);
  }
  return EndArray();
}

}  // namespace ostrel
