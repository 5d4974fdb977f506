#include "platform/readable_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/native_path.h"

namespace ostrel {

ReadableFile::ReadableFile(std::string_view path) : path_(NativePath(path)) {
  // O_NONBLOCK keeps the open of a FIFO without a writer from waiting
  // forever; for a regular file it changes nothing.
  descriptor_ = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor_ < 0) {
    throw PosixError("open " + path_, errno);
  }
  struct stat status;
  if (fstat(descriptor_, &status) != 0) {
    const int error_number = errno;
    close(descriptor_);
    throw PosixError("stat " + path_, error_number);
  }
  if (!S_ISREG(status.st_mode)) {
    close(descriptor_);
    if (S_ISDIR(status.st_mode)) {
      throw PosixError("open " + path_, EISDIR);
    }
    throw Error(EINVAL, "open " + path_ + ": not a regular file");
  }
}

ReadableFile::~ReadableFile() {
  if (descriptor_ >= 0) {
    // Nothing was written, so a failing close loses nothing.
    (void)close(descriptor_);
  }
}

std::string ReadableFile::ReadPrefix(size_t count) const {
  std::string bytes(count, '\0');
  size_t got = 0;
  while (got < count) {
    const ssize_t read_now =
        pread(descriptor_, bytes.data() + got, count - got, static_cast<off_t>(got));
    if (read_now < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw PosixError("read " + path_, errno);
    }
    if (read_now == 0) {
      break;
    }
    got += static_cast<size_t>(read_now);
  }
  bytes.resize(got);
  return bytes;
}

int ReadableFile::Release() {
  const int descriptor = descriptor_;
  descriptor_ = -1;
  return descriptor;
}

}  // namespace ostrel
