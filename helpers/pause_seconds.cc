#include "helpers/pause_seconds.h"

#include "helpers/number_conversion.h"
#include "platform/error.h"
#include "platform/timing.h"

namespace ostrel {

uint32_t PauseMilliseconds(std::optional<double> seconds) {
  if (!seconds) {
    return 1;
  }
  const int32_t milliseconds = RoundToInt32(*seconds * 1000);
  if (milliseconds < 0) {
    throw Error(ErrorKind::kInvalidArgument, "a pause cannot be negative");
  }
  return static_cast<uint32_t>(milliseconds);
}

void PauseSeconds(std::optional<double> seconds) {
  YieldOnce();
  SleepMilliseconds(PauseMilliseconds(seconds));
}

}  // namespace ostrel
