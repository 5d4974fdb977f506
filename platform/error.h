// The one error type of the program: a signed 32-bit number and a description.
#ifndef OSTREL_PLATFORM_ERROR_H_
#define OSTREL_PLATFORM_ERROR_H_

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace ostrel {

// The program's own kinds of error. Their numbers and descriptions are chosen
// once, in error.cc.
enum class ErrorKind {
  kInvalidArgument,
  kOverflow,
  kOutOfMemory,
  kSubscriptOutOfRange,
  kTypeMismatch,
  kInternalFailure,  // a C++ exception of no kind above reached a handler
};

// Where a failure comes from. Each source numbers its errors in a range of
// its own, so that no two sources share a number:
enum class ErrorSource {
  kProgram,          // the program's own kinds (ErrorKind): 5, 6, 7, 9, 13, 51
  kConverterStatus,  // the converter exited with status N: 100 + N
  kConverterSignal,  // a signal S ended the converter: 400 + S
  kSystem,           // a system call failed with errno E: 1000 + E
  kRequestRefused,   // a request refused with HTTP status S: 10000 + S
};

class Error : public std::exception {
 public:
  // An error whose source numbers it `code` (an errno value, an exit
  // status, a signal); its number is the code moved into the source's range.
  Error(ErrorSource source, int32_t code, std::string description);
  // An error of one of the program's own kinds. A non-empty `detail` follows
  // the kind's description after ": ".
  explicit Error(ErrorKind kind, std::string_view detail = {});

  ErrorSource source() const { return source_; }
  int32_t code() const { return code_; }
  // The number reports show.
  int32_t number() const;
  bool Is(ErrorKind kind) const;
  const std::string& description() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  ErrorSource source_;
  int32_t code_;
  std::string description_;
};

// The tail of every report: description, " Error Number = ", then the number
// with a sign position (a space before zero or a positive number, "-" before a
// negative one).
std::string ReportTail(const Error& error);

// The exception now being handled, as an Error. Call only inside a catch
// block; std::bad_alloc becomes an out-of-memory error, and so on.
Error CurrentError();

// A failed system call: the code is `error_number` (an errno value), the
// description "<what>: <strerror text>", e.g. "open /srv/x.tif: No such file
// or directory".
Error PosixError(std::string_view what, int error_number);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_ERROR_H_
