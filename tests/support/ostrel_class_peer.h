// Gives tests the private stages of OstrelClass.
#ifndef OSTREL_TESTS_SUPPORT_OSTREL_CLASS_PEER_H_
#define OSTREL_TESTS_SUPPORT_OSTREL_CLASS_PEER_H_

#include <string>
#include <utility>

#include "cgi/ostrel_class.h"

namespace ostrel {

class OstrelClassPeer {
 public:
  explicit OstrelClassPeer(OstrelClass& instance) : instance_(instance) {}

  RequestContext& context() { return instance_.context_; }
  void CaptureRequest() { instance_.CaptureRequest(); }
  void ReadFormInput() { instance_.ReadFormInput(); }
  void ParseNameValuePairs(std::string text) { instance_.ParseNameValuePairs(text); }
  std::string GetCgiValue(std::string name) { return instance_.GetCgiValue(std::move(name)); }
  void SendRaw(std::string text) { instance_.SendRaw(std::move(text)); }
  void SendHtml(std::string text) { instance_.SendHtml(std::move(text)); }
  void SendErrorPage(std::string message) { instance_.SendErrorPage(std::move(message)); }
  void SendGifFile(std::string file_name, std::string fn) {
    instance_.SendGifFile(std::move(file_name), std::move(fn));
  }
  void SendPictureFile(std::string file_name, std::string content_type) {
    instance_.SendPictureFile(std::move(file_name), std::move(content_type));
  }

 private:
  OstrelClass& instance_;
};

}  // namespace ostrel

#endif  // OSTREL_TESTS_SUPPORT_OSTREL_CLASS_PEER_H_
