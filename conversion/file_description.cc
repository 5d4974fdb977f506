#include "conversion/file_description.h"

#include <cstdint>

#include "conversion/conversion_limits.h"
#include "conversion/conversion_request.h"
#include "conversion/temporary_output.h"
#include "helpers/number_conversion.h"
#include "platform/application_log.h"
#include "platform/automation.h"
#include "platform/environment.h"
#include "platform/error.h"
#include "platform/file.h"

namespace ostrel {

namespace {

// Runs the converter's `method` for `source` with `items`, its output in a
// temporary file ending in `extension`, and calls `use` with the output's
// path while the file exists.
void RunConverter(const Configuration& configuration, std::string_view method,
                  std::string_view source, std::string_view items, std::string_view extension,
                  std::string_view allowed,
                  const std::function<void(const std::string& path)>& use) {
  if (source.find(", ") != std::string_view::npos || source.find('\0') != std::string_view::npos) {
    throw Error(ErrorKind::kInvalidArgument, "a source must not contain \", \" or a NUL byte");
  }
  TemporaryOutput output(configuration.temp_dir, "iiif", RunIdentifier(), extension);
  std::string parameters = "source=" + std::string(source) + ", dest=" + output.converter_path();
  if (!items.empty()) {
    parameters.append(", ").append(items);
  }
  int32_t result_code;
  {
    const AutomationObject converter = CreateObject(kConverterComponent);
    result_code = TextToInt32(converter.CallMethod(
        method, parameters, ConverterEnvironment(allowed, MaxImageBytes(configuration)),
        kConverterTimeLimit, output.handed_directory()));
  }
  output.MarkConverted();
  AppendLogEntry(LogEntryType::kMessage, std::to_string(result_code));
  use(output.path());
}

}  // namespace

std::string DescribeFile(const Configuration& configuration, std::string_view source,
                         std::string_view allowed) {
  std::string json;
  RunConverter(configuration, "DescribeImage", source, configuration.extra_parameters, ".json",
               allowed, [&json](const std::string& path) {
                 // The converter renames a regular file into place; a link at
                 // that name was planted by someone else.
                 ReadOnlyFile file(path, SymbolicLinks::kRefuse);
                 json = file.ReadToEnd();
               });
  return json;
}

void RenderFile(const Configuration& configuration, std::string_view source, std::string_view items,
                std::string_view extension, std::string_view allowed,
                const std::function<void(const std::string& path)>& use) {
  RunConverter(configuration, "ConvertImage", source, items, extension, allowed, use);
}

}  // namespace ostrel
