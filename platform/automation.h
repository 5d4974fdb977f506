// Automation objects: components that lie beside the executable as programs
// of their own, whose methods are called by name with one text argument.
#ifndef OSTREL_PLATFORM_AUTOMATION_H_
#define OSTREL_PLATFORM_AUTOMATION_H_

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// The descriptor under which a component finds the directory it is handed
// (see CallMethod), and the path that leads into that directory through it.
inline constexpr int kHandedDirectoryDescriptor = 3;
inline constexpr char kHandedDirectoryPath[] = "/proc/self/fd/3/";

class AutomationObject {
 public:
  // The component named `programmatic_identifier` in `directory`. Raises
  // when there is no such file or it is not an executable regular file.
  AutomationObject(std::string_view directory, std::string_view programmatic_identifier);

  // Runs the component as `<program> method argument` (no shell), in a
  // process group of its own, with exactly `environment` ("NAME=value"
  // entries) as its environment, standard input from /dev/null, standard
  // output and standard error captured, `handed_directory` (when it is a
  // descriptor, not -1) as its descriptor kHandedDirectoryDescriptor and no
  // other descriptor inherited, and waits for it to end. While it runs, a termination signal stops
  // it (see termination_cleanup.h). Raises an invalid-argument error, before any process starts,
  // when the
  //   method, the argument or an environment entry holds a NUL byte, which
  //   would cut it short, and when they are too long for a program's
  //   argument list.
  // Past `time_limit`, whether or not it has closed its output: stops its
  //   process group (SIGTERM, a second's grace, SIGKILL), reaps it and
  //   raises a kSystem Error with code ETIMEDOUT and a text naming the limit.
  // Exit status 0: appends each non-empty line of standard error to the
  //   application log as a message entry (what the component would have
  //   shown a user), then returns the standard output less one trailing
  //   line end.
  // Exit status N: raises a kConverterStatus Error with code N, described by
  //   the last non-empty line of standard error (control characters
  //   escaped), or "converter failed with exit status N" when it wrote none.
  // Ended by signal S: raises a kConverterSignal Error with code S and a
  //   text naming the signal.
  // Raises a PosixError when the component cannot be run.
  std::string CallMethod(std::string_view method, std::string_view argument,
                         const std::vector<std::string>& environment,
                         std::chrono::seconds time_limit, int handed_directory = -1) const;

 private:
  std::string program_;
};

// The component named `programmatic_identifier` beside the running
// executable; raises as the constructor does.
AutomationObject CreateObject(std::string_view programmatic_identifier);

// The path of the file that CreateObject would run.
std::string ComponentPath(std::string_view programmatic_identifier);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_AUTOMATION_H_
