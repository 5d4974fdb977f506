#include "platform/environment.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/error.h"

namespace ostrel {

std::string GetEnvironmentVariable(const std::string& name) {
  const char* value = getenv(name.c_str());
  return value == nullptr ? std::string() : std::string(value);
}

std::string ExecutableDirectory() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length < 0) {
    throw PosixError("readlink /proc/self/exe", errno);
  }
  if (static_cast<size_t>(length) == sizeof path) {
    throw PosixError("readlink /proc/self/exe", ENAMETOOLONG);
  }
  std::string directory(path, static_cast<size_t>(length));
  directory.erase(directory.rfind('/'));
  return directory;
}

int32_t RunIdentifier() { return static_cast<int32_t>(getpid()); }

}  // namespace ostrel
