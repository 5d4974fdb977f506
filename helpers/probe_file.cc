#include "helpers/probe_file.h"

#include "platform/directory_search.h"

namespace ostrel {

std::string ProbeFile(std::optional<std::string> path, std::optional<int32_t> attributes) {
  try {
    if (!path && !attributes) {
      return FindNextMatch();
    }
    return FindFirstMatch(path.value_or(""), attributes.value_or(0));
  } catch (...) {  // a probe is an existence test: a failed search means "not found"
    return {};
  }
}

}  // namespace ostrel
