// The program builds Windows-style paths ("d:\images\", "\TEMP\"); the file
// system gets them with every "\" turned into "/" just before each call.
#ifndef OSTREL_PLATFORM_NATIVE_PATH_H_
#define OSTREL_PLATFORM_NATIVE_PATH_H_

#include <string>
#include <string_view>

namespace ostrel {

// `path` with each "\" replaced by "/". Nothing else changes: "d:" stays an
// ordinary name. Raises an invalid-argument error when `path` holds a NUL
// byte, which would silently cut the path short at the system call.
std::string NativePath(std::string_view path);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_NATIVE_PATH_H_
