// CGI_Main: a request for a TIFF file answered with a GIF (or PNG or JPEG)
// copy that the converter component writes into a temporary file.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cgi/http_response.h"
#include "cgi/ostrel_class.h"
#include "cgi/validators.h"
#include "conversion/conversion_limits.h"
#include "conversion/conversion_request.h"
#include "conversion/response_validators.h"
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
#include "platform/slot_lock.h"
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

// Everything of a request with view parameters and of the configuration
// that its picture or description depends on besides the file.
std::string ViewRequestKey(const ViewRequest& view, const Configuration& configuration) {
  return std::string(view.describe ? "description" : "picture") + "\n" + view.items + "\n" +
         configuration.extra_parameters;
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
    // A request with view parameters is a pure function of the file and its
    // parameters: it carries validators, and a copy a client or a cache holds
    // is confirmed from the file's state alone, before any converter runs. A
    // request without them keeps its bytes.
    const std::string source = path + fn + ".tif";
    const std::string request_key = ViewRequestKey(view, configuration);
    std::optional<Validators> validators;
    if (view.describe || !view.items.empty()) {
      validators = ResponseValidators(source, request_key);
    }
    const std::string cache_control =
        view.describe ? DocumentCacheControl(configuration) : ImageCacheControl(configuration);
    if (validators && (context_.REQUEST_METHOD == "GET" || context_.REQUEST_METHOD == "HEAD") &&
        IsNotModified(context_.HTTP_IF_NONE_MATCH, context_.HTTP_IF_MODIFIED_SINCE, *validators)) {
      SendRaw(HttpResponseHead({304, ValidatorHeaders(*validators, cache_control), ""},
                               WritesStatusLine(context_.SCRIPT_NAME), 0));
      return;
    }
    TemporaryOutput temp_filename(configuration.temp_dir, fn, RunIdentifier(),
                                  view.describe ? ".json" : view.format.extension);
    const int64_t max_image_bytes = MaxImageBytes(configuration);
    int32_t result_code;
    {
      // Held while the converter runs, not while the client reads.
      const std::optional<SlotLock> slot =
          TakeConversionSlot(configuration, temp_filename.directory());
      const AutomationObject converter = CreateObject(kConverterComponent);
      result_code = TextToInt32(
          converter.CallMethod(view.describe ? "DescribeImage" : "ConvertImage",
                               ConversionParameters(path, fn, temp_filename.converter_path(),
                                                    configuration.extra_parameters, view.items),
                               ConverterEnvironment(allowed, max_image_bytes), kConverterTimeLimit,
                               temp_filename.handed_directory()));
    }
    temp_filename.MarkConverted();
    AppendLogEntry(LogEntryType::kMessage, std::to_string(result_code));
    WaitForFile(temp_filename.path());
    // The last probe alone decides; if the file is not there, nothing at all
    // is written.
    if (!ProbeFile(temp_filename.path()).empty()) {
      // Taken once the file is made: a source that changed meanwhile may have
      // given a mix of both versions, which no cache may keep.
      HeaderLines cache_headers;
      if (validators) {
        const std::optional<Validators> after = ResponseValidators(source, request_key);
        cache_headers = after && after->entity_tag == validators->entity_tag
                            ? ValidatorHeaders(*validators, cache_control)
                            : HeaderLines{{"Cache-Control", std::string(kUncacheable)}};
      }
      // Each removes the file once it is open.
      if (view.describe) {
        SendJsonFile(temp_filename.path(), cache_headers);
      } else if (!validators && std::string_view(view.format.item) == kGifFormat.item) {
        SendGifFile(temp_filename.path(), fn);
      } else {
        SendPictureFile(temp_filename.path(), view.format.content_type, cache_headers);
      }
    }
  } catch (...) {  // the handler: any failure of the conversion is answered with the error page
    SendErrorPage("CGI_Main: FN = " + fn + ", " + ReportTail(CurrentError()));
  }
}

}  // namespace ostrel
