// A file that appears at its path complete or not at all: it is written to a
// temporary file in the same directory and renamed onto the path when done.
#ifndef OSTREL_PLATFORM_ATOMIC_FILE_H_
#define OSTREL_PLATFORM_ATOMIC_FILE_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/descriptor.h"
#include "platform/termination_cleanup.h"

namespace ostrel {

class AtomicFile {
 public:
  // Creates the temporary file beside `path` (a "\" counts as "/"), named
  // "." + the file name + "." + a random suffix (see
  // AtomicFileTemporaryPattern), so that it matches no pattern that `path`
  // would, with mode 0600: the file holds a request's image, which no other
  // user may read. Raises PosixError.
  explicit AtomicFile(std::string_view path);
  // Without Commit: removes the temporary file and whatever file lies at
  // `path`, so that a reader waiting for `path` cannot take an older file
  // for the one whose writing failed. A termination signal (see
  // termination_cleanup.h) removes both as well while the object lives,
  // even after Commit: a process told to stop has been abandoned by whoever
  // waited for `path`.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Appends `bytes` to the temporary file. Raises PosixError.
  void Write(std::string_view bytes);

  // Closes the temporary file and renames it onto `path`, replacing what
  // was there. Raises PosixError; the destructor then cleans up as above.
  void Commit();

  const std::string& temporary_path() const { return temporary_path_; }

 private:
  std::string path_;
  CleanupFile path_on_signal_;
  std::string temporary_path_;
  std::unique_ptr<CleanupFile> temporary_on_signal_;  // once the file exists
  Descriptor descriptor_;
  bool committed_ = false;
};

// A directory-search pattern that matches every temporary file an AtomicFile
// for `path` may create: `path` with its file name NAME replaced by
// ".NAME.????????". The directory part is kept as written.
std::string AtomicFileTemporaryPattern(std::string_view path);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_ATOMIC_FILE_H_
