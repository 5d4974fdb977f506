// Fuzz target: the converter's parameter text parser. It either refuses the
// text with a bad-parameter error (or an invalid-argument one for a NUL
// byte, which no command line can carry) or gives parameters within their
// documented ranges.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "converter/conversion_failure.h"
#include "converter/conversion_options.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ostrel::ConversionOptions parameters;
  try {
    parameters = ostrel::ParseConversionOptions(text);
  } catch (const ostrel::Error& error) {  // refusing a bad text is the contract
    if (error.number() != static_cast<int32_t>(ostrel::ConversionFailure::kBadParameter) &&
        error.number() != ostrel::Error(ostrel::ErrorKind::kInvalidArgument).number()) {
      std::abort();
    }
    return 0;
  }
  if (parameters.source.empty() || parameters.dest.empty() ||
      parameters.source == parameters.dest || parameters.page < 1 || parameters.colors < 2 ||
      parameters.colors > 256 || parameters.max_pixels < 1 || parameters.box_width > 65535 ||
      parameters.box_height > 65535 || parameters.rotate % 90 != 0 || parameters.rotate > 270 ||
      parameters.grays < 2 || parameters.grays > 256) {
    std::abort();
  }
  return 0;
}
