#include "platform/native_path.h"

#include <algorithm>

#include "platform/error.h"

namespace ostrel {

std::string NativePath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) {
    throw Error(ErrorKind::kInvalidArgument, "path holds a NUL byte");
  }
  std::string native(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

}  // namespace ostrel
