// A bounded number of slots shared by every process that uses the same
// directory, so that processes started independently (one per request) can
// limit how many of them do costly work at once.
#ifndef OSTREL_PLATFORM_SLOT_LOCK_H_
#define OSTREL_PLATFORM_SLOT_LOCK_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/descriptor.h"

namespace ostrel {

// The lock files' names: this prefix, the slot's number from 1, ".lock".
// They start with "." so that a search for visible files never meets them.
inline constexpr std::string_view kSlotFilePrefix = ".slot-";

// One slot held: an exclusive flock on its lock file, released when the
// object goes, or by the kernel when the process ends however it ends, so
// that no slot is ever lost. The lock files stay; they are empty.
class SlotLock {
 public:
  // Takes one of `count` slots (1 or more) in `directory` ("\" counts as
  // "/"): the files ".slot-1.lock" to ".slot-COUNT.lock", created mode 0600
  // when missing, a symbolic link in their place refused. Tries every slot
  // without waiting, then again every few milliseconds until one is free or
  // `wait_seconds` have passed on the monotonic clock (0: one round). Returns
  // the slot taken, or nothing when every one stayed taken. Raises a
  // PosixError naming the lock file that cannot be opened or locked.
  static std::optional<SlotLock> Take(std::string_view directory, int32_t count,
                                      double wait_seconds);

  // The slot's number, from 1.
  int32_t number() const { return number_; }

 private:
  SlotLock(Descriptor descriptor, int32_t number);

  Descriptor descriptor_;
  int32_t number_;
};

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_SLOT_LOCK_H_
