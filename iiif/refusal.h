// Requests the IIIF service refuses, carried as the program's error with the
// HTTP status to answer.
#ifndef OSTREL_IIIF_REFUSAL_H_
#define OSTREL_IIIF_REFUSAL_H_

#include <cstdint>
#include <string>

#include "platform/error.h"

namespace ostrel {

constexpr int32_t kBadRequest = 400;      // the request's syntax or values are wrong
constexpr int32_t kNotImplemented = 501;  // a valid request this service does not serve

// An error of source kRequestRefused: its code is `status`, its description
// `message`, a short text a client can be shown as it is.
Error Refusal(int32_t status, std::string message);

// The HTTP status to answer for `error`: a refusal's own status, 500 for any
// other error.
int32_t HttpStatusOf(const Error& error);

}  // namespace ostrel

#endif  // OSTREL_IIIF_REFUSAL_H_
