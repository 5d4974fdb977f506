// Fuzz target: the form input parser and the parameter lookup. The input is
// a query string and a POST body, separated by the first NUL byte. Parsing
// either succeeds, growing the pair table by one slot for every "=", or is
// refused with an Error; the lookups never fail, whatever the table holds.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cgi/ostrel_class.h"
#include "platform/error.h"
#include "tests/support/ostrel_class_peer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = std::min(input.find('\0'), input.size());
  const std::string_view query = input.substr(0, split);
  const std::string_view body = input.substr(std::min(split + 1, input.size()));

  ostrel::OstrelClass instance;
  ostrel::OstrelClassPeer peer(instance);
  // Standard output stays closed (-1): the error page of a failed lookup
  // goes nowhere.
  peer.context().Pairs.Reset();
  try {
    peer.ParseNameValuePairs(std::string(body));
    peer.ParseNameValuePairs(std::string(query));
  } catch (const ostrel::Error&) {  // a malformed escape refuses the whole input
    return 0;
  }
  const size_t expected_slots =
      1 + static_cast<size_t>(std::count(body.begin(), body.end(), '=') +
                              std::count(query.begin(), query.end(), '='));
  if (peer.context().Pairs.size() != expected_slots) {
    std::abort();
  }
  (void)peer.GetCgiValue("FN");
  (void)peer.GetCgiValue("Path");
  return 0;
}
