// Reading and deleting files named by the program's Windows-style paths.
#ifndef OSTREL_PLATFORM_FILE_H_
#define OSTREL_PLATFORM_FILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// A file open for reading only, closed when the object goes. Opening never
// creates a file.
class ReadOnlyFile {
 public:
  // Raises when `path` cannot be opened, a missing file included.
  explicit ReadOnlyFile(std::string_view path);
  // Empty when `path` does not exist; raises when it exists but cannot be
  // opened.
  static std::optional<ReadOnlyFile> OpenIfExists(std::string_view path);

  ReadOnlyFile(ReadOnlyFile&& other) noexcept;
  ReadOnlyFile& operator=(ReadOnlyFile&&) = delete;
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile();

  // The file's length in bytes now.
  int64_t Length() const;
  // Reads up to `count` bytes at the current position into `buffer`; fewer
  // only at the end of the file. Raises when a read fails.
  size_t Read(char* buffer, size_t count);
  // Everything from the current position to the end of the file.
  std::string ReadToEnd();

 private:
  ReadOnlyFile(int descriptor, std::string native_path);

  int descriptor_;
  std::string native_path_;  // names the file in error descriptions
};

// Removes the file `path`; raises when it cannot.
void DeleteFile(std::string_view path);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_FILE_H_
