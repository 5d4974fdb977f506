#include "cgi/http_response.h"

#include "platform/error.h"

namespace ostrel {
namespace {

void CheckHeaderText(std::string_view text) {
  if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    throw Error(ErrorKind::kInvalidArgument, "a header line must not hold CR, LF or NUL");
  }
}

}  // namespace

std::string_view ReasonPhrase(int32_t status) {
  switch (status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    default:
      return "Unknown";
  }
}

bool WritesStatusLine(std::string_view script_name) {
  const size_t slash = script_name.rfind('/');
  const std::string_view name =
      slash == std::string_view::npos ? script_name : script_name.substr(slash + 1);
  return name.starts_with("nph-");
}

std::string HeaderLinesText(const HeaderLines& headers) {
  std::string text;
  for (const auto& [name, value] : headers) {
    CheckHeaderText(name);
    CheckHeaderText(value);
    text.append(name).append(": ").append(value).append("\r\n");
  }
  return text;
}

std::string HttpResponseHead(const HttpResponse& response, bool status_line,
                             uint64_t content_length) {
  std::string text = status_line ? "HTTP/1.0 " : "Status: ";
  text.append(std::to_string(response.status))
      .append(" ")
      .append(ReasonPhrase(response.status))
      .append("\r\n");
  text.append(HeaderLinesText(response.headers));
  if (response.status != 204 && response.status != 304) {
    text.append("Content-Length: ").append(std::to_string(content_length)).append("\r\n");
  }
  text.append("\r\n");
  return text;
}

std::string HttpResponseText(const HttpResponse& response, bool status_line, bool with_body) {
  std::string text = HttpResponseHead(response, status_line, response.body.size());
  if (with_body) {
    text.append(response.body);
  }
  return text;
}

}  // namespace ostrel
