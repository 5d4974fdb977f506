// The process environment and facts about the running program.
#ifndef OSTREL_PLATFORM_ENVIRONMENT_H_
#define OSTREL_PLATFORM_ENVIRONMENT_H_

#include <cstdint>
#include <string>

namespace ostrel {

// The environment variable through which the program hands the converter
// the most bytes the image it writes may take (MaxImageBytes).
inline constexpr char kMaxImageBytesVariable[] = "OSTREL_MAX_IMAGE_BYTES";

// The value of an environment variable; empty text when it is not set.
std::string GetEnvironmentVariable(const std::string& name);

// The directory that holds the running executable, symlinks resolved, without
// a trailing "/". Raises an Error when /proc/self/exe cannot be read.
std::string ExecutableDirectory();

// A signed 32-bit number that identifies this run: the process id.
int32_t RunIdentifier();

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_ENVIRONMENT_H_
