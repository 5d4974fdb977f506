#include "platform/standard_io.h"

#include <errno.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

namespace ostrel {

FileHandle StandardInputHandle() { return FileHandle{STDIN_FILENO}; }

FileHandle StandardOutputHandle() { return FileHandle{STDOUT_FILENO}; }

size_t ReadOnce(FileHandle handle, char* buffer, size_t count) {
  ssize_t got;
  do {
    got = read(handle.descriptor, buffer, count);
  } while (got < 0 && errno == EINTR);
  return got < 0 ? 0 : static_cast<size_t>(got);
}

size_t ReadUpTo(FileHandle handle, char* buffer, size_t count) {
  size_t total = 0;
  while (total < count) {
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
    const ssize_t written = write(handle.descriptor, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
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
