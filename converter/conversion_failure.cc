#include "converter/conversion_failure.h"

namespace ostrel {

Error ConversionError(ConversionFailure failure, std::string description) {
  return Error(static_cast<int32_t>(failure), std::move(description));
}

int ExitStatusFor(const Error& error) {
  switch (static_cast<ConversionFailure>(error.number())) {
    case ConversionFailure::kUsage:
    case ConversionFailure::kBadParameter:
    case ConversionFailure::kCannotReadSource:
    case ConversionFailure::kNotTiff:
    case ConversionFailure::kDamagedTiff:
    case ConversionFailure::kUnsupportedTiff:
    case ConversionFailure::kNoSuchPage:
    case ConversionFailure::kImageTooLarge:
    case ConversionFailure::kCannotWriteDestination:
    case ConversionFailure::kOutOfMemory:
    case ConversionFailure::kInternal:
      return error.number();
  }
  if (error.number() == Error(ErrorKind::kOutOfMemory).number()) {
    return static_cast<int>(ConversionFailure::kOutOfMemory);
  }
  return static_cast<int>(ConversionFailure::kInternal);
}

}  // namespace ostrel
