// A regular file opened for reading, for libraries that take a descriptor.
#ifndef OSTREL_PLATFORM_READABLE_FILE_H_
#define OSTREL_PLATFORM_READABLE_FILE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel {

class ReadableFile {
 public:
  // Opens `path` (a "\" counts as "/"). The open never blocks, not even on a
  // FIFO. Raises PosixError naming the open; a directory, FIFO, device or
  // socket is refused as not a regular file.
  explicit ReadableFile(std::string_view path);
  ~ReadableFile();
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;

  // The first `count` bytes of the file, fewer when it is shorter. Raises
  // PosixError when the read fails.
  std::string ReadPrefix(size_t count) const;

  // The descriptor, still owned by this object.
  int descriptor() const { return descriptor_; }

  // Hands the descriptor over to a new owner, who closes it.
  int Release();

 private:
  std::string path_;
  int descriptor_;
};

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_READABLE_FILE_H_
