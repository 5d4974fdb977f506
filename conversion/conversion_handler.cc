// CGI_Main: a request for a TIFF file answered with a GIF (or PNG or JPEG)
// copy that the converter component writes into a temporary file.
#include <cstdint>
#include <string>
#include <string_view>

#include "cgi/ostrel_class.h"
#include "conversion/conversion_request.h"
#include "conversion/source_check.h"
#include "conversion/temporary_output.h"
#include "conversion/view_request.h"
#include "helpers/number_conversion.h"
#include "helpers/pause_seconds.h"
#include "helpers/probe_file.h"
#include "helpers/replace_text.h"
#include "platform/application_log.h"
#include "platform/automation.h"
#include "platform/environment.h"
#include "platform/error.h"
#include "platform/timing.h"

namespace ostrel {
namespace {

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
    TemporaryOutput temp_filename(configuration.temp_dir, fn, RunIdentifier(),
                                  view.describe ? ".json" : view.format.extension);
    int32_t result_code;
    {
      const AutomationObject converter = CreateObject("Caskle.ClsCaskle");
      result_code = TextToInt32(converter.CallMethod(
          view.describe ? "DescribeImage" : "ConvertImage",
          ConversionParameters(path, fn, temp_filename.converter_path(),
                               configuration.extra_parameters, view.items),
          ConverterEnvironment(allowed), kConverterTimeLimit, temp_filename.handed_directory()));
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
