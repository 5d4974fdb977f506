#include "platform/standard_io.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>

#include "platform/descriptor.h"
#include "platform/error.h"

namespace ostrel {
namespace {

// One read(2) of at most `count` bytes into `buffer`. Returns the number of
// bytes read; 0 at end of input and on failure (callers treat both alike).
size_t ReadOnce(FileHandle handle, char* buffer, size_t count) {
  const ssize_t got = RetryOnInterrupt([&] { return read(handle.descriptor, buffer, count); });
  return got < 0 ? 0 : static_cast<size_t>(got);
}

}  // namespace

FileHandle StandardInputHandle() { return FileHandle{STDIN_FILENO}; }

FileHandle StandardOutputHandle() { return FileHandle{STDOUT_FILENO}; }

size_t ReadUpTo(FileHandle handle, char* buffer, size_t count,
                std::chrono::milliseconds time_limit) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + time_limit;
  size_t total = 0;
  // poll() would wait out the time limit on a descriptor that is not open;
  // the read fails at once.
  const bool pollable = handle.descriptor >= 0;
  while (total < count) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      throw Error(ErrorSource::kSystem, ETIMEDOUT,
                  "read standard input: " + std::to_string(count) +
                      " bytes did not arrive within " + std::to_string(time_limit.count() / 1000) +
                      " s");
    }
    // poll() only waits; what it reports (data, end, an error, a closed
    // descriptor) is left for the read to find out.
    pollfd ready{handle.descriptor, POLLIN, 0};
    const int polled = pollable ? poll(&ready, 1, static_cast<int>(left)) : 1;
    if (polled == 0 || (polled < 0 && errno == EINTR)) {
      continue;
    }
    const size_t got = ReadOnce(handle, buffer + total, count - total);
    if (got == 0) {
      break;
    }
    total += got;
  }
  return total;
}

bool WriteAll(FileHandle handle, std::string_view bytes) {
  do {
    const ssize_t written =
        RetryOnInterrupt([&] { return write(handle.descriptor, bytes.data(), bytes.size()); });
    if (written < 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  } while (!bytes.empty());
  return true;
}

bool RewindToStart(FileHandle handle) { return lseek(handle.descriptor, 0, SEEK_SET) == 0; }

bool TruncateAtCurrentPosition(FileHandle handle) {
  const off_t position = lseek(handle.descriptor, 0, SEEK_CUR);
  return position >= 0 && ftruncate(handle.descriptor, position) == 0;
}

void IgnoreBrokenPipe() {
  // signal() cannot fail for a valid signal number and SIG_IGN.
  (void)signal(SIGPIPE, SIG_IGN);
}

}  // namespace ostrel
