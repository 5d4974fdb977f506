#include "platform/real_path.h"

#include <stdlib.h>

#include <memory>

#include "platform/native_path.h"

namespace ostrel {

std::optional<std::string> RealPath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  const std::string native = NativePath(path);
  const std::unique_ptr<char, decltype(&free)> resolved(realpath(native.c_str(), nullptr), &free);
  if (!resolved) {
    return std::nullopt;
  }
  return std::string(resolved.get());
}

}  // namespace ostrel
