// Fuzz target: the INI lookup on any file contents. A value never reaches the
// capacity it is given.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view contents(reinterpret_cast<const char*>(data), size);
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
        ostrel::ProfileString(contents, lookup.section, lookup.key, "default", lookup.capacity);
    if (value.size() >= lookup.capacity) {
      std::abort();
    }
  }
  return 0;
}
