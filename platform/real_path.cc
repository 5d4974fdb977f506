#include "platform/real_path.h"

#include <stdlib.h>

#include <memory>

namespace ostrel {

std::optional<std::string> RealPath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  std::string native(path);
  for (char& character : native) {
    character = character == '\\' ? '/' : character;
  }
  const std::unique_ptr<char, decltype(&free)> resolved(realpath(native.c_str(), nullptr), &free);
  if (!resolved) {
    return std::nullopt;
  }
  return std::string(resolved.get());
}

}  // namespace ostrel
