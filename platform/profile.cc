#include "platform/profile.h"

#include <optional>

#include "platform/ascii_case.h"
#include "platform/file.h"

namespace ostrel {
namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string_view WithoutQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

std::optional<std::string_view> FindValue(std::string_view contents, std::string_view section,
                                          std::string_view key) {
  bool in_section = false;
  while (!contents.empty()) {
    const size_t end = contents.find('\n');
    const std::string_view line = Trimmed(contents.substr(0, end));
    contents.remove_prefix(end == std::string_view::npos ? contents.size() : end + 1);
    if (line.empty() || line.front() == ';') {
      continue;
    }
    if (line.front() == '[') {
      if (in_section) {
        return std::nullopt;  // only the first section of that name counts
      }
      const std::string_view name = Trimmed(line.substr(1, line.find(']') - 1));
      in_section = EqualIgnoringCase(name, section);
      continue;
    }
    const size_t equals = line.find('=');
    if (in_section && equals != std::string_view::npos &&
        EqualIgnoringCase(Trimmed(line.substr(0, equals)), key)) {
      return WithoutQuotes(Trimmed(line.substr(equals + 1)));
    }
  }
  return std::nullopt;
}

}  // namespace

std::string ReadProfileText(std::string_view file_name) {
  std::optional<ReadOnlyFile> file = ReadOnlyFile::OpenIfExists(file_name);
  return file ? file->ReadToEnd() : std::string();
}

std::string ProfileString(std::string_view contents, std::string_view section, std::string_view key,
                          std::string_view default_value, size_t capacity) {
  std::string_view value = FindValue(contents, section, key).value_or(default_value);
  // Cut where a zero-terminated buffer would end it: a NUL inside a value
  // would otherwise reach file names and arguments that stop there.
  value = value.substr(0, value.find('\0'));
  return std::string(value.substr(0, capacity == 0 ? 0 : capacity - 1));
}

}  // namespace ostrel
