// The converter component: Caskle.ClsCaskle ConvertImage "<parameters>"
// writes a GIF (or, as its format item says, a PNG or JPEG) of a page;
// Caskle.ClsCaskle DescribeImage "<parameters>" writes a description of the
// file as JSON instead (see image_description.h); Caskle.ClsCaskle
// --version prints its version.
//
// On success it prints "0" and exits 0, after a line on standard error when
// a fax page had damaged lines that were filled in. On failure it writes one line on
// standard error, saying what failed and on which file, and exits with the
// status of the kind of failure; the calling program reports status N as
// error number 100 + N:
//
//   2   usage: a method other than ConvertImage or DescribeImage, or not
//       exactly one argument
//   3   bad parameter text: unknown, repeated or missing key, an item
//       without "=", a bad value
//   20  the source cannot be opened or read (the OS says why), or the file
//       opened is not in an allowed image directory
//   21  the source is not a TIFF file
//   22  the TIFF file is damaged or truncated
//   23  the TIFF image is of a kind that cannot be rendered
//   24  the page asked for does not exist (the message says how many do)
//   25  the image is too large: more pixels than maxpixels, a side longer
//       than 65535, more bytes than the caller's MaxImageBytes, or a page
//       that decodes to more than 64 MiB and more than 64 times the bytes
//       its strips or tiles hold
//   30  the image or the description cannot be written
//   40  out of memory
//   41  internal failure
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "converter/conversion_failure.h"
#include "converter/conversion_options.h"
#include "converter/image_conversion.h"
#include "converter/image_description.h"
#include "platform/allowed_directories.h"
#include "platform/application_log.h"
#include "platform/environment.h"
#include "platform/error.h"
#include "platform/heap.h"
#include "platform/process_limits.h"
#include "platform/termination_cleanup.h"

namespace {

constexpr std::string_view kConvertMethod = "ConvertImage";
constexpr std::string_view kDescribeMethod = "DescribeImage";

// Far above what the largest image the converter accepts needs (a 10000 x
// 14000 drawing takes under 10 MiB of address space, a 4096 x 4096 tiled
// photo under 90 MiB), and low enough that a hostile file cannot take the
// machine's memory, time or disk.
constexpr uint64_t kAddressSpaceBytes = uint64_t{1} << 30;
constexpr uint64_t kCpuSeconds = 30;
constexpr uint64_t kFileSizeBytes = uint64_t{1} << 30;
constexpr uint64_t kOpenFiles = 64;

// Before anything is read: a termination signal (SIGTERM from the program
// stopping it or dying, SIGXCPU from the CPU limit) removes the image's
// temporary file, and the limits bound what a hostile file can cost. The
// worker threads share the main thread's heap, as a process under an address
// space limit must.
void ConfineConverter() {
  ostrel::UseOneHeapForAllThreads();
  ostrel::InstallTerminationCleanup();
  ostrel::ProcessLimits limits{
      .cpu_seconds = kCpuSeconds, .file_size_bytes = kFileSizeBytes, .open_files = kOpenFiles};
#ifndef OSTREL_SANITIZE
  // AddressSanitizer reserves terabytes of address space for its shadow
  // memory and cannot run under this limit.
  limits.address_space_bytes = kAddressSpaceBytes;
#endif
  ostrel::ConfineProcess(limits);
}

// Returns the note for standard error, empty when there is none.
std::string Run(int argc, char** argv) {
  using ostrel::ConversionError;
  using ostrel::ConversionFailure;
  ConfineConverter();
  if (argc < 2) {
    throw ConversionError(ConversionFailure::kUsage,
                          "no method given: usage is Caskle.ClsCaskle ConvertImage|DescribeImage "
                          "\"source=FILE, dest=FILE[, more items]\"");
  }
  const std::string_view method = argv[1];
  if (method != kConvertMethod && method != kDescribeMethod) {
    throw ConversionError(ConversionFailure::kUsage, "unknown method \"" + std::string(method) +
                                                         "\": only ConvertImage or DescribeImage");
  }
  if (argc != 3) {
    throw ConversionError(
        ConversionFailure::kUsage,
        std::string(method) + " takes one argument, not " + std::to_string(argc - 2));
  }
  ostrel::ConversionOptions options = ostrel::ParseConversionOptions(argv[2]);
  options.allowed_directories = ostrel::GetEnvironmentVariable(ostrel::kAllowedDirectoriesVariable);
  options.max_image_bytes =
      ostrel::ParseMaxImageBytes(ostrel::GetEnvironmentVariable(ostrel::kMaxImageBytesVariable));
  if (method == kDescribeMethod) {
    ostrel::DescribeImage(options);
    return {};
  }
  return ostrel::ConvertImage(options);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    return std::fputs("Caskle.ClsCaskle " OSTREL_VERSION "\n", stdout) < 0 ? 1 : 0;
  }
  std::string note;
  try {
    note = Run(argc, argv);
  } catch (...) {  // the entry handler: one line on standard error, the kind as exit status
    const ostrel::Error error = ostrel::CurrentError();
    const std::string line = ostrel::EscapeControlCharacters(error.description()) + "\n";
    // Nowhere is left to report a failed write to standard error.
    (void)std::fputs(line.c_str(), stderr);
    return ostrel::ExitStatusFor(error);
  }
  if (!note.empty()) {
    (void)std::fputs((ostrel::EscapeControlCharacters(note) + "\n").c_str(), stderr);
  }
  // The result code. The output is in place already: a caller that cannot
  // read this has gone, and nothing would be gained by failing now.
  (void)std::fputs("0\n", stdout);
  return 0;
}
