#include "platform/allowed_directories.h"

#include <optional>

#include "platform/real_path.h"

namespace ostrel {

std::vector<std::string> AllowedDirectoryList(std::string_view value) {
  constexpr std::string_view kBlanks = " \t";
  std::vector<std::string> directories;
  while (!value.empty()) {
    const size_t end = value.find(';');
    std::string_view entry = value.substr(0, end);
    value.remove_prefix(end == std::string_view::npos ? value.size() : end + 1);
    const size_t first = entry.find_first_not_of(kBlanks);
    if (first != std::string_view::npos) {
      entry = entry.substr(first, entry.find_last_not_of(kBlanks) - first + 1);
      directories.emplace_back(entry);
    }
  }
  return directories;
}

bool IsInsideDirectory(std::string_view path, std::string_view directory) {
  if (directory == "/") {
    return path.starts_with('/');
  }
  return path.starts_with(directory) &&
         (path.size() == directory.size() || path[directory.size()] == '/');
}

bool IsInAllowedDirectory(std::string_view path, std::string_view allowed) {
  for (const std::string& directory : AllowedDirectoryList(allowed)) {
    const std::optional<std::string> allowed_directory = RealPath(directory);
    if (allowed_directory && IsInsideDirectory(path, *allowed_directory)) {
      return true;
    }
  }
  return false;
}

}  // namespace ostrel
