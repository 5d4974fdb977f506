// Reading an INI-style file of [section] headers and key=value lines, and
// looking a value up in its text.
#ifndef OSTREL_PLATFORM_PROFILE_H_
#define OSTREL_PLATFORM_PROFILE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel {

// The whole text of the file `file_name`, empty when nothing stands at its
// name. Raises when something does but cannot be read: a directory or a FIFO
// in its place, or a symbolic link whose target is missing.
std::string ReadProfileText(std::string_view file_name);

// The value of `key` in the first `section` of `contents`, or
// `default_value` when the section or the key is missing; either ending at
// its first NUL byte and cut to `capacity` - 1 characters, as a buffer of
// `capacity` characters with its terminating zero would hold it
// (std::string::npos: not cut). Section names and keys match ignoring ASCII
// letter case; blanks around section names, keys and values are dropped;
// the first matching key of the section wins; lines starting with ";" are
// comments; a value enclosed in a matching pair of double or single quotes
// loses them.
std::string ProfileString(std::string_view contents, std::string_view section, std::string_view key,
                          std::string_view default_value, size_t capacity);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_PROFILE_H_
