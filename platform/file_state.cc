#include "platform/file_state.h"

#include <sys/stat.h>
#include <time.h>

#include <string>

#include "platform/native_path.h"

namespace ostrel {

std::optional<FileState> ReadFileState(std::string_view path) {
  struct stat status {};
  if (path.find('\0') != std::string_view::npos || stat(NativePath(path).c_str(), &status) != 0) {
    return std::nullopt;
  }
  return FileState{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
                   static_cast<int64_t>(status.st_size),
                   static_cast<int64_t>(status.st_mtim.tv_sec),
                   static_cast<int64_t>(status.st_mtim.tv_nsec)};
}

std::optional<FileState> RunningProgramState() { return ReadFileState("/proc/self/exe"); }

int64_t WallClockSeconds() {
  // CLOCK_REALTIME cannot fail to be read on Linux.
  timespec now{};
  (void)clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec);
}

}  // namespace ostrel
