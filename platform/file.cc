#include "platform/file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/native_path.h"

namespace ostrel {
namespace {

// The regular file at `native_path`, or no descriptor with errno set.
// O_NONBLOCK keeps the open of a FIFO without a writer from waiting for one;
// for a regular file it changes nothing.
Descriptor OpenRegularFile(const std::string& native_path, SymbolicLinks links) {
  const int flags =
      O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == SymbolicLinks::kRefuse ? O_NOFOLLOW : 0);
  Descriptor descriptor(RetryOnInterrupt([&] { return open(native_path.c_str(), flags); }));
  if (!descriptor.is_open()) {
    return descriptor;
  }
  struct stat status {};
  int error_number = 0;
  if (fstat(descriptor.get(), &status) != 0) {
    error_number = errno;
  } else if (!S_ISREG(status.st_mode)) {
    error_number = S_ISDIR(status.st_mode) ? EISDIR : ENODEV;
  }
  if (error_number != 0) {
    descriptor.Close();  // only opened for reading: nothing to lose
    errno = error_number;
  }
  return descriptor;
}

[[noreturn]] void RaiseOpenError(const std::string& native_path, int error_number) {
  switch (error_number) {
    case ENODEV:
      throw Error(ErrorSource::kSystem, EINVAL, "open " + native_path + ": not a regular file");
    case ELOOP:
      throw Error(ErrorSource::kSystem, ELOOP,
                  "open " + native_path + ": a symbolic link, refused");
    default:
      throw PosixError("open " + native_path, error_number);
  }
}

// Calls `read_some(bytes done so far)` until `count` bytes are read or the
// file ends; returns how many were read.
template <typename ReadSome>
size_t ReadUntilFullOrEnd(const std::string& native_path, size_t count, ReadSome read_some) {
  size_t done = 0;
  while (done < count) {
    const ssize_t got = RetryOnInterrupt([&] { return read_some(done); });
    if (got < 0) {
      throw PosixError("read " + native_path, errno);
    }
    if (got == 0) {
      break;
    }
    done += static_cast<size_t>(got);
  }
  return done;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(Descriptor descriptor, std::string native_path)
    : descriptor_(std::move(descriptor)), native_path_(std::move(native_path)) {}

ReadOnlyFile::ReadOnlyFile(std::string_view path, SymbolicLinks links)
    : native_path_(NativePath(path)) {
  descriptor_ = OpenRegularFile(native_path_, links);
  if (!descriptor_.is_open()) {
    RaiseOpenError(native_path_, errno);
  }
}

std::optional<ReadOnlyFile> ReadOnlyFile::OpenIfExists(std::string_view path) {
  std::string native_path = NativePath(path);
  Descriptor descriptor = OpenRegularFile(native_path, SymbolicLinks::kFollow);
  if (!descriptor.is_open()) {
    const int error_number = errno;
    struct stat status {};
    if (error_number == ENOENT && lstat(native_path.c_str(), &status) != 0) {
      return std::nullopt;
    }
    if (error_number == ENOENT) {
      // The name is there, so it is a link that leads nowhere: a file that
      // was meant to be read and cannot be.
      throw Error(ErrorSource::kSystem, ENOENT,
                  "open " + native_path + ": a symbolic link whose target is missing");
    }
    RaiseOpenError(native_path, error_number);
  }
  return ReadOnlyFile(std::move(descriptor), std::move(native_path));
}

int64_t ReadOnlyFile::Length() const {
  struct stat status {};
  if (fstat(descriptor_.get(), &status) != 0) {
    throw PosixError("stat " + native_path_, errno);
  }
  return static_cast<int64_t>(status.st_size);
}

size_t ReadOnlyFile::Read(char* buffer, size_t count) {
  return ReadUntilFullOrEnd(native_path_, count, [&](size_t done) {
    return read(descriptor_.get(), buffer + done, count - done);
  });
}

std::string ReadOnlyFile::ReadPrefix(size_t count) const {
  std::string bytes(count, '\0');
  const size_t got = ReadUntilFullOrEnd(native_path_, count, [&](size_t done) {
    return pread(descriptor_.get(), bytes.data() + done, count - done, static_cast<off_t>(done));
  });
  bytes.resize(got);
  return bytes;
}

std::string ReadOnlyFile::ReadToEnd() {
  std::string contents;
  char buffer[65536];
  while (const size_t got = Read(buffer, sizeof buffer)) {
    contents.append(buffer, got);
  }
  return contents;
}

std::optional<std::string> ReadOnlyFile::ResolvedPath() const {
  const std::string link = "/proc/self/fd/" + std::to_string(descriptor_.get());
  std::string path(PATH_MAX, '\0');
  const ssize_t length = readlink(link.c_str(), path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size() || path[0] != '/') {
    return std::nullopt;
  }
  path.resize(static_cast<size_t>(length));
  // A deleted file's link reads "<old path> (deleted)"; its old directory
  // says nothing about where the file is now.
  struct stat status {};
  if (fstat(descriptor_.get(), &status) != 0 || status.st_nlink == 0) {
    return std::nullopt;
  }
  return path;
}

void DeleteFile(std::string_view path) {
  const std::string native_path = NativePath(path);
  if (unlink(native_path.c_str()) != 0) {
    throw PosixError("delete " + native_path, errno);
  }
}

bool IsDirectory(std::string_view path) {
  struct stat status {};
  return stat(NativePath(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace ostrel
