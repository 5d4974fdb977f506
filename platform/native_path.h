// The program builds Windows-style paths ("d:\images\", "\TEMP\"); the file
// system gets them with every "\" turned into "/" just before each call.
#ifndef OSTREL_PLATFORM_NATIVE_PATH_H_
#define OSTREL_PLATFORM_NATIVE_PATH_H_

#include <string>
#include <string_view>

namespace ostrel {

// `path` with each "\" replaced by "/". Nothing else changes: "d:" stays an
// ordinary name.
std::string NativePath(std::string_view path);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_NATIVE_PATH_H_
