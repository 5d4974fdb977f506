#include "platform/process_limits.h"

#include <errno.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "platform/automation.h"
#include "platform/error.h"

namespace ostrel {
namespace {

// Lowers both limits of `resource` to `soft` and `hard`, never above the
// hard limit the process already has, which it could not raise.
void SetLimit(int resource, const char* name, uint64_t soft, uint64_t hard) {
  rlimit limit{};
  if (getrlimit(resource, &limit) != 0) {
    throw PosixError(std::string("getrlimit ") + name, errno);
  }
  limit.rlim_cur = std::min(static_cast<rlim_t>(soft), limit.rlim_max);
  limit.rlim_max = std::min(static_cast<rlim_t>(hard), limit.rlim_max);
  if (setrlimit(resource, &limit) != 0) {
    throw PosixError(std::string("setrlimit ") + name, errno);
  }
}

}  // namespace

void ConfineProcess(const ProcessLimits& limits) {
  const pid_t parent = getppid();
  // The handed directory is the first descriptor after the standard ones.
  static_assert(kHandedDirectoryDescriptor == STDERR_FILENO + 1);
  struct stat handed {};
  const bool keep_handed =
      fstat(kHandedDirectoryDescriptor, &handed) == 0 && S_ISDIR(handed.st_mode);
  if (close_range(keep_handed ? kHandedDirectoryDescriptor + 1 : kHandedDirectoryDescriptor, ~0U,
                  0) != 0) {
    throw PosixError("close_range", errno);
  }
  if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) {
    throw PosixError("prctl PR_SET_PDEATHSIG", errno);
  }
  // A parent that ended before the request was made sends nothing: then this
  // process has been handed to another parent.
  if (getppid() != parent) {
    (void)raise(SIGTERM);
  }
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    throw PosixError("prctl PR_SET_NO_NEW_PRIVS", errno);
  }
  (void)signal(SIGXFSZ, SIG_IGN);  // cannot fail for a valid signal and SIG_IGN
  SetLimit(RLIMIT_CORE, "RLIMIT_CORE", 0, 0);
  const struct {
    int resource;
    const char* name;
    uint64_t value;
  } wanted[] = {
      {RLIMIT_AS, "RLIMIT_AS", limits.address_space_bytes},
      {RLIMIT_CPU, "RLIMIT_CPU", limits.cpu_seconds},
      {RLIMIT_FSIZE, "RLIMIT_FSIZE", limits.file_size_bytes},
      {RLIMIT_NOFILE, "RLIMIT_NOFILE", limits.open_files},
  };
  for (const auto& limit : wanted) {
    if (limit.value != 0) {
      // The CPU time's hard limit ends the process with SIGKILL, which
      // cannot be handled: it comes two seconds after the soft one's SIGXCPU,
      // which can.
      const uint64_t hard = limit.resource == RLIMIT_CPU ? limit.value + 2 : limit.value;
      SetLimit(limit.resource, limit.name, limit.value, hard);
    }
  }
}

}  // namespace ostrel
