#include "conversion/temporary_output.h"

#include <utility>

#include "conversion/conversion_request.h"
#include "helpers/probe_file.h"
#include "platform/atomic_file.h"
#include "platform/directory_search.h"
#include "platform/environment.h"
#include "platform/file.h"
#include "platform/private_directory.h"

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
  return PrivateWorkingDirectory(WithTrailingBackslash(directory));
}

TemporaryOutput::TemporaryOutput(std::string path) : path_(std::move(path)), on_signal_(path_) {}

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
  const std::string directory = path_.substr(0, path_.rfind('\\') + 1);
  const std::string pattern = AtomicFileTemporaryPattern(path_);
  // Bounded: each pass removes the entry it found.
  std::string name = ProbeFile(pattern, kAttributeHidden);
  for (int removed = 0; !name.empty() && removed < 100; ++removed) {
    DeleteFile(directory + name);
    name = ProbeFile(pattern, kAttributeHidden);
  }
}

}  // namespace ostrel
