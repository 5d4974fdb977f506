// The two writers through which every byte of the response leaves.
#include "cgi/error_page.h"
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

}  // namespace ostrel
