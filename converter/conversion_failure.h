// The kinds of failure the converter tells apart, and its exit statuses.
#ifndef OSTREL_CONVERTER_CONVERSION_FAILURE_H_
#define OSTREL_CONVERTER_CONVERSION_FAILURE_H_

#include <cstdint>
#include <string>
#include <utility>

#include "platform/error.h"

namespace ostrel {

// Each kind's number is the error number its Error carries and the exit
// status main gives it. All lie below 126, so none looks like a shell's
// report of a signal; the table in main.cc says what each means.
enum class ConversionFailure : int32_t {
  kUsage = 2,
  kBadParameter = 3,
  kCannotReadSource = 20,
  kNotTiff = 21,
  kDamagedTiff = 22,
  kUnsupportedTiff = 23,
  kNoSuchPage = 24,
  kImageTooLarge = 25,
  kCannotWriteDestination = 30,
  kOutOfMemory = 40,
  kInternal = 41,
};

Error ConversionError(ConversionFailure failure, std::string description);

// The exit status for `error`: its own number when that is a conversion
// failure's, kOutOfMemory for the program's out-of-memory kind, kInternal for
// anything else.
int ExitStatusFor(const Error& error);

// Runs `step` and returns its result. An Error it raises (an OS failure,
// numbered by errno) is raised again with the same description and
// `failure`'s number, so that the exit status tells which file failed.
template <typename Step>
decltype(auto) WithFailureKind(ConversionFailure failure, Step&& step) {
  try {
    return std::forward<Step>(step)();
  } catch (const Error& error) {  // gives an OS error the kind of its step
    throw ConversionError(failure, error.description());
  }
}

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_CONVERSION_FAILURE_H_
