// CGI_Main: a request for a TIFF file answered with a GIF copy that the
// converter component writes into a temporary file.
#include <cstdint>
#include <string>

#include "conversion/conversion_request.h"
#include "platform/application_log.h"
#include "platform/automation.h"
#include "platform/environment.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/timing.h"
#include "shell/helpers/number_conversion.h"
#include "shell/helpers/pause_seconds.h"
#include "shell/helpers/probe_file.h"
#include "shell/helpers/read_ini_value.h"
#include "shell/helpers/replace_text.h"
#include "shell/ostrel_class.h"

namespace ostrel {
namespace {

constexpr char kConfigurationFile[] = "Varnow.ini";
constexpr char kConfigurationSection[] = "Converter";

// The configuration's TempDir, else TEMP, else TMP, else "\TEMP\"; always
// ending in a backslash.
std::string TemporaryDirectory() {
  std::string directory = ReadIniValue(kConfigurationFile, kConfigurationSection, "TempDir", "");
  for (const char* variable : {"TEMP", "TMP"}) {
    if (directory.empty()) {
      directory = GetEnvironmentVariable(variable);
    }
  }
  if (directory.empty()) {
    directory = "\\TEMP\\";
  }
  return WithTrailingBackslash(directory);
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
    path = WithTrailingBackslash(ReplaceText(path, "/", "\\", true));
    const std::string temp_filename = TempFilename(TemporaryDirectory(), fn, RunIdentifier());
    const std::string extra_parameters =
        ReadIniValue(kConfigurationFile, kConfigurationSection, "ExtraParamters", "");
    int32_t result_code;
    {
      const AutomationObject converter = CreateObject("Caskle.ClsCaskle");
      result_code = TextToInt32(converter.CallMethod(
          "ConvertImage", ConversionParameters(path, fn, temp_filename, extra_parameters)));
    }
    AppendLogEntry(LogEntryType::kMessage, std::to_string(result_code));
    WaitForFile(temp_filename);
    // The last probe alone decides; if the file is not there, nothing at all
    // is written.
    if (!ProbeFile(temp_filename).empty()) {
      SendGifFile(temp_filename, fn);
      DeleteFile(temp_filename);
    }
  } catch (...) {  // the handler: any failure of the conversion is answered with the error page
    SendErrorPage("CGI_Main: FN = " + fn + ", " + ReportTail(CurrentError()));
  }
}

}  // namespace ostrel
