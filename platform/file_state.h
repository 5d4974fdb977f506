// What identifies a file's present content without reading it: which file
// it is and when it last changed.
#ifndef OSTREL_PLATFORM_FILE_STATE_H_
#define OSTREL_PLATFORM_FILE_STATE_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrel {

struct FileState {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified_seconds = 0;  // since the epoch
  int64_t modified_nanoseconds = 0;
};

// The state of the file `path` names ("\" or "/" alike), links followed;
// nothing when it cannot be looked at (missing, no permission).
std::optional<FileState> ReadFileState(std::string_view path);

// The state of the running program's executable file.
std::optional<FileState> RunningProgramState();

// Seconds since the epoch on the time-of-day clock.
int64_t WallClockSeconds();

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_FILE_STATE_H_
