// A process confining itself before it reads untrusted input.
#ifndef OSTREL_PLATFORM_PROCESS_LIMITS_H_
#define OSTREL_PLATFORM_PROCESS_LIMITS_H_

#include <cstdint>

namespace ostrel {

// Resource limits; 0 leaves that resource as it is.
struct ProcessLimits {
  uint64_t address_space_bytes = 0;
  uint64_t cpu_seconds = 0;      // past it SIGXCPU, two seconds later SIGKILL
  uint64_t file_size_bytes = 0;  // a write past it fails with EFBIG
  uint64_t open_files = 0;       // descriptors, counting 0 to 2
};

// Closes every inherited descriptor above 2 but a directory at
// kHandedDirectoryDescriptor, the one a caller hands its component (see
// automation.h); asks for SIGTERM when the
// parent ends, and ends at once if the parent has gone already; forbids
// gaining privileges through exec (no_new_privs); turns core dumps off; and
// lowers each given limit, the hard one too, so that it cannot be raised
// again. SIGXFSZ is ignored so that a write past the file size limit fails
// with an error instead of killing the process. Raises a PosixError naming
// the call that failed.
void ConfineProcess(const ProcessLimits& limits);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_PROCESS_LIMITS_H_
