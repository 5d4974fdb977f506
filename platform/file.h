// Reading and deleting files named by the program's Windows-style paths.
#ifndef OSTREL_PLATFORM_FILE_H_
#define OSTREL_PLATFORM_FILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/descriptor.h"

namespace ostrel {

// Whether a symbolic link at the file's own name is followed. Links in the
// directories on the way are always followed.
enum class SymbolicLinks { kFollow, kRefuse };

// A regular file open for reading only, closed when the object goes.
// Opening never creates a file and never blocks, not even on a FIFO.
class ReadOnlyFile {
 public:
  // Raises when `path` cannot be opened, a missing file included, when it is
  // not a regular file, and with kRefuse when it is a symbolic link.
  explicit ReadOnlyFile(std::string_view path, SymbolicLinks links = SymbolicLinks::kFollow);
  // Empty when nothing at all stands at `path`'s name; raises as the
  // constructor does otherwise, also for a symbolic link whose target is
  // missing.
  static std::optional<ReadOnlyFile> OpenIfExists(std::string_view path);

  ReadOnlyFile(ReadOnlyFile&& other) noexcept = default;
  ReadOnlyFile& operator=(ReadOnlyFile&&) = delete;

  // The file's length in bytes now.
  int64_t Length() const;
  // Reads up to `count` bytes at the current position into `buffer`; fewer
  // only at the end of the file. Raises when a read fails.
  size_t Read(char* buffer, size_t count);
  // Everything from the current position to the end of the file.
  std::string ReadToEnd();
  // The first `count` bytes of the file, fewer when it is shorter; the
  // position does not move.
  std::string ReadPrefix(size_t count) const;

  // Where the open file lies now: its absolute path with every symbolic
  // link, "." and ".." resolved, as the kernel tracks it for the descriptor,
  // so a link re-pointed after the open does not change it. Empty when that
  // cannot be told: /proc is not mounted, or the file has been deleted.
  std::optional<std::string> ResolvedPath() const;

  // The descriptor, for a library that reads through it; still owned here.
  int descriptor() const { return descriptor_.get(); }
  // Hands the descriptor over to a new owner, who closes it.
  int Release() { return descriptor_.Release(); }

 private:
  ReadOnlyFile(Descriptor descriptor, std::string native_path);

  Descriptor descriptor_;
  std::string native_path_;  // names the file in error descriptions
};

// Removes the file `path`; raises when it cannot.
void DeleteFile(std::string_view path);

// Whether `path` names a directory, links followed; false when it cannot be
// examined (missing, say).
bool IsDirectory(std::string_view path);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_FILE_H_
