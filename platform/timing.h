// Pausing the program and measuring how long a wait has lasted.
#ifndef OSTREL_PLATFORM_TIMING_H_
#define OSTREL_PLATFORM_TIMING_H_

#include <cstdint>

namespace ostrel {

// Suspends the program for at least `milliseconds`, resuming the sleep after
// a signal interrupts it.
void SleepMilliseconds(uint32_t milliseconds);

// Lets other runnable processes go first, once. There is no message queue to
// serve: this is all that a yield to pending messages means here.
void YieldOnce();

// Seconds with fraction on a clock that never jumps or goes back; only the
// difference of two readings means anything.
double MonotonicSeconds();

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_TIMING_H_
