#include "conversion/conversion_request.h"

#include <climits>

#include "platform/allowed_directories.h"
#include "platform/environment.h"
#include "platform/error.h"

namespace ostrel {
namespace {

void Refuse(std::string_view parameter, std::string_view what) {
  throw Error(ErrorKind::kInvalidArgument,
              std::string(parameter) + " must not contain " + std::string(what));
}

void CheckItemSafe(std::string_view parameter, std::string_view value) {
  if (value.find('\0') != std::string_view::npos) {
    Refuse(parameter, "a NUL byte");
  }
  if (value.find(", ") != std::string_view::npos) {
    Refuse(parameter, "\", \"");
  }
}

}  // namespace

void CheckRequestParameters(std::string_view fn, std::string_view path) {
  CheckItemSafe("FN", fn);
  CheckItemSafe("Path", path);
  for (const std::string_view forbidden : {"/", "\\", "*", "?"}) {
    if (fn.find(forbidden) != std::string_view::npos) {
      // Appended, not concatenated with operator+: g++ 12 at -O3 warns
      // falsely (-Wrestrict) about "\"" + std::string(...).
      std::string quoted;
      quoted.append("\"").append(forbidden).append("\"");
      Refuse("FN", quoted);
    }
  }
}

std::string WithTrailingBackslash(std::string text) {
  if (text.empty() || text.back() != '\\') {
    text.push_back('\\');
  }
  return text;
}

std::string TempFilename(std::string_view temporary_directory, std::string_view fn,
                         int32_t run_identifier, std::string_view extension) {
  if (run_identifier == INT32_MIN) {
    throw Error(ErrorKind::kOverflow);
  }
  const int32_t run_number = run_identifier < 0 ? -run_identifier : run_identifier;
  return std::string(temporary_directory) + "G" + std::string(fn) + "_" +
         std::to_string(run_number) + std::string(extension);
}

std::string ConversionParameters(std::string_view path, std::string_view fn,
                                 std::string_view temp_filename, std::string_view extra_parameters,
                                 std::string_view view_items) {
  std::string parameters =
      "source=" + std::string(path) + std::string(fn) + ".tif, dest=" + std::string(temp_filename);
  for (const std::string_view items : {extra_parameters, view_items}) {
    if (!items.empty()) {
      parameters.append(", ").append(items);
    }
  }
  return parameters;
}

std::vector<std::string> ConverterEnvironment(std::string_view allowed, int64_t max_image_bytes) {
  std::vector<std::string> environment = {
      "PATH=/usr/local/bin:/usr/bin:/bin",
      std::string(kMaxImageBytesVariable) + "=" + std::to_string(max_image_bytes)};
  if (!allowed.empty()) {
    environment.push_back(std::string(kAllowedDirectoriesVariable) + "=" + std::string(allowed));
  }
  return environment;
}

}  // namespace ostrel
