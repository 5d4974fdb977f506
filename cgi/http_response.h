// A response given whole, status, header lines and body, in the form the web
// server running the program takes a status from.
#ifndef OSTREL_CGI_HTTP_RESPONSE_H_
#define OSTREL_CGI_HTTP_RESPONSE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel {

// Header names and values, in the order they go out.
using HeaderLines = std::vector<std::pair<std::string, std::string>>;

struct HttpResponse {
  int32_t status = 200;
  HeaderLines headers;
  std::string body;
};

// The reason phrase of `status`: "See Other", "Not Found"; "Unknown" for a
// status the program never sends.
std::string_view ReasonPhrase(int32_t status);

// Whether the program writes its own status line: only when the script's
// name (the last segment of `script_name`) begins with "nph-", for which
// Apache passes the output unparsed. Every other way of running a CGI program
// parses its header lines and takes the status from a "Status:" line, and
// nginx with a FastCGI wrapper drops a status line.
bool WritesStatusLine(std::string_view script_name);

// "Name: value" lines, each ending in CR LF. Raises as HttpResponseText does.
std::string HeaderLinesText(const HeaderLines& headers);

// The status line (with `status_line`) or "Status:" line, the headers in
// their order, "Content-Length: `content_length`" (not for 204 and 304, whose
// 304 must not tell caches a length other than the 200's) and the
// empty line: the response up to its body. Raises as HttpResponseText does.
std::string HttpResponseHead(const HttpResponse& response, bool status_line,
                             uint64_t content_length);

// The response's bytes: "HTTP/1.0 NNN Reason" (with `status_line`) or
// "Status: NNN Reason", the headers in their order, "Content-Length" of the
// body (not for 204 and 304), an empty line, then the body unless `with_body` is
// false (a HEAD request, which gets the same headers). Lines end in CR LF.
// Raises an invalid-argument error for a header name or value holding CR,
// LF or a NUL byte, which would split the header.
std::string HttpResponseText(const HttpResponse& response, bool status_line, bool with_body);

}  // namespace ostrel

#endif  // OSTREL_CGI_HTTP_RESPONSE_H_
