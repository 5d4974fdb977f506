// Everything the program knows about the request it serves.
#ifndef OSTREL_CGI_REQUEST_CONTEXT_H_
#define OSTREL_CGI_REQUEST_CONTEXT_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cgi/form_pair.h"
#include "platform/standard_io.h"

namespace ostrel {

// The environment fields carry the names of the CGI variables they copy.
struct RequestContext {
  bool HtmlHeaderSent = false;
  std::string HTTP_ACCEPT;
  std::string AUTH_TYPE;
  std::string CONTENT_LENGTH;
  std::string CONTENT_TYPE;
  std::string GATEWAY_INTERFACE;
  std::string PATH_INFO;
  std::string PATH_TRANSLATED;
  std::string QUERY_STRING;
  std::string HTTP_REFERER;
  std::string REMOTE_ADDR;
  std::string REMOTE_HOST;
  std::string REMOTE_IDENT;
  std::string REMOTE_USER;
  std::string REQUEST_METHOD;
  std::string SCRIPT_NAME;
  std::string SERVER_SOFTWARE;
  std::string SERVER_NAME;
  std::string SERVER_PORT;
  std::string SERVER_PROTOCOL;
  std::string HTTP_USER_AGENT;
  // Captured besides the twenty above for the IIIF service and for
  // responses that carry validators: the raw request path, what a redirect
  // and a CORS preflight need, and a conditional request's headers.
  std::string REQUEST_URI;
  std::string HTTPS;
  std::string HTTP_HOST;
  std::string HTTP_ACCESS_CONTROL_REQUEST_HEADERS;
  // A conditional request's validators.
  std::string HTTP_IF_NONE_MATCH;
  std::string HTTP_IF_MODIFIED_SINCE;
  int32_t ContentLength = 0;
  FileHandle StdInHandle;
  FileHandle StdOutHandle;
  std::string AdminAddress;
  std::string PostBody;
  // The decoded form input, indexed from 0; slot 0 is never filled, so the
  // table's upper bound is Pairs.size() - 1.
  PairTable Pairs;
};

struct CgiVariable {
  const char* name;
  std::string RequestContext::*field;
};

// The twenty CGI variables that are captured, in their capture order.
extern const std::array<CgiVariable, 20> kCgiVariables;
// The six captured after them.
extern const std::array<CgiVariable, 6> kServiceCgiVariables;

// The service administrator's address, fixed when the program is built.
extern const char kAdminAddress[];

// The body length that a CONTENT_LENGTH text announces: its leading number
// ("12abc" gives 12, "abc" and "" give 0) rounded half to even. Raises an
// overflow error beyond the signed 32-bit range.
int32_t ContentLengthFromText(std::string_view text);

}  // namespace ostrel

#endif  // OSTREL_CGI_REQUEST_CONTEXT_H_
