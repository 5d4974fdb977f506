// Gives tests the private stages of OstrelClass.
#ifndef OSTREL_TESTS_SUPPORT_OSTREL_CLASS_PEER_H_
#define OSTREL_TESTS_SUPPORT_OSTREL_CLASS_PEER_H_

#include <string>
#include <utility>

#include "shell/ostrel_class.h"

namespace ostrel {

class OstrelClassPeer {
 public:
  explicit OstrelClassPeer(OstrelClass& instance) : instance_(instance) {}

  RequestContext& context() { return instance_.context_; }
  void CaptureRequest() { instance_.CaptureRequest(); }
  void ReadFormInput() { instance_.ReadFormInput(); }
  void SendRaw(std::string text) { instance_.SendRaw(std::move(text)); }
  void SendHtml(std::string text) { instance_.SendHtml(std::move(text)); }
  void SendErrorPage(std::string message) { instance_.SendErrorPage(std::move(message)); }

 private:
  OstrelClass& instance_;
};

}  // namespace ostrel

#endif  // OSTREL_TESTS_SUPPORT_OSTREL_CLASS_PEER_H_
