// The HTML response header and the internal-error page.
#ifndef OSTREL_CGI_ERROR_PAGE_H_
#define OSTREL_CGI_ERROR_PAGE_H_

#include <string>
#include <string_view>

namespace ostrel {

// Written once per run, in front of the first HTML text.
inline constexpr std::string_view kHtmlResponseHeader =
    "HTTP/1.0 200 OK\r\nContent-type: text/html\r\nCache-Control: no-cache\r\n\r\n";

// `text` with &, <, > and " replaced by their character references, so that
// a value from the request shows as text and never as markup.
std::string EscapeHtml(std::string_view text);

}  // namespace ostrel

#endif  // OSTREL_CGI_ERROR_PAGE_H_
