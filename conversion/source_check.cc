#include "conversion/source_check.h"

#include <optional>

#include "platform/allowed_directories.h"
#include "platform/error.h"
#include "platform/real_path.h"

namespace ostrel {

void CheckSourceAllowed(std::string_view path, std::string_view fn, std::string_view allowed) {
  const std::string source = std::string(path) + std::string(fn) + ".tif";
  const std::optional<std::string> resolved = RealPath(source);
  if (!resolved || !IsInAllowedDirectory(*resolved, allowed)) {
    throw Error(ErrorKind::kInvalidArgument,
                "source " + source + " is not in an allowed image directory");
  }
}

}  // namespace ostrel
