#include "iiif/refusal.h"

#include <utility>

namespace ostrel {

Error Refusal(int32_t status, std::string message) {
  return Error(ErrorSource::kRequestRefused, status, std::move(message));
}

int32_t HttpStatusOf(const Error& error) {
  return error.source() == ErrorSource::kRequestRefused ? error.code() : 500;
}

}  // namespace ostrel
