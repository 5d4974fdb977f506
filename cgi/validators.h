// HTTP validators for responses that are a pure function of a file and a
// request: an entity tag and a modification date known before anything is
// converted, and the conditional-request rules that answer 304 from them.
#ifndef OSTREL_CGI_VALIDATORS_H_
#define OSTREL_CGI_VALIDATORS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "cgi/http_response.h"
#include "platform/file_state.h"

namespace ostrel {

struct Validators {
  std::string entity_tag;     // strong, quotes included: "0f3a..."
  int64_t last_modified = 0;  // seconds since the epoch
};

// What a response depends on besides the request: the source file, and the
// programs that make and frame the picture.
struct ResponseSources {
  FileState source;
  FileState converter;
  FileState program;
};

// The validators of the response to `request_key` (the normalised request:
// everything of it and of the configuration that changes the response's
// bytes) made from `sources`. The entity tag changes with any field of the
// sources and any byte of the key, and with nothing else. The modification
// date is the source's, but not later than `now`.
Validators MakeValidators(const ResponseSources& sources, std::string_view request_key,
                          int64_t now);

// Whether a GET or HEAD whose If-None-Match and If-Modified-Since headers
// hold these values (empty when absent) is answered 304 Not Modified:
// If-None-Match, when present, decides alone (weak comparison; "*" or a list
// of tags); otherwise a valid If-Modified-Since date not before the last
// modification does.
bool IsNotModified(std::string_view if_none_match, std::string_view if_modified_since,
                   const Validators& validators);

// The header lines that a cacheable response and its 304 carry: ETag,
// Last-Modified and Cache-Control (`cache_control`).
HeaderLines ValidatorHeaders(const Validators& validators, std::string_view cache_control);

}  // namespace ostrel

#endif  // OSTREL_CGI_VALIDATORS_H_
