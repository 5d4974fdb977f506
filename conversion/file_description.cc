#include "conversion/file_description.h"

#include <cstdint>

#include "conversion/conversion_request.h"
#include "conversion/temporary_output.h"
#include "helpers/number_conversion.h"
#include "platform/application_log.h"
#include "platform/automation.h"
#include "platform/environment.h"
#include "platform/error.h"
#include "platform/file.h"

namespace ostrel {

std::string DescribeFile(const Configuration& configuration, std::string_view source,
                         std::string_view allowed) {
  if (source.find(", ") != std::string_view::npos || source.find('\0') != std::string_view::npos) {
    throw Error(ErrorKind::kInvalidArgument, "a source must not contain \", \" or a NUL byte");
  }
  TemporaryOutput output(
      TempFilename(TemporaryDirectory(configuration.temp_dir), "iiif", RunIdentifier(), ".json"));
  std::string parameters = "source=" + std::string(source) + ", dest=" + output.path();
  if (!configuration.extra_parameters.empty()) {
    parameters.append(", ").append(configuration.extra_parameters);
  }
  int32_t result_code;
  {
    const AutomationObject converter = CreateObject("Caskle.ClsCaskle");
    result_code = TextToInt32(converter.CallMethod(
        "DescribeImage", parameters, ConverterEnvironment(allowed), kConverterTimeLimit));
  }
  output.MarkConverted();
  AppendLogEntry(LogEntryType::kMessage, std::to_string(result_code));
  // The converter renames a regular file into place; a link at that name
  // was planted by someone else.
  ReadOnlyFile file(output.path(), SymbolicLinks::kRefuse);
  return file.ReadToEnd();
}

}  // namespace ostrel
