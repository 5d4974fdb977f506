#include "platform/slot_lock.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/process_harness.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

using testing::RaisedError;
using testing::TemporaryDirectory;

TEST(SlotLockTest, ASlotIsTakenWhileOneOfTheCountIsFree) {
  const struct {
    int32_t count;
    int32_t held;  // slots taken beforehand, through descriptors of their own
    bool taken;
  } cases[] = {
      {1, 0, true}, {1, 1, false}, {2, 1, true}, {2, 2, false}, {5, 4, true}, {5, 5, false},
  };
  for (const auto& c : cases) {
    TemporaryDirectory directory;
    std::vector<SlotLock> held;
    for (int32_t i = 0; i < c.held; ++i) {
      std::optional<SlotLock> slot = SlotLock::Take(directory.path(), c.count, 0);
      ASSERT_TRUE(slot.has_value()) << i;
      held.push_back(std::move(*slot));
    }
    const std::optional<SlotLock> slot = SlotLock::Take(directory.WindowsPathOf(""), c.count, 0);
    EXPECT_EQ(slot.has_value(), c.taken) << c.count << " slots, " << c.held << " held";
    if (slot) {
      // The one slot nobody holds.
      for (const SlotLock& other : held) {
        EXPECT_NE(other.number(), slot->number());
      }
      EXPECT_GE(slot->number(), 1);
      EXPECT_LE(slot->number(), c.count);
    }
    // Only the lock files, dot-files readable by their owner alone.
    EXPECT_EQ(directory.List().size(), static_cast<size_t>(c.count));
    for (const std::string& name : directory.List()) {
      EXPECT_TRUE(name.starts_with(kSlotFilePrefix) && name.ends_with(".lock")) << name;
      struct stat status {};
      ASSERT_EQ(stat(directory.PathOf(name).c_str(), &status), 0);
      EXPECT_EQ(status.st_mode & 07777, 0600u) << name;
    }
  }
}

TEST(SlotLockTest, ASlotComesFreeWhenItsHolderGoesOrItsProcessEnds) {
  TemporaryDirectory directory;
  {
    const std::optional<SlotLock> first = SlotLock::Take(directory.path(), 1, 0);
    ASSERT_TRUE(first.has_value());
    EXPECT_FALSE(SlotLock::Take(directory.path(), 1, 0.05).has_value());
  }
  EXPECT_TRUE(SlotLock::Take(directory.path(), 1, 0).has_value());

  // A process that takes the slot and is killed holding it, which cannot
  // release anything itself.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::optional<SlotLock> slot = SlotLock::Take(directory.path(), 1, 0);
    (void)write(ready[1], slot ? "y" : "n", 1);
    pause();
    _exit(0);
  }
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  EXPECT_EQ(answer, 'y');
  EXPECT_FALSE(SlotLock::Take(directory.path(), 1, 0).has_value());
  ASSERT_EQ(kill(child, SIGKILL), 0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  close(ready[0]);
  close(ready[1]);
  EXPECT_TRUE(SlotLock::Take(directory.path(), 1, 0).has_value());
}

TEST(SlotLockTest, ALockFileThatCannotBeOpenedRaises) {
  TemporaryDirectory directory;
  std::filesystem::create_directory(directory.PathOf("dir"));
  std::filesystem::create_symlink(
      directory.PathOf("elsewhere"),
      directory.PathOf("dir/" + std::string(kSlotFilePrefix) + "2.lock"));
  const struct {
    std::string directory;
    int32_t count;
    int32_t number;
  } cases[] = {
      {directory.PathOf("missing"), 1, 1000 + ENOENT},
      {directory.PathOf("dir"), 2, 1000 + ELOOP},  // a link is refused
      {directory.PathOf("dir"), 0, 5},             // invalid argument
  };
  for (const auto& c : cases) {
    const Error error = RaisedError([&] { (void)SlotLock::Take(c.directory, c.count, 0); });
    EXPECT_EQ(error.number(), c.number) << c.directory << " " << error.description();
  }
  EXPECT_FALSE(std::filesystem::exists(directory.PathOf("elsewhere")));
}

}  // namespace
}  // namespace ostrel
