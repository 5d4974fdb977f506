#include "converter/worker_channel.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "converter/conversion_failure.h"
#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

using testing::RaisedError;

TEST(WorkerChannelTest, TheWorkerTakesWhatWasHandedOverUntilTheEnd) {
  const struct {
    std::vector<size_t> handed_over;
    bool finish;  // else Stop, which finds the worker waiting for more
  } cases[] = {{{}, true}, {{3, 5}, true}, {{}, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.handed_over.size() << " hand-overs, then " << (c.finish ? "Finish" : "Stop"));
    std::vector<size_t> taken;  // the worker's; read once it has ended
    {
      WorkerChannel channel;
      channel.Start([&] {
        while (const std::optional<size_t> count =
                   channel.TakeWork(taken.empty() ? 0 : taken.back())) {
          taken.push_back(*count);
        }
      });
      for (const size_t count : c.handed_over) {
        channel.HandOver(count);
      }
      if (c.finish) {
        channel.Finish();
      } else {
        channel.Stop();
      }
    }
    // Each hand-over may have been seen or overtaken by the next, not the last.
    if (c.handed_over.empty()) {
      EXPECT_TRUE(taken.empty());
    } else {
      ASSERT_FALSE(taken.empty());
      EXPECT_EQ(taken.back(), c.handed_over.back());
    }
  }
}

TEST(WorkerChannelTest, WaitingForRoomEndsWhenEnoughIsHandedBack) {
  WorkerChannel channel;
  std::atomic<size_t> handed_back = 0;
  channel.Start([&] {
    for (size_t taken = 0; channel.TakeWork(taken); ++taken) {
      handed_back = taken + 1;
      channel.HandBack(taken + 1);
    }
  });
  channel.HandOver(4);
  channel.WaitForRoom(5, 0);  // 4 outstanding is not full: no wait
  channel.WaitForRoom(4, 1);
  EXPECT_GE(handed_back, 3u);
  channel.Finish();
  EXPECT_EQ(handed_back, 4u);
}

TEST(WorkerChannelTest, TheWorkersFailureIsRaisedToTheProducerButNotByStop) {
  enum class End { kWaitForRoom, kFinish, kStop };
  for (const End end : {End::kWaitForRoom, End::kFinish, End::kStop}) {
    SCOPED_TRACE(static_cast<int>(end));
    WorkerChannel channel;
    channel.Start([&] {
      (void)channel.TakeWork(0);  // a first item, never handed back
      throw ConversionError(ConversionFailure::kCannotWriteDestination, "write: No space");
    });
    channel.HandOver(1);
    const Error error = RaisedError([&] {
      switch (end) {
        case End::kWaitForRoom:  // only the failure can end this wait
          channel.WaitForRoom(1, 0);
          break;
        case End::kFinish:
          channel.Finish();
          break;
        case End::kStop:
          channel.Stop();
          break;
      }
    });
    if (end == End::kStop) {
      EXPECT_EQ(error.code(), 0);
      continue;
    }
    EXPECT_EQ(error.code(), static_cast<int32_t>(ConversionFailure::kCannotWriteDestination));
    EXPECT_EQ(error.description(), "write: No space");
  }
}

}  // namespace
}  // namespace ostrel
