#include "platform/timing.h"

#include <sched.h>
#include <time.h>

#include "platform/descriptor.h"

namespace ostrel {

void SleepMilliseconds(uint32_t milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  // An interrupted sleep goes on with the time it had left.
  (void)RetryOnInterrupt([&] { return nanosleep(&remaining, &remaining); });
}

void YieldOnce() {
  // sched_yield cannot fail on Linux.
  (void)sched_yield();
}

double MonotonicSeconds() {
  // CLOCK_MONOTONIC cannot fail to be read on Linux. A wait measured on it
  // lasts its real length even when the time of day is set or a day ends.
  timespec now{};
  (void)clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace ostrel
