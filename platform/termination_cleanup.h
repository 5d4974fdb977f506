// What a termination signal must not leave behind: a few files and one child
// process group, cleaned up from the signal handler before the process ends.
#ifndef OSTREL_PLATFORM_TERMINATION_CLEANUP_H_
#define OSTREL_PLATFORM_TERMINATION_CLEANUP_H_

#include <functional>
#include <optional>
#include <string_view>

namespace ostrel {

// Handles SIGTERM, SIGHUP, SIGINT and SIGXCPU: stops the recorded child
// process group (see StopProcessGroup), removes every file recorded by a
// live CleanupFile and then every directory recorded (if empty by then),
// then lets the signal's default action end the process, so that its parent
// still sees it killed by that signal. The handler does only
// async-signal-safe work.
void InstallTerminationCleanup();

// What a CleanupFile records.
enum class CleanupEntry { kFile, kEmptyDirectory };

// Records a file, or an empty directory, for the handler to remove while the
// object lives; the object itself removes nothing. The path ("\" counts as
// "/") is copied into static storage at once, because the handler may not
// allocate. A path too long for any file to exist under it is not recorded;
// nor is one when all four places are taken, which only a program holding
// more than four files at once would see.
class CleanupFile {
 public:
  explicit CleanupFile(std::string_view path, CleanupEntry entry = CleanupEntry::kFile);
  ~CleanupFile();
  CleanupFile(const CleanupFile&) = delete;
  CleanupFile& operator=(const CleanupFile&) = delete;

 private:
  int slot_ = -1;
};

// Calls `action` with the termination signals blocked, so that a file it
// creates and records with a CleanupFile cannot be left behind by a signal
// that falls between the two.
void WithTerminationSignalsBlocked(const std::function<void()>& action);

// Calls `spawn`, which starts a process in a process group of its own and
// returns its id, with the termination signals blocked, and records that
// group for the handler before they are unblocked: a signal cannot fall
// between the birth of the child and its recording. Returns the id. The
// child inherits the blocked signals unless `spawn` sets its mask
// (POSIX_SPAWN_SETSIGMASK).
int SpawnRecordedChild(const std::function<int()>& spawn);

// Waits for the recorded child `leader` to exit, up to `deadline` on the
// monotonic clock (see timing.h), then forgets its group and reaps it in one
// step that no termination signal can split, so that the handler never
// signals a group whose id may have been reused. Returns the wait status;
// empty when the deadline passed first, the child still running and
// recorded. Raises a PosixError when waiting fails.
std::optional<int> ReapRecordedChild(int leader, double deadline);

// How long a child told to stop may take to remove its temporary files
// before it is killed.
inline constexpr int kStopGraceMilliseconds = 1000;

// Ends the process group led by `leader`, a child of this process: SIGTERM to
// the group, up to `grace_milliseconds` for the leader to exit (time for a
// converter to remove its own temporary file), SIGKILL to whatever of the
// group is left, then reaps the leader and returns its wait status. Forgets
// the group if it is the recorded one. Async-signal-safe.
int StopProcessGroup(int leader, int grace_milliseconds);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_TERMINATION_CLEANUP_H_
