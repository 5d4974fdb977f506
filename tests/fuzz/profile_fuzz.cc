// Fuzz target: the INI reader on any file contents. The file is an anonymous
// memory file opened by its /proc path, as the reader opens Varnow.ini. A
// value never reaches the capacity it is given.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/error.h"
#include "platform/profile.h"

namespace {

// One memory file for the whole run, rewritten for every input.
int MemoryFile() {
  static const int descriptor = memfd_create("varnow.ini", 0);
  if (descriptor < 0) {
    std::abort();
  }
  return descriptor;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int descriptor = MemoryFile();
  if (ftruncate(descriptor, 0) != 0 ||
      pwrite(descriptor, data, size, 0) != static_cast<ssize_t>(size)) {
    std::abort();
  }
  const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
  const struct {
    const char* section;
    const char* key;
    size_t capacity;
  } lookups[] = {
      {"Converter", "TempDir", 2046},
      {"converter", "ExtraParamters", 2046},
      {"Converter", "AllowedImageDirectories", 16},
      {"", "", 1},
  };
  for (const auto& lookup : lookups) {
    const std::string value =
        ostrel::ReadProfileString(lookup.section, lookup.key, "default", lookup.capacity, path);
    if (value.size() >= lookup.capacity) {
      std::abort();
    }
  }
  return 0;
}
