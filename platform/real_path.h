// Resolving a path to the file it finally names.
#ifndef OSTREL_PLATFORM_REAL_PATH_H_
#define OSTREL_PLATFORM_REAL_PATH_H_

#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// The absolute path of what `path` names ("\" counts as "/"), with every
// symbolic link, "." and ".." resolved and no trailing "/" (except for "/"
// itself); empty when it cannot be resolved: it does not exist, a directory
// on the way cannot be searched, or it holds a NUL byte.
std::optional<std::string> RealPath(std::string_view path);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_REAL_PATH_H_
