#include "iiif/iiif_path.h"

#include <string>

#include <gtest/gtest.h>

#include "iiif/refusal.h"
#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

TEST(IiifPathTest, SplitsVersionIdentifierAndResource) {
  const struct {
    std::string path;
    ApiVersion version;
    IiifResource resource;
    std::string base;
    std::string identifier;
    std::string parameters;  // region|size|rotation|quality|format
  } cases[] = {
      {"/iiif/3/a", ApiVersion::k3, IiifResource::kBase, "/iiif/3/a", "a", "||||"},
      {"/iiif/2/a/", ApiVersion::k2, IiifResource::kBase, "/iiif/2/a", "a", "||||"},
      {"/iiif/3/a?x=/1/2", ApiVersion::k3, IiifResource::kBase, "/iiif/3/a", "a", "||||"},
      {"/iiif/3/info.json", ApiVersion::k3, IiifResource::kBase, "/iiif/3/info.json", "info.json",
       "||||"},
      {"/iiif/2/a/info.json", ApiVersion::k2, IiifResource::kInfo, "/iiif/2/a", "a", "||||"},
      {"/iiif/3/%41%2f%2F/info.json", ApiVersion::k3, IiifResource::kInfo, "/iiif/3/%41%2f%2F",
       "A//", "||||"},
      {"/iiif/3/scans%2Fletter;2/manifest", ApiVersion::k3, IiifResource::kManifest,
       "/iiif/3/scans%2Fletter;2", "scans/letter;2", "||||"},
      {"/iiif/3/scans%2Fletter;2/full/max/0/default.png", ApiVersion::k3, IiifResource::kImage,
       "/iiif/3/scans%2Fletter;2", "scans/letter;2", "full|max|0|default|png"},
      {"/iiif/2/a+b%20c%25%00/0,0,1,1/full/!90/gray.jpg?q", ApiVersion::k2, IiifResource::kImage,
       "/iiif/2/a+b%20c%25%00", std::string("a+b c%\0", 7), "0,0,1,1|full|!90|gray|jpg"},
      // Parameters are decoded too; the format follows the last ".".
      {"/iiif/3/a/pct%3A1,2,3,4/%5E%21100,100/%2190/a.b.%67if", ApiVersion::k3,
       IiifResource::kImage, "/iiif/3/a", "a", "pct:1,2,3,4|^!100,100|!90|a.b|gif"},
      {"/iiif/3/a/x/y/z/.", ApiVersion::k3, IiifResource::kImage, "/iiif/3/a", "a", "x|y|z||"},
  };
  for (const auto& c : cases) {
    const IiifPath parsed = ParseIiifPath(c.path);
    const ImageParameters& p = parsed.parameters;
    EXPECT_EQ(parsed.version, c.version) << c.path;
    EXPECT_EQ(parsed.resource, c.resource) << c.path;
    EXPECT_EQ(parsed.base, c.base) << c.path;
    EXPECT_EQ(parsed.raw_identifier, c.base.substr(8)) << c.path;
    EXPECT_EQ(parsed.identifier, c.identifier) << c.path;
    EXPECT_EQ(p.region + "|" + p.size + "|" + p.rotation + "|" + p.quality + "|" + p.format,
              c.parameters)
        << c.path;
  }
}

TEST(IiifPathTest, MalformedPathsAreRefusedWith400) {
  for (const char* path : {
           "",
           "/",
           "/iiif",
           "/iiif/",
           "/iiif/3",
           "/iiif/3/",
           "/iiif/3//info.json",
           "/iiif/3?/a",
           "iiif/3/a",
           "/IIIF/3/a",
           "/iiif/4/a/info.json",
           "/iiif/03/a",
           "/iiif/3.0/a",
           "/iiif//3/a",
           "/iiif/3/a//",
           "/iiif/3/a/info.json/",
           "/iiif/3/a/info.JSON",
           "/iiif/3/a/manifest/",
           "/iiif/2/a/manifest",
           "/iiif/3/a/b/c",
           "/iiif/3/a/full/max/0",
           "/iiif/3/a/full/max/0/default",
           "/iiif/3/a/full/max/0/default.jpg/",
           "/iiif/3/a/full/max/0/default.jpg/x/y",
           "/iiif/3/a%/info.json",
           "/iiif/3/a%4/info.json",
           "/iiif/3/a%4g/info.json",
           "/iiif/3/%%41/info.json",
           "/iiif/3/a/full/max/0/default.jp%g",
       }) {
    const Error error = testing::RaisedError([&] { ParseIiifPath(path); });
    EXPECT_EQ(HttpStatusOf(error), 400) << path;
    EXPECT_EQ(error.number(), 10400) << path;
    EXPECT_FALSE(error.description().empty()) << path;
  }
  EXPECT_EQ(HttpStatusOf(Error(ErrorKind::kInvalidArgument)), 500);
}

}  // namespace
}  // namespace ostrel
