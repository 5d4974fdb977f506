#include "cgi/request_context.h"

#include "cgi/ostrel_class.h"
#include "helpers/number_conversion.h"
#include "platform/environment.h"

namespace ostrel {

const std::array<CgiVariable, 20> kCgiVariables = {{
    {"HTTP_ACCEPT", &RequestContext::HTTP_ACCEPT},
    {"AUTH_TYPE", &RequestContext::AUTH_TYPE},
    {"CONTENT_LENGTH", &RequestContext::CONTENT_LENGTH},
    {"CONTENT_TYPE", &RequestContext::CONTENT_TYPE},
    {"GATEWAY_INTERFACE", &RequestContext::GATEWAY_INTERFACE},
    {"PATH_INFO", &RequestContext::PATH_INFO},
    {"PATH_TRANSLATED", &RequestContext::PATH_TRANSLATED},
    {"QUERY_STRING", &RequestContext::QUERY_STRING},
    {"HTTP_REFERER", &RequestContext::HTTP_REFERER},
    {"REMOTE_ADDR", &RequestContext::REMOTE_ADDR},
    {"REMOTE_HOST", &RequestContext::REMOTE_HOST},
    {"REMOTE_IDENT", &RequestContext::REMOTE_IDENT},
    {"REMOTE_USER", &RequestContext::REMOTE_USER},
    {"REQUEST_METHOD", &RequestContext::REQUEST_METHOD},
    {"SCRIPT_NAME", &RequestContext::SCRIPT_NAME},
    {"SERVER_SOFTWARE", &RequestContext::SERVER_SOFTWARE},
    {"SERVER_NAME", &RequestContext::SERVER_NAME},
    {"SERVER_PORT", &RequestContext::SERVER_PORT},
    {"SERVER_PROTOCOL", &RequestContext::SERVER_PROTOCOL},
    {"HTTP_USER_AGENT", &RequestContext::HTTP_USER_AGENT},
}};

const std::array<CgiVariable, 6> kServiceCgiVariables = {{
    {"REQUEST_URI", &RequestContext::REQUEST_URI},
    {"HTTPS", &RequestContext::HTTPS},
    {"HTTP_HOST", &RequestContext::HTTP_HOST},
    {"HTTP_ACCESS_CONTROL_REQUEST_HEADERS", &RequestContext::HTTP_ACCESS_CONTROL_REQUEST_HEADERS},
    {"HTTP_IF_NONE_MATCH", &RequestContext::HTTP_IF_NONE_MATCH},
    {"HTTP_IF_MODIFIED_SINCE", &RequestContext::HTTP_IF_MODIFIED_SINCE},
}};

const char kAdminAddress[] = OSTREL_ADMIN_ADDRESS;

int32_t ContentLengthFromText(std::string_view text) { return RoundToInt32(LeadingNumber(text)); }

void OstrelClass::CaptureRequest() {
  context_.StdInHandle = StandardInputHandle();
  context_.StdOutHandle = StandardOutputHandle();
  context_.AdminAddress = kAdminAddress;
  for (const CgiVariable& variable : kCgiVariables) {
    context_.*variable.field = GetEnvironmentVariable(variable.name);
  }
  for (const CgiVariable& variable : kServiceCgiVariables) {
    context_.*variable.field = GetEnvironmentVariable(variable.name);
  }
  context_.ContentLength = ContentLengthFromText(context_.CONTENT_LENGTH);
  context_.Pairs.Reset();
}

const Configuration& OstrelClass::RequestConfiguration() {
  if (!configuration_) {
    configuration_ = ReadConfiguration();
  }
  return *configuration_;
}

}  // namespace ostrel
