// Looking for a file without ever failing.
#ifndef OSTREL_HELPERS_PROBE_FILE_H_
#define OSTREL_HELPERS_PROBE_FILE_H_

#include <cstdint>
#include <optional>
#include <string>

namespace ostrel {

// The name, without its directory, of the first entry that `path` (which may
// hold "*" and "?") matches, searching with `attributes` as the mask (0, only
// visible regular files, when absent); with neither argument, the next match
// of the preceding search. Empty text when nothing matches and whenever the
// search fails, so a caller cannot tell a failed search from a missing file.
std::string ProbeFile(std::optional<std::string> path = std::nullopt,
                      std::optional<int32_t> attributes = std::nullopt);

}  // namespace ostrel

#endif  // OSTREL_HELPERS_PROBE_FILE_H_
