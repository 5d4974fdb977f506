#include "platform/descriptor.h"

#include <unistd.h>

#include <string>

#include "platform/error.h"

namespace ostrel {

void Descriptor::Close() {
  if (descriptor_ >= 0) {
    // See the contract: nothing is lost that a caller could still act on.
    (void)close(Release());
  }
}

void Descriptor::CloseChecked(std::string_view what) {
  // Not retried on EINTR: on Linux the descriptor is gone whatever close
  // returns, and a retry could close one that another thread just opened.
  if (descriptor_ >= 0 && close(Release()) != 0) {
    throw PosixError("close " + std::string(what), errno);
  }
}

}  // namespace ostrel
