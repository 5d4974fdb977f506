#include "iiif/request_location.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

RequestContext Context(std::string uri, std::string script, std::string path_info, std::string host,
                       std::string https = "") {
  RequestContext context;
  context.REQUEST_URI = std::move(uri);
  context.SCRIPT_NAME = std::move(script);
  context.PATH_INFO = std::move(path_info);
  context.HTTP_HOST = std::move(host);
  context.HTTPS = std::move(https);
  context.SERVER_NAME = "server";
  context.SERVER_PORT = "8080";
  return context;
}

TEST(RequestLocationTest, TheRawPathFollowsTheScriptsNameInTheRequestUri) {
  const struct {
    RequestContext context;
    const char* script_url;
    const char* path;
  } cases[] = {
      {Context("/cgi-bin/ostrel/iiif/3/a%2Fb/info.json", "/cgi-bin/ostrel", "/iiif/3/a/b/info.json",
               "example.org"),
       "http://example.org/cgi-bin/ostrel", "/iiif/3/a%2Fb/info.json"},
      {Context("/cgi-bin/nph-ostrel/iiif/2/a/info.json?x=/y", "/cgi-bin/nph-ostrel", "", "h:81",
               "on"),
       "https://h:81/cgi-bin/nph-ostrel", "/iiif/2/a/info.json"},
      {Context("/o/iiif/3/a", "/o", "", "[::1]:80", "ON"), "https://[::1]:80/o", "/iiif/3/a"},
      {Context("/o/iiif/3/a", "/o", "", "h", "off"), "http://h/o", "/iiif/3/a"},
      // Without REQUEST_URI, PATH_INFO; without a Host header, the server's name and port.
      {Context("", "/o", "/iiif/3/a/b", ""), "http://server:8080/o", "/iiif/3/a/b"},
  };
  for (const auto& c : cases) {
    const RequestLocation location = LocateRequest(c.context);
    EXPECT_EQ(location.script_url, c.script_url) << c.context.REQUEST_URI;
    EXPECT_EQ(location.path, c.path) << c.context.REQUEST_URI;
  }
}

TEST(RequestLocationTest, AUriOutsideTheScriptOrAStrangeHostIsABadRequest) {
  for (const RequestContext& context :
       {Context("/other/iiif/3/a", "/cgi-bin/ostrel", "/iiif/3/a", "h"),
        Context("/cgi-bin/ostre", "/cgi-bin/ostrel", "/iiif/3/a", "h"),
        Context("/o/iiif/3/a", "/o", "", "h/x"), Context("/o/iiif/3/a", "/o", "", "h\"x"),
        Context("/o/iiif/3/a", "/o", "", "h x"), Context("/o/iiif/3/a", "/o", "", "h@evil")}) {
    EXPECT_EQ(testing::RaisedError([&] { LocateRequest(context); }).number(), 10400)
        << context.REQUEST_URI << " " << context.HTTP_HOST;
  }
}

TEST(RequestLocationTest, OnlyAPathUnderIiifGoesToTheService) {
  EXPECT_TRUE(IsIiifRequest("/iiif/"));
  EXPECT_TRUE(IsIiifRequest("/iiif/3/a/info.json"));
  for (const char* path : {"", "/", "/iiif", "/IIIF/3/a", "iiif/3/a", "/x/iiif/3/a"}) {
    EXPECT_FALSE(IsIiifRequest(path)) << path;
  }
}

}  // namespace
}  // namespace ostrel
