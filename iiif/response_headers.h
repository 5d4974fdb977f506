// The header values of the IIIF service's responses that depend on the
// request: the documents' media type, the profile link, a preflight's
// allowed headers.
#ifndef OSTREL_IIIF_RESPONSE_HEADERS_H_
#define OSTREL_IIIF_RESPONSE_HEADERS_H_

#include <string>
#include <string_view>

#include "iiif/image_information.h"

namespace ostrel {

// Whether an Accept value asks for "application/ld+json": one of its media
// ranges is that type (letter case ignored, parameters allowed) and does not
// say "q=0".
bool AcceptsJsonLd(std::string_view accept);

// The Content-Type of a JSON-LD document of `context` (its context URI) for
// a request whose Accept is `accept`: application/ld+json with the context
// as its profile when the request asks for it, else application/json.
std::string JsonMediaType(std::string_view context, std::string_view accept);

// The JSON-LD context of `version`'s image information.
std::string_view ImageContext(ImageApiVersion version);

// The Link header of image information, naming its compliance level's
// profile: <http://iiif.io/api/image/3/level2.json>;rel="profile".
std::string ProfileLink(ImageApiVersion version);

// The Access-Control-Allow-Headers value a preflight answers: `requested`
// (its Access-Control-Request-Headers) when it is a list of header names (ASCII letters,
// digits, "-", "_", "," and blanks) of at most 1000 bytes; else empty, so
// that none is allowed beyond those that need no preflight.
std::string AllowedRequestHeaders(std::string_view requested);

}  // namespace ostrel

#endif  // OSTREL_IIIF_RESPONSE_HEADERS_H_
