// CGI_Main: a request for a TIFF file answered with a GIF (or PNG or JPEG)
// copy that the converter component writes into a temporary file.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "cgi/ostrel_class.h"
#include "conversion/conversion_request.h"
#include "conversion/source_check.h"
#include "conversion/view_request.h"
#include "helpers/number_conversion.h"
#include "helpers/pause_seconds.h"
#include "helpers/probe_file.h"
#include "helpers/replace_text.h"
#include "platform/application_log.h"
#include "platform/atomic_file.h"
#include "platform/automation.h"
#include "platform/directory_search.h"
#include "platform/environment.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/private_directory.h"
#include "platform/termination_cleanup.h"
#include "platform/timing.h"

namespace ostrel {
namespace {

// How long the converter may run before it is stopped. Far beyond what the
// largest image it accepts takes, yet a hung converter cannot hold a web
// server's worker for good.
constexpr std::chrono::seconds kConverterTimeLimit{30};

// The temporary GIF (or JSON description), removed on every way out of CGI_Main and by the
// termination handler, whatever ended the request: the client going away,
// a failure while streaming, a converter that failed. After a failure the
// converter's own temporary files for it (AtomicFile's, beside it) go too,
// in case the converter was killed before it could remove them.
class TemporaryOutput {
 public:
  explicit TemporaryOutput(std::string path) : path_(std::move(path)), on_signal_(path_) {}
  ~TemporaryOutput() {
    // Cleaning up on the way out, a failure already being reported or none
    // to report: a file that cannot be removed now cannot be reported either.
    try {
      if (!ProbeFile(path_).empty()) {
        DeleteFile(path_);
      }
      if (!converted_) {
        RemoveConverterLeftovers();
      }
    } catch (...) {  // see above
    }
  }
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;

  const std::string& path() const { return path_; }
  void MarkConverted() { converted_ = true; }

 private:
  void RemoveConverterLeftovers() const {
    const std::string directory = path_.substr(0, path_.rfind('\\') + 1);
    const std::string pattern = AtomicFileTemporaryPattern(path_);
    // Bounded: each pass removes the entry it found.
    std::string name = ProbeFile(pattern, kAttributeHidden);
    for (int removed = 0; !name.empty() && removed < 100; ++removed) {
      DeleteFile(directory + name);
      name = ProbeFile(pattern, kAttributeHidden);
    }
  }

  std::string path_;
  CleanupFile on_signal_;
  bool converted_ = false;
};

// `directory` (the configuration's TempDir), else TEMP, else TMP, else
// "\TEMP\"; always ending in a backslash. When other users can write there,
// this user's own subdirectory of it, so that they can neither read, replace
// nor block the request's files.
std::string TemporaryDirectory(std::string directory) {
  for (const char* variable : {"TEMP", "TMP"}) {
    if (directory.empty()) {
      directory = GetEnvironmentVariable(variable);
    }
  }
  if (directory.empty()) {
    directory = "\\TEMP\\";
  }
  return PrivateWorkingDirectory(WithTrailingBackslash(directory));
}

// Waits up to about five seconds for the converter's file, probing at about
// 0, 1, 2, 3, 4 and 5 seconds. The wait is measured on the monotonic clock
// from its own start, in double precision, so neither a change of the time
// of day nor a long uptime can stretch or cut it.
void WaitForFile(const std::string& file_name) {
  constexpr double kWaitSeconds = 5.0;
  const double start = MonotonicSeconds();
  for (;;) {
    const double elapsed = MonotonicSeconds() - start;
    const bool found = !ProbeFile(file_name).empty();
    if (found || elapsed >= kWaitSeconds) {
      return;
    }
    PauseSeconds(1);
  }
}

}  // namespace

void OstrelClass::CGI_Main() {
  std::string fn;
  try {
    fn = GetCgiValue("FN");
    std::string path = GetCgiValue("Path");
    CheckRequestParameters(fn, path);
    const ViewRequest view = ReadViewRequest(
        context_.Pairs, [this](const std::string& name) { return GetCgiValue(name); });
    path = WithTrailingBackslash(ReplaceText(path, "/", "\\", true));
    const Configuration& configuration = RequestConfiguration();
    const std::string& allowed = configuration.allowed_image_directories;
    if (!allowed.empty()) {
      CheckSourceAllowed(path, fn, allowed);
    }
    TemporaryOutput temp_filename(TempFilename(TemporaryDirectory(configuration.temp_dir), fn,
                                               RunIdentifier(),
                                               view.describe ? ".json" : view.format.extension));
    int32_t result_code;
    {
      const AutomationObject converter = CreateObject("Caskle.ClsCaskle");
      result_code = TextToInt32(
          converter.CallMethod(view.describe ? "DescribeImage" : "ConvertImage",
                               ConversionParameters(path, fn, temp_filename.path(),
                                                    configuration.extra_parameters, view.items),
                               ConverterEnvironment(allowed), kConverterTimeLimit));
    }
    temp_filename.MarkConverted();
    AppendLogEntry(LogEntryType::kMessage, std::to_string(result_code));
    WaitForFile(temp_filename.path());
    // The last probe alone decides; if the file is not there, nothing at all
    // is written.
    if (!ProbeFile(temp_filename.path()).empty()) {
      // Either removes the file once it is open.
      if (view.describe) {
        SendJsonFile(temp_filename.path());
      } else if (std::string_view(view.format.item) == kGifFormat.item) {
        SendGifFile(temp_filename.path(), fn);
      } else {
        SendPictureFile(temp_filename.path(), view.format.content_type);
      }
    }
  } catch (...) {  // the handler: any failure of the conversion is answered with the error page
    SendErrorPage("CGI_Main: FN = " + fn + ", " + ReportTail(CurrentError()));
  }
}

}  // namespace ostrel
