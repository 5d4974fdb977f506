#include "iiif/response_headers.h"

#include <string>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(ResponseHeadersTest, JsonLdOnlyWhenTheAcceptHeaderAsksForIt) {
  const struct {
    const char* accept;
    bool json_ld;
  } cases[] = {
      {"", false},
      {"*/*", false},
      {"application/json", false},
      {"application/ld+json", true},
      {"Application/LD+JSON", true},
      {"application/json, application/ld+json;q=0.9", true},
      {"application/ld+json;profile=\"http://iiif.io/api/image/3/context.json\"", true},
      {" application/ld+json ; q=1", true},
      {"application/ld+json;q=0", false},
      {"application/ld+json; Q=0.000", false},
      {"application/ld+json;q=0.01", true},
      {"application/ld+jsonx", false},
      {"text/html;x=application/ld+json", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AcceptsJsonLd(c.accept), c.json_ld) << c.accept;
  }
  EXPECT_EQ(JsonMediaType("http://c", "application/ld+json"),
            "application/ld+json;profile=\"http://c\"");
  EXPECT_EQ(JsonMediaType("http://c", "*/*"), "application/json");
}

TEST(ResponseHeadersTest, APreflightAllowsOnlyAListOfHeaderNames) {
  const std::string longest(1000, 'x');
  const struct {
    std::string requested;
    std::string allowed;
  } cases[] = {
      {"", ""},
      {"range", "range"},
      {"Authorization, X-Requested-With", "Authorization, X-Requested-With"},
      {longest, longest},
      {longest + "x", ""},
      {"a\r\nb", ""},
      {"a;b", ""},
      {"a:b", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AllowedRequestHeaders(c.requested), c.allowed) << c.requested;
  }
}

}  // namespace
}  // namespace ostrel
