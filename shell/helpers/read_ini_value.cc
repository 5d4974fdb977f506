#include "shell/helpers/read_ini_value.h"

#include "platform/environment.h"
#include "platform/profile.h"

namespace ostrel {
namespace {

// The lookup is told a capacity of 2046 characters, the terminating zero
// included, so at most 2045 characters of a value come back. Configurations
// written for that limit keep behaving the same.
constexpr size_t kValueCapacity = 2046;

std::string ReadValue(std::string_view file_name, std::string_view section, std::string_view key,
                      std::string_view default_value, size_t capacity) {
  std::string path(file_name);
  if (path.find('\\') == std::string::npos) {
    // The backslash is added whatever the directory ends with.
    path = ExecutableDirectory() + "\\" + path;
  }
  return ReadProfileString(section, key, default_value, capacity, path);
}

}  // namespace

std::string ReadIniValue(std::string_view file_name, std::string_view section, std::string_view key,
                         std::string_view default_value) {
  return ReadValue(file_name, section, key, default_value, kValueCapacity);
}

std::string ReadWholeIniValue(std::string_view file_name, std::string_view section,
                              std::string_view key, std::string_view default_value) {
  return ReadValue(file_name, section, key, default_value, std::string::npos);
}

}  // namespace ostrel
