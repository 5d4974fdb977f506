// OstrelClass: the state and procedures of one request. Its members are
// defined in the folder of the subsystem they belong to.
#ifndef OSTREL_CGI_OSTREL_CLASS_H_
#define OSTREL_CGI_OSTREL_CLASS_H_

#include <optional>
#include <string>
#include <string_view>

#include "cgi/http_response.h"
#include "cgi/request_context.h"
#include "helpers/configuration.h"

namespace ostrel {

class OstrelClass {
 public:
  // Runs one request: captures it, reads its form input and converts. A
  // failure of a stage is answered with the error page; nothing escapes but
  // a failure of the error page's own caller.
  void ClassMain();

 private:
  friend class OstrelClassPeer;  // lets tests reach the private stages

  // cgi/request_context.cc
  void CaptureRequest();
  // The configuration, read on first use and kept for the rest of the
  // request. Raises as ReadConfiguration does, then again on the next use.
  const Configuration& RequestConfiguration();
  // cgi/form_input.cc
  void ReadFormInput();
  void ParseNameValuePairs(std::string_view text);
  std::string GetCgiValue(std::string cgi_name);
  // cgi/response_writers.cc
  void SendRaw(std::string text);
  void SendHtml(std::string text);
  // The whole response in one write, its status in the form the server
  // takes (see WritesStatusLine); without the body for a HEAD request.
  void SendHttpResponse(const HttpResponse& response, bool with_body);
  // cgi/error_page.cc
  void SendErrorPage(std::string message);
  // conversion/conversion_handler.cc
  void CGI_Main();
  // iiif/iiif_handler.cc
  // Answers a request of the IIIF service, whose path starts "/iiif/", with
  // its image, document, a redirect or an error status; a failure that escapes
  // (the converter's, say) is logged and answered with status 500.
  void ServeIiif();
  // conversion/gif_response.cc
  void SendGifFile(std::string file_name, std::string fn);
  // A PNG or JPEG (or GIF) image: as SendGifFile, with `content_type` and
  // `headers` after it.
  void SendPictureFile(std::string file_name, std::string content_type,
                       const HeaderLines& headers = {});
  // The file's description; `headers` replace its "Cache-Control: no-cache".
  void SendJsonFile(std::string file_name, const HeaderLines& headers = {});
  // `head` (its body unused) with the file's length, then unless
  // `with_body` is false the file's bytes; the file's name is removed once
  // it is open.
  void SendHttpFile(const HttpResponse& head, std::string file_name, bool with_body);

  RequestContext context_;
  std::optional<Configuration> configuration_;
};

}  // namespace ostrel

#endif  // OSTREL_CGI_OSTREL_CLASS_H_
