// The request's form input: the POST body and the query string decoded into
// the pair table, and lookups in it.
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "cgi/ostrel_class.h"
#include "helpers/configuration.h"
#include "helpers/number_conversion.h"
#include "helpers/percent_decode.h"
#include "helpers/upper_case.h"
#include "platform/error.h"
#include "platform/standard_io.h"

namespace ostrel {
namespace {

// The largest body read unless the configuration's MaxRequestBody says
// otherwise: far beyond any form naming an image, far below what a process
// per request may cost.
constexpr int32_t kDefaultMaxRequestBody = 1 << 20;

// How long the whole body may take to arrive.
constexpr std::chrono::seconds kBodyTimeLimit{30};

// MaxRequestBody from the configuration, in bytes, or the default. Raises a
// type-mismatch error for a value that is no number and an invalid-argument
// error for a negative one.
int32_t MaxRequestBody(const Configuration& configuration) {
  const std::string& value = configuration.max_request_body;
  if (value.empty()) {
    return kDefaultMaxRequestBody;
  }
  const int32_t limit = TextToInt32(value);
  if (limit < 0) {
    throw Error(ErrorKind::kInvalidArgument, "MaxRequestBody is negative");
  }
  return limit;
}

// `content_length`, raising an invalid-argument error when it is negative.
int32_t CheckedContentLength(int32_t content_length) {
  if (content_length < 0) {
    throw Error(ErrorKind::kInvalidArgument, "CONTENT_LENGTH is negative");
  }
  return content_length;
}

// Refuses a body announced larger than `limit` before reading any of it,
// then reads until `content_length` bytes have arrived or the input ends, so
// that a body reaching the pipe in pieces arrives whole; a shorter body is
// taken as it is. The bytes land in the text that is returned: the body is
// held once.
std::string ReadPostBody(FileHandle input, int32_t content_length, int32_t limit) {
  if (content_length > limit) {
    throw Error(ErrorKind::kInvalidArgument, "a request body of " + std::to_string(content_length) +
                                                 " bytes is over the limit of " +
                                                 std::to_string(limit) + " bytes");
  }
  std::string body(static_cast<size_t>(content_length), '\0');
  body.resize(ReadUpTo(input, body.data(), body.size(), kBodyTimeLimit));
  return body;
}

}  // namespace

void OstrelClass::ReadFormInput() {
  if (context_.REQUEST_METHOD == "POST") {
    const int32_t content_length = CheckedContentLength(context_.ContentLength);
    context_.PostBody =
        ReadPostBody(context_.StdInHandle, content_length, MaxRequestBody(RequestConfiguration()));
    if (UpperCase(context_.CONTENT_TYPE).find("WWW-FORM-URLENCODED") != std::string::npos) {
      ParseNameValuePairs(context_.PostBody);
    }
  }
  ParseNameValuePairs(context_.QUERY_STRING);
}

// The table grows by one slot for every "=" in `text`. The text is split on
// its raw "=" and "&" first and each part decoded afterwards, so an encoded
// "=" or "&" never splits anything. A value runs to the next "&", "=" signs
// included; the slots that such values leave over stay empty. Pairs beyond
// the slots the table holds are still decoded, so that a malformed escape
// anywhere is refused.
void OstrelClass::ParseNameValuePairs(std::string_view text) {
  size_t count = 0;
  for (const char character : text) {
    count += character == '=' ? 1 : 0;
  }
  if (count == 0) {
    return;
  }
  const size_t first_new = context_.Pairs.size();
  context_.Pairs.Grow(count);
  size_t start = 0;
  for (size_t slot = first_new; slot < context_.Pairs.size(); ++slot) {
    const size_t equals = text.find('=', start);
    if (equals == std::string_view::npos) {
      break;
    }
    size_t ampersand = text.find('&', equals);
    if (ampersand == std::string_view::npos) {
      ampersand = text.size();
    }
    std::string name = PercentDecode(text.substr(start, equals - start));
    // The name stays filled in when its value then fails to decode.
    context_.Pairs.Fill(slot, {name, ""});
    std::string value = PercentDecode(text.substr(equals + 1, ampersand - equals - 1));
    context_.Pairs.Fill(slot, {std::move(name), std::move(value)});
    start = ampersand + 1;
  }
}

// Walks the table with a signed 16-bit index: a table with more than 32,767
// slots after slot 0 is reported as an overflow and gives empty text, and
// one with exactly 32,767 is searched whole before the index overflows.
std::string OstrelClass::GetCgiValue(std::string cgi_name) {
  std::string result;
  try {
    const size_t upper_bound = context_.Pairs.size() - 1;
    if (upper_bound > INT16_MAX) {
      throw Error(ErrorKind::kOverflow);
    }
    const auto last = static_cast<int16_t>(upper_bound);
    const std::string wanted = UpperCase(cgi_name);
    for (int16_t index = 1; index <= last;) {
      const FormPair& pair = context_.Pairs[static_cast<size_t>(index)];
      if (UpperCase(pair.Name) == wanted) {
        // The join tests what was gathered, not the slot: values "" and "b"
        // give "b", values "a" and "" give "a;".
        if (result.empty()) {
          result = pair.Value;
        } else {
          result.append(";").append(pair.Value);
        }
      }
      if (index == INT16_MAX) {
        throw Error(ErrorKind::kOverflow);
      }
      ++index;
    }
  } catch (...) {  // a failed lookup is reported here and answers what it gathered
    SendErrorPage("GetCgiValue: cgiName = " + cgi_name + ", " + ReportTail(CurrentError()));
  }
  return result;
}

}  // namespace ostrel
