// Pausing the request for a while.
#ifndef OSTREL_HELPERS_PAUSE_SECONDS_H_
#define OSTREL_HELPERS_PAUSE_SECONDS_H_

#include <cstdint>
#include <optional>

namespace ostrel {

// How long PauseSeconds sleeps: 1 ms when `seconds` is absent, otherwise
// `seconds` x 1000 rounded half to even. Raises an overflow error beyond the
// signed 32-bit range and an invalid-argument error for a negative result,
// which an unsigned sleep would read as about 49 days.
uint32_t PauseMilliseconds(std::optional<double> seconds);

// Yields once to other work, then sleeps PauseMilliseconds(seconds).
void PauseSeconds(std::optional<double> seconds = std::nullopt);

}  // namespace ostrel

#endif  // OSTREL_HELPERS_PAUSE_SECONDS_H_
