// The validators and cache lifetimes of the responses that are a pure
// function of a TIFF file and a request: IIIF images and documents, and
// requests with view parameters.
#ifndef OSTREL_CONVERSION_RESPONSE_VALIDATORS_H_
#define OSTREL_CONVERSION_RESPONSE_VALIDATORS_H_

#include <optional>
#include <string>
#include <string_view>

#include "cgi/validators.h"
#include "helpers/configuration.h"

namespace ostrel {

inline constexpr std::string_view kDefaultImageCacheControl = "public, max-age=86400";
inline constexpr std::string_view kDefaultDocumentCacheControl = "public, max-age=3600";
// What an error, or a response whose file changed while it was made, carries.
inline constexpr std::string_view kUncacheable = "no-store";

// The configured Cache-Control of images and of documents, or the default.
std::string ImageCacheControl(const Configuration& configuration);
std::string DocumentCacheControl(const Configuration& configuration);

// The validators of the response to `request_key` made from `source` (a
// path, "/" or "\" alike) by this program and the converter beside it, as
// they are now: looked up with stat, nothing converted; the programs by
// their size and modification time. Nothing when one of the three files
// cannot be looked at.
std::optional<Validators> ResponseValidators(std::string_view source, std::string_view request_key);

}  // namespace ostrel

#endif  // OSTREL_CONVERSION_RESPONSE_VALIDATORS_H_
