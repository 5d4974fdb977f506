#include "helpers/pause_seconds.h"

#include <cmath>
#include <optional>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/timing.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

TEST(PauseSecondsTest, SleepsTheRoundedMillisecondsOrOneWhenAbsent) {
  const struct {
    std::optional<double> seconds;
    uint32_t milliseconds;
  } cases[] = {
      {std::nullopt, 1}, {1, 1000},     {0.5, 500},   {0, 0},
      {0.0625, 62},      {0.1875, 188}, {-0.0004, 0}, {2147483.647, 2147483647},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PauseMilliseconds(c.seconds), c.milliseconds) << c.seconds.value_or(-1);
  }
}

TEST(PauseSecondsTest, RefusesPausesOutsideTheSigned32BitRangeOrNegative) {
  const struct {
    double seconds;
    ErrorKind kind;
  } cases[] = {
      {2147483.648, ErrorKind::kOverflow},
      {1e300, ErrorKind::kOverflow},
      {std::nan(""), ErrorKind::kOverflow},
      {-1, ErrorKind::kInvalidArgument},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(testing::RaisedError([&] { PauseMilliseconds(c.seconds); }).number(),
              Error(c.kind).number())
        << c.seconds;
  }
}

TEST(PauseSecondsTest, PausesAtLeastThatLong) {
  const double start = MonotonicSeconds();
  PauseSeconds(0.2);
  EXPECT_GE(MonotonicSeconds() - start, 0.2);
}

}  // namespace
}  // namespace ostrel
