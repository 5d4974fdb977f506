#include "iiif/request_location.h"

#include "iiif/refusal.h"

namespace ostrel {
namespace {

bool IsHostText(std::string_view host) {
  for (const char c : host) {
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':' || c == '[' ||
                         c == ']';
    if (!allowed) {
      return false;
    }
  }
  return !host.empty();
}

bool IsOn(std::string_view value) {
  return value.size() == 2 && (value[0] == 'o' || value[0] == 'O') &&
         (value[1] == 'n' || value[1] == 'N');
}

}  // namespace

bool IsIiifRequest(std::string_view path_info) { return path_info.starts_with("/iiif/"); }

RequestLocation LocateRequest(const RequestContext& context) {
  std::string host = context.HTTP_HOST;
  if (host.empty()) {
    host = context.SERVER_NAME + ":" + context.SERVER_PORT;
  }
  if (!IsHostText(host)) {
    throw Refusal(kBadRequest, "the request names no valid host");
  }
  RequestLocation location;
  location.script_url = (IsOn(context.HTTPS) ? "https://" : "http://") + host;
  if (context.REQUEST_URI.empty()) {
    location.script_url += context.SCRIPT_NAME;
    location.path = context.PATH_INFO;
    return location;
  }
  const std::string_view uri =
      std::string_view(context.REQUEST_URI).substr(0, context.REQUEST_URI.find('?'));
  if (!uri.starts_with(context.SCRIPT_NAME)) {
    throw Refusal(kBadRequest, "the request path does not start with the program's name");
  }
  location.script_url += context.SCRIPT_NAME;
  location.path = uri.substr(context.SCRIPT_NAME.size());
  return location;
}

}  // namespace ostrel
