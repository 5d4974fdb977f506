#include "conversion/temporary_output.h"

#include <utility>

#include "conversion/conversion_request.h"
#include "helpers/probe_file.h"
#include "platform/atomic_file.h"
#include "platform/automation.h"
#include "platform/directory_search.h"
#include "platform/environment.h"
#include "platform/file.h"

namespace ostrel {

std::string TemporaryDirectory(std::string directory) {
  for (const char* variable : {"TEMP", "TMP"}) {
    if (directory.empty()) {
      directory = GetEnvironmentVariable(variable);
    }
  }
  if (directory.empty()) {
    directory = "\\TEMP\\";
  }
  return WithTrailingBackslash(directory);
}

TemporaryOutput::TemporaryOutput(std::string configured_directory, std::string_view fn,
                                 int32_t run_identifier, std::string_view extension)
    : directory_(TemporaryDirectory(std::move(configured_directory))),
      path_(TempFilename(directory_.path(), fn, run_identifier, extension)),
      converter_path_(TempFilename(kHandedDirectoryPath, fn, run_identifier, extension)),
      on_signal_(path_) {}

TemporaryOutput::~TemporaryOutput() {
  // Cleaning up on the way out, a failure already being reported or none
  // to report: a file that cannot be removed now cannot be reported either.
  try {
    if (!ProbeFile(path_).empty()) {
      DeleteFile(path_);
    }
    if (!converted_) {
      RemoveConverterLeftovers();
    }
  } catch (...) {  // see above
  }
}

void TemporaryOutput::RemoveConverterLeftovers() const {
  // The directory's path through its descriptor ends in "/".
  const std::string directory = path_.substr(0, path_.find_last_of("\\/") + 1);
  const std::string pattern = AtomicFileTemporaryPattern(path_);
  // Bounded: each pass removes the entry it found.
  std::string name = ProbeFile(pattern, kAttributeHidden);
  for (int removed = 0; !name.empty() && removed < 100; ++removed) {
    DeleteFile(directory + name);
    name = ProbeFile(pattern, kAttributeHidden);
  }
}

}  // namespace ostrel
