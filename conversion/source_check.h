// The early check of a request's source against the allowed image
// directories, before the converter runs.
#ifndef OSTREL_CONVERSION_SOURCE_CHECK_H_
#define OSTREL_CONVERSION_SOURCE_CHECK_H_

#include <string_view>

namespace ostrel {

// Raises an invalid-argument error naming the source unless `path` + `fn` +
// ".tif" (the program's path form) exists and lies, with symbolic links, "."
// and ".." resolved, inside one of the directories listed in `allowed` (see
// IsInAllowedDirectory). A source that cannot be resolved, a missing one
// included, is refused like one outside the list, which tells a client
// nothing about what lies there. The converter checks the file it opens
// again, since a link may be re-pointed in between.
void CheckSourceAllowed(std::string_view path, std::string_view fn, std::string_view allowed);

}  // namespace ostrel

#endif  // OSTREL_CONVERSION_SOURCE_CHECK_H_
