// Looking for directory entries by a path whose last component may hold the
// wildcards "*" (any run of characters) and "?" (one character).
#ifndef OSTREL_PLATFORM_DIRECTORY_SEARCH_H_
#define OSTREL_PLATFORM_DIRECTORY_SEARCH_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

// Attribute bits that widen a search beyond regular files. Names that start
// with "." are the hidden ones; devices, sockets and FIFOs are system
// entries.
inline constexpr int32_t kAttributeHidden = 2;
inline constexpr int32_t kAttributeSystem = 4;
inline constexpr int32_t kAttributeDirectory = 16;

// The name, without its directory, of the first entry of the pattern's
// directory that the pattern's last component matches and `attributes`
// admits, or empty text when none does. With `attributes` 0 only regular
// files with names not starting with "." match. A symbolic link counts as
// what it points to, so a link to a regular file matches and a dangling one
// never does. Every character of the pattern other than "*" and "?" matches
// only itself, "[" and "]" included, and letter case is significant. A
// missing directory gives empty text; any other failure raises.
std::string FindFirstMatch(std::string_view pattern, int32_t attributes);

// The next match of the search that FindFirstMatch began, or empty text when
// there is none left. Raises when no search is under way.
std::string FindNextMatch();

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_DIRECTORY_SEARCH_H_
