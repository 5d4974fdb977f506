// The kinds of failure the converter tells apart, and its exit statuses.
#ifndef OSTREL_CONVERTER_CONVERSION_FAILURE_H_
#define OSTREL_CONVERTER_CONVERSION_FAILURE_H_

#include <cstdint>
#include <string>
#include <utility>

#include "platform/error.h"

namespace ostrel {

// Each kind's value is the exit status main gives it and the code its Error
// carries (the calling program reports it as 100 + status). All lie below
// 126, so none looks like a shell's report of a signal; the table in main.cc
// says what each means.
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

// The exit status for `error`: its kind's when it is a conversion failure,
// kOutOfMemory for the program's out-of-memory kind, kInternal for anything
// else (an OS error that no step gave a kind included).
int ExitStatusFor(const Error& error);

// Runs `step` and returns its result. An OS error it raises (coded by errno)
// is raised again with the same description as `failure`, so that the exit
// status tells which file failed; any other error passes unchanged.
template <typename Step>
decltype(auto) WithFailureKind(ConversionFailure failure, Step&& step) {
  try {
    return std::forward<Step>(step)();
  } catch (const Error& error) {  // gives an OS error the kind of its step
    if (error.source() != ErrorSource::kSystem) {
      throw;
    }
    throw ConversionError(failure, error.description());
  }
}

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_CONVERSION_FAILURE_H_
