#include "platform/termination_cleanup.h"

#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/descriptor.h"
#include "platform/error.h"
#include "platform/timing.h"

namespace ostrel {
namespace {

constexpr int kTerminationSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGXCPU};

// A recorded file. The handler reads `path` only while `in_use` is set, and
// the fences keep the compiler from moving the writes of the path across the
// flag.
struct Slot {
  volatile sig_atomic_t in_use = 0;
  CleanupEntry entry = CleanupEntry::kFile;
  char path[PATH_MAX] = "";
};

Slot slots[4];
volatile sig_atomic_t recorded_group = 0;

sigset_t TerminationSignalSet() {
  sigset_t set;
  (void)sigemptyset(&set);
  for (const int signal_number : kTerminationSignals) {
    (void)sigaddset(&set, signal_number);
  }
  return set;
}

// Blocks the termination signals for its lifetime; sigprocmask is
// async-signal-safe, so the handler may use it too.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    const sigset_t set = TerminationSignalSet();
    (void)sigprocmask(SIG_BLOCK, &set, &saved_);
  }
  ~SignalsBlocked() { (void)sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t saved_;
};

// Whether `leader` has exited. WNOWAIT leaves it unreaped, so its id, which
// is the group's, cannot be taken by a new process while the group is still
// being signalled.
bool HasExited(pid_t leader) {
  siginfo_t info;
  std::memset(&info, 0, sizeof info);
  if (waitid(P_PID, static_cast<id_t>(leader), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    return errno != EINTR;  // ECHILD: nothing left to wait for
  }
  return info.si_pid == leader;
}

void OnTerminationSignal(int signal_number) {
  const pid_t group = recorded_group;
  if (group > 0) {
    (void)StopProcessGroup(group, kStopGraceMilliseconds);
  }
  // The files first: a directory recorded goes only once it is empty.
  for (Slot& slot : slots) {
    if (slot.in_use != 0 && slot.entry == CleanupEntry::kFile) {
      (void)unlink(slot.path);
    }
  }
  for (Slot& slot : slots) {
    if (slot.in_use != 0 && slot.entry == CleanupEntry::kEmptyDirectory) {
      (void)rmdir(slot.path);
    }
  }
  // The default action, once the signal is unblocked on the way out of the
  // handler, ends the process with this signal as its status.
  struct sigaction default_action;
  std::memset(&default_action, 0, sizeof default_action);
  default_action.sa_handler = SIG_DFL;
  (void)sigaction(signal_number, &default_action, nullptr);
  (void)raise(signal_number);
  sigset_t only_this;
  (void)sigemptyset(&only_this);
  (void)sigaddset(&only_this, signal_number);
  (void)sigprocmask(SIG_UNBLOCK, &only_this, nullptr);
  _exit(128 + signal_number);  // not reached unless the default action is to ignore
}

}  // namespace

void InstallTerminationCleanup() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnTerminationSignal;
  // The other termination signals wait while one is being handled.
  action.sa_mask = TerminationSignalSet();
  for (const int signal_number : kTerminationSignals) {
    // sigaction cannot fail for these signal numbers and a valid handler.
    (void)sigaction(signal_number, &action, nullptr);
  }
}

CleanupFile::CleanupFile(std::string_view path, CleanupEntry entry) {
  if (path.size() >= PATH_MAX) {
    return;
  }
  const SignalsBlocked blocked;
  for (int index = 0; index < static_cast<int>(std::size(slots)); ++index) {
    Slot& slot = slots[index];
    if (slot.in_use == 0) {
      std::replace_copy(path.begin(), path.end(), slot.path, '\\', '/');
      slot.path[path.size()] = '\0';
      slot.entry = entry;
      std::atomic_signal_fence(std::memory_order_seq_cst);
      slot.in_use = 1;
      slot_ = index;
      return;
    }
  }
}

CleanupFile::~CleanupFile() {
  if (slot_ >= 0) {
    slots[slot_].in_use = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
  }
}

void WithTerminationSignalsBlocked(const std::function<void()>& action) {
  const SignalsBlocked blocked;
  action();
}

int SpawnRecordedChild(const std::function<int()>& spawn) {
  const SignalsBlocked blocked;
  const int child = spawn();
  recorded_group = child;
  return child;
}

std::optional<int> ReapRecordedChild(int leader, double deadline) {
  // Short steps at first: a child that closed its pipes by exiting becomes
  // waitable a moment later.
  long step_microseconds = 100;
  while (!HasExited(leader)) {
    if (MonotonicSeconds() >= deadline) {
      return std::nullopt;
    }
    const timespec step{0, step_microseconds * 1000};
    (void)nanosleep(&step, nullptr);
    step_microseconds = std::min(step_microseconds * 2, 20000L);
  }
  const SignalsBlocked blocked;
  recorded_group = 0;
  int status = 0;
  if (RetryOnInterrupt([&] { return waitpid(leader, &status, 0); }) < 0) {
    throw PosixError("waitpid", errno);
  }
  return status;
}

int StopProcessGroup(int leader, int grace_milliseconds) {
  const SignalsBlocked blocked;
  if (recorded_group == leader) {
    recorded_group = 0;
  }
  (void)kill(-leader, SIGTERM);
  constexpr int kStepMilliseconds = 10;
  for (int waited = 0; waited < grace_milliseconds && !HasExited(leader);
       waited += kStepMilliseconds) {
    const timespec step{0, kStepMilliseconds * 1000000L};
    (void)nanosleep(&step, nullptr);
  }
  (void)kill(-leader, SIGKILL);
  int status = 0;
  (void)RetryOnInterrupt([&] { return waitpid(leader, &status, 0); });
  return status;
}

}  // namespace ostrel
