#include "platform/file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "platform/error.h"
#include "platform/native_path.h"

namespace ostrel {
namespace {

int OpenForReading(const std::string& native_path) {
  int descriptor;
  do {
    descriptor = open(native_path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (descriptor < 0 && errno == EINTR);
  return descriptor;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(int descriptor, std::string native_path)
    : descriptor_(descriptor), native_path_(std::move(native_path)) {}

ReadOnlyFile::ReadOnlyFile(std::string_view path) : ReadOnlyFile(-1, NativePath(path)) {
  descriptor_ = OpenForReading(native_path_);
  if (descriptor_ < 0) {
    throw PosixError("open " + native_path_, errno);
  }
}

std::optional<ReadOnlyFile> ReadOnlyFile::OpenIfExists(std::string_view path) {
  std::string native_path = NativePath(path);
  const int descriptor = OpenForReading(native_path);
  if (descriptor < 0) {
    if (errno == ENOENT) {
      return std::nullopt;
    }
    throw PosixError("open " + native_path, errno);
  }
  return ReadOnlyFile(descriptor, std::move(native_path));
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      native_path_(std::move(other.native_path_)) {}

ReadOnlyFile::~ReadOnlyFile() {
  if (descriptor_ >= 0) {
    // Nothing was written, so a failed close loses nothing.
    (void)close(descriptor_);
  }
}

int64_t ReadOnlyFile::Length() const {
  struct stat status {};
  if (fstat(descriptor_, &status) != 0) {
    throw PosixError("stat " + native_path_, errno);
  }
  return static_cast<int64_t>(status.st_size);
}

size_t ReadOnlyFile::Read(char* buffer, size_t count) {
  size_t total = 0;
  while (total < count) {
    const ssize_t got = read(descriptor_, buffer + total, count - total);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw PosixError("read " + native_path_, errno);
    }
    if (got == 0) {
      break;
    }
    total += static_cast<size_t>(got);
  }
  return total;
}

std::string ReadOnlyFile::ReadToEnd() {
  std::string contents;
  char buffer[65536];
  while (const size_t got = Read(buffer, sizeof buffer)) {
    contents.append(buffer, got);
  }
  return contents;
}

void DeleteFile(std::string_view path) {
  const std::string native_path = NativePath(path);
  if (unlink(native_path.c_str()) != 0) {
    throw PosixError("delete " + native_path, errno);
  }
}

}  // namespace ostrel
