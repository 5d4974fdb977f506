#include "converter/conversion_failure.h"

namespace ostrel {

Error ConversionError(ConversionFailure failure, std::string description) {
  return Error(ErrorSource::kConverterStatus, static_cast<int32_t>(failure),
               std::move(description));
}

int ExitStatusFor(const Error& error) {
  if (error.source() == ErrorSource::kConverterStatus && error.code() > 0 && error.code() < 126) {
    return error.code();
  }
  if (error.Is(ErrorKind::kOutOfMemory)) {
    return static_cast<int>(ConversionFailure::kOutOfMemory);
  }
  return static_cast<int>(ConversionFailure::kInternal);
}

}  // namespace ostrel
