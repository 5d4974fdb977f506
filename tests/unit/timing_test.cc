#include "platform/timing.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(TimingTest, ASleepLastsAtLeastItsLengthOnTheMonotonicClock) {
  for (const uint32_t milliseconds : {0u, 1u, 120u}) {
    const double start = MonotonicSeconds();
    SleepMilliseconds(milliseconds);
    EXPECT_GE(MonotonicSeconds() - start, milliseconds / 1000.0) << milliseconds;
  }
}

}  // namespace
}  // namespace ostrel
