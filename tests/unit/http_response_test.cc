#include "cgi/http_response.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

TEST(HttpResponseTest, OnlyAnNphScriptWritesItsOwnStatusLine) {
  const struct {
    const char* script_name;
    bool status_line;
  } cases[] = {
      {"", false},
      {"/cgi-bin/ostrel", false},
      {"/cgi-bin/nph-ostrel", true},
      {"nph-ostrel", true},
      {"/nph-dir/ostrel", false},
      {"/cgi-bin/NPH-ostrel", false},
      {"/cgi-bin/nph", false},
      {"/cgi-bin/nph-", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WritesStatusLine(c.script_name), c.status_line) << c.script_name;
  }
}

TEST(HttpResponseTest, TheStatusComesFirstInTheFormAskedThenHeadersLengthAndBody) {
  const HttpResponse found{404, {{"A", "1"}, {"B", "two words"}}, "gone\n"};
  EXPECT_EQ(HttpResponseText(found, false, true),
            "Status: 404 Not Found\r\nA: 1\r\nB: two words\r\nContent-Length: 5\r\n\r\ngone\n");
  EXPECT_EQ(HttpResponseText(found, true, true),
            "HTTP/1.0 404 Not Found\r\nA: 1\r\nB: two words\r\nContent-Length: 5\r\n\r\ngone\n");
  // HEAD: the same header, the length of the body it does not get.
  EXPECT_EQ(HttpResponseText(found, false, false),
            "Status: 404 Not Found\r\nA: 1\r\nB: two words\r\nContent-Length: 5\r\n\r\n");
  EXPECT_EQ(HttpResponseText({204, {}, ""}, false, true), "Status: 204 No Content\r\n\r\n");
  // A 304 tells no length: a cache would take it for the stored response's.
  EXPECT_EQ(HttpResponseText({304, {{"ETag", "\"1\""}}, ""}, false, true),
            "Status: 304 Not Modified\r\nETag: \"1\"\r\n\r\n");
  EXPECT_EQ(HttpResponseText({303, {}, ""}, true, true),
            "HTTP/1.0 303 See Other\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(HttpResponseText({503, {{"Retry-After", "10"}}, ""}, true, true),
            "HTTP/1.0 503 Service Unavailable\r\nRetry-After: 10\r\nContent-Length: 0\r\n\r\n");
}

TEST(HttpResponseTest, AHeaderThatWouldSplitIsRefused) {
  for (const std::string& bad :
       std::vector<std::string>{"a\r\nSet-Cookie: x", "a\nb", "a\rb", std::string("a\0b", 3)}) {
    EXPECT_TRUE(testing::RaisedError([&] {
                  HttpResponseText({200, {{"Location", bad}}, ""}, false, true);
                }).Is(ErrorKind::kInvalidArgument));
    EXPECT_TRUE(testing::RaisedError([&] {
                  HttpResponseText({200, {{bad, "x"}}, ""}, false, true);
                }).Is(ErrorKind::kInvalidArgument));
  }
}

}  // namespace
}  // namespace ostrel
