// The converter's output file of one request, in the request's temporary
// directory, and removed on every way out.
#ifndef OSTREL_CONVERSION_TEMPORARY_OUTPUT_H_
#define OSTREL_CONVERSION_TEMPORARY_OUTPUT_H_

#include <string>

#include "platform/termination_cleanup.h"

namespace ostrel {

// `directory` (the configuration's TempDir), else TEMP, else TMP, else
// "\TEMP\"; always ending in a backslash. When other users can write there,
// this user's own subdirectory of it, so that they can neither read, replace
// nor block the request's files. Raises as PrivateWorkingDirectory does.
std::string TemporaryDirectory(std::string directory);

// The temporary GIF (or JSON description) at `path`, removed when this ends
// and by the termination handler, whatever ended the request: the client
// going away, a failure while streaming, a converter that failed. Unless
// MarkConverted was called, the converter's own temporary files for it
// (AtomicFile's, beside it) go too, in case the converter was killed before
// it could remove them.
class TemporaryOutput {
 public:
  explicit TemporaryOutput(std::string path);
  ~TemporaryOutput();
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;

  const std::string& path() const { return path_; }
  void MarkConverted() { converted_ = true; }

 private:
  void RemoveConverterLeftovers() const;

  std::string path_;
  CleanupFile on_signal_;
  bool converted_ = false;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERSION_TEMPORARY_OUTPUT_H_
