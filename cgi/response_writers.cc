// The writers through which every byte of the response leaves.
#include "cgi/error_page.h"
#include "cgi/http_response.h"
#include "cgi/ostrel_class.h"

namespace ostrel {

// Write failures (a client that has gone) are deliberately not looked at:
// the request carries on as if the bytes had gone out.
void OstrelClass::SendRaw(std::string text) { (void)WriteAll(context_.StdOutHandle, text); }

void OstrelClass::SendHtml(std::string text) {
  if (!context_.HtmlHeaderSent) {
    (void)WriteAll(context_.StdOutHandle, kHtmlResponseHeader);
    context_.HtmlHeaderSent = true;
  }
  (void)WriteAll(context_.StdOutHandle, text);
}

void OstrelClass::SendHttpResponse(const HttpResponse& response, bool with_body) {
  SendRaw(HttpResponseText(response, WritesStatusLine(context_.SCRIPT_NAME), with_body));
}

}  // namespace ostrel
