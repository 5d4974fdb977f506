#include "platform/slot_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/native_path.h"
#include "platform/timing.h"

namespace ostrel {
namespace {

// How long a round of tries waits for the next: short against a conversion,
// long enough that a crowd of waiting processes costs next to nothing.
constexpr uint32_t kRetryMilliseconds = 20;

// The lock file of slot `number` in `native_directory`, which ends in "/".
std::string LockFilePath(const std::string& native_directory, size_t number) {
  return native_directory + std::string(kSlotFilePrefix) + std::to_string(number) + ".lock";
}

}  // namespace

SlotLock::SlotLock(Descriptor descriptor, int32_t number)
    : descriptor_(std::move(descriptor)), number_(number) {}

std::optional<SlotLock> SlotLock::Take(std::string_view directory, int32_t count,
                                       double wait_seconds) {
  if (count < 1) {
    throw Error(ErrorKind::kInvalidArgument, "a slot count below 1");
  }
  const double start = MonotonicSeconds();
  std::string native = NativePath(directory);
  if (!native.empty() && !native.ends_with('/')) {
    native.push_back('/');
  }
  // Every lock file opened once; only the locks are tried again.
  std::vector<Descriptor> files;
  for (size_t number = 1; number <= static_cast<size_t>(count); ++number) {
    const std::string path = LockFilePath(native, number);
    // O_NONBLOCK: a FIFO in a lock file's place cannot hold the open.
    Descriptor file(RetryOnInterrupt([&] {
      return open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    }));
    if (!file.is_open()) {
      throw PosixError("open " + path, errno);
    }
    files.push_back(std::move(file));
  }
  // Processes started together begin at different slots, so that they do
  // not all contend for the first one.
  const auto first = static_cast<size_t>(getpid()) % files.size();
  for (;;) {
    for (size_t tried = 0; tried < files.size(); ++tried) {
      const size_t index = (first + tried) % files.size();
      if (RetryOnInterrupt([&] { return flock(files[index].get(), LOCK_EX | LOCK_NB); }) == 0) {
        return SlotLock(std::move(files[index]), static_cast<int32_t>(index + 1));
      }
      if (errno != EWOULDBLOCK) {
        throw PosixError("flock " + LockFilePath(native, index + 1), errno);
      }
    }
    if (MonotonicSeconds() - start >= wait_seconds) {
      return std::nullopt;
    }
    SleepMilliseconds(kRetryMilliseconds);
  }
}

}  // namespace ostrel
