// Where a IIIF request was sent: the service's absolute URL and the raw path
// below it, as the id of a document and a redirect's Location need them.
#ifndef OSTREL_IIIF_REQUEST_LOCATION_H_
#define OSTREL_IIIF_REQUEST_LOCATION_H_

#include <string>
#include <string_view>

#include "cgi/request_context.h"

namespace ostrel {

struct RequestLocation {
  // The program's absolute URL as asked: "https://host/cgi-bin/ostrel".
  std::string script_url;
  // The raw request path below it, from "/iiif/" on, without the query:
  // percent escapes as the client wrote them.
  std::string path;
};

// Whether `path_info` asks for the IIIF service: it starts with "/iiif/".
bool IsIiifRequest(std::string_view path_info);

// The location of the request `context` holds. The raw path is REQUEST_URI
// less its query and the SCRIPT_NAME at its start, since servers decode
// "%2F" in PATH_INFO; PATH_INFO only when the server gives no REQUEST_URI.
// The URL starts "https://" when HTTPS is "on" (letter case ignored), else
// "http://", then HTTP_HOST, or SERVER_NAME and ":" SERVER_PORT without it.
// Raises a refusal with status 400 when REQUEST_URI does not start with
// SCRIPT_NAME, and for a host holding other than letters, digits, "-",
// ".", ":", "[" and "]".
RequestLocation LocateRequest(const RequestContext& context);

}  // namespace ostrel

#endif  // OSTREL_IIIF_REQUEST_LOCATION_H_
