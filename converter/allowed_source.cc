#include "converter/allowed_source.h"

#include <optional>
#include <string>

#include "converter/conversion_failure.h"
#include "platform/allowed_directories.h"

namespace ostrel {

ReadOnlyFile OpenAllowedSource(const ConversionOptions& options) {
  ReadOnlyFile file = WithFailureKind(ConversionFailure::kCannotReadSource,
                                      [&] { return ReadOnlyFile(options.source); });
  if (!options.allowed_directories.empty()) {
    const std::optional<std::string> resolved = file.ResolvedPath();
    if (!resolved || !IsInAllowedDirectory(*resolved, options.allowed_directories)) {
      throw ConversionError(ConversionFailure::kCannotReadSource,
                            "source " + options.source + " is not in an allowed image directory");
    }
  }
  return file;
}

}  // namespace ostrel
