#include "cgi/ostrel_class.h"
#include "platform/error.h"

namespace ostrel {

void OstrelClass::ClassMain() {
  try {
    CaptureRequest();
    ReadFormInput();
    CGI_Main();
  } catch (...) {  // the driver's handler: a failed stage ends the request with the error page
    SendErrorPage(ReportTail(CurrentError()));
  }
}

}  // namespace ostrel
