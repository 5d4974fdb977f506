#include "platform/native_path.h"

#include <algorithm>

namespace ostrel {

std::string NativePath(std::string_view path) {
  std::string native(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

}  // namespace ostrel
