#include "cgi/ostrel_class.h"
#include "iiif/request_location.h"
#include "platform/error.h"

namespace ostrel {

void OstrelClass::ClassMain() {
  try {
    CaptureRequest();
    // A IIIF request is a GET: it has no form input to read.
    if (IsIiifRequest(context_.PATH_INFO)) {
      ServeIiif();
      return;
    }
    ReadFormInput();
    CGI_Main();
  } catch (...) {  // the driver's handler: a failed stage ends the request with the error page
    SendErrorPage(ReportTail(CurrentError()));
  }
}

}  // namespace ostrel
