#include "tests/support/json_value.h"

#include "helpers/json_reader.h"
#include "platform/error.h"

namespace ostrel::testing {
namespace {

// Copies `node` into `value`; false when an object repeats a name, which no
// writer of ours may do.
bool Copy(const JsonNode& node, JsonValue& value) {
  value.type = static_cast<JsonValue::Type>(node.type);
  value.boolean = node.boolean;
  value.number = node.number;
  value.string = node.string;
  for (const JsonNode& item : node.items) {
    if (!Copy(item, value.items.emplace_back())) {
      return false;
    }
  }
  for (const JsonMember& member : node.members) {
    if (value.Find(member.name) != nullptr) {
      return false;
    }
    value.members.emplace_back(member.name, JsonValue());
    if (!Copy(member.value, value.members.back().second)) {
      return false;
    }
  }
  return true;
}

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
  JsonNode node;
  try {
    node = ReadJson(text);
  } catch (const Error&) {  // text that is no JSON value is what the caller asks about
    return std::nullopt;
  }
  JsonValue value;
  if (!Copy(node, value)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace ostrel::testing
