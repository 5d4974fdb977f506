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

// The descriptor of the regular file at `native_path`, or -1 with errno set.
// O_NONBLOCK keeps the open of a FIFO without a writer from waiting for one;
// for a regular file it changes nothing.
int OpenRegularFile(const std::string& native_path, SymbolicLinks links) {
  const int flags =
      O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == SymbolicLinks::kRefuse ? O_NOFOLLOW : 0);
  int descriptor;
  do {
    descriptor = open(native_path.c_str(), flags);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) {
    return -1;
  }
  struct stat status {};
  int error_number = 0;
  if (fstat(descriptor, &status) != 0) {
    error_number = errno;
  } else if (!S_ISREG(status.st_mode)) {
    error_number = S_ISDIR(status.st_mode) ? EISDIR : ENODEV;
  }
  if (error_number != 0) {
    (void)close(descriptor);  // only opened for reading: nothing to lose
    errno = error_number;
    return -1;
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
    const ssize_t got = read_some(done);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
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

ReadOnlyFile::ReadOnlyFile(int descriptor, std::string native_path)
    : descriptor_(descriptor), native_path_(std::move(native_path)) {}

ReadOnlyFile::ReadOnlyFile(std::string_view path, SymbolicLinks links)
    : ReadOnlyFile(-1, NativePath(path)) {
  descriptor_ = OpenRegularFile(native_path_, links);
  if (descriptor_ < 0) {
    RaiseOpenError(native_path_, errno);
  }
}

std::optional<ReadOnlyFile> ReadOnlyFile::OpenIfExists(std::string_view path) {
  std::string native_path = NativePath(path);
  const int descriptor = OpenRegularFile(native_path, SymbolicLinks::kFollow);
  if (descriptor < 0) {
    if (errno == ENOENT) {
      return std::nullopt;
    }
    RaiseOpenError(native_path, errno);
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
  return ReadUntilFullOrEnd(native_path_, count, [&](size_t done) {
    return read(descriptor_, buffer + done, count - done);
  });
}

std::string ReadOnlyFile::ReadPrefix(size_t count) const {
  std::string bytes(count, '\0');
  const size_t got = ReadUntilFullOrEnd(native_path_, count, [&](size_t done) {
    return pread(descriptor_, bytes.data() + done, count - done, static_cast<off_t>(done));
  });
  bytes.resize(got);
  return bytes;
}

int ReadOnlyFile::Release() { return std::exchange(descriptor_, -1); }

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
