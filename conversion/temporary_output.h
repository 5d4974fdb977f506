// The converter's output file of one request, in the request's temporary
// directory, and removed on every way out.
#ifndef OSTREL_CONVERSION_TEMPORARY_OUTPUT_H_
#define OSTREL_CONVERSION_TEMPORARY_OUTPUT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/private_directory.h"
#include "platform/termination_cleanup.h"

namespace ostrel {

// `directory` (the configuration's TempDir), else TEMP, else TMP, else
// "\TEMP\"; always ending in a backslash.
std::string TemporaryDirectory(std::string directory);

// The temporary GIF (or JSON description) of a request: TempFilename(the
// directory, fn, run identifier, extension) in TemporaryDirectory's
// directory, which is opened once and then reached through its descriptor
// alone (see PrivateDirectory: where other users can write, this user's own
// subdirectory of it), so that others can neither read, replace, redirect
// nor block the request's files. Removed when this ends and by the
// termination handler, whatever ended the request: the client going away, a
// failure while streaming, a converter that failed. Unless MarkConverted was
// called, the converter's own temporary files for it (AtomicFile's, beside
// it) go too, in case the converter was killed before it could remove them.
class TemporaryOutput {
 public:
  // Raises as PrivateDirectory and TempFilename do.
  TemporaryOutput(std::string configured_directory, std::string_view fn, int32_t run_identifier,
                  std::string_view extension);
  ~TemporaryOutput();
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;

  // This program's path to the file.
  const std::string& path() const { return path_; }
  // The file as the converter names it: through the directory handed to it
  // as handed_directory() (see AutomationObject::CallMethod).
  const std::string& converter_path() const { return converter_path_; }
  int handed_directory() const { return directory_.descriptor(); }
  const PrivateDirectory& directory() const { return directory_; }
  void MarkConverted() { converted_ = true; }

 private:
  void RemoveConverterLeftovers() const;

  PrivateDirectory directory_;
  std::string path_;
  std::string converter_path_;
  CleanupFile on_signal_;
  bool converted_ = false;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERSION_TEMPORARY_OUTPUT_H_
