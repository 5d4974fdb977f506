#include "iiif/manifest.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/json_value.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

using testing::JsonValue;
using Strings = std::vector<std::string>;

constexpr char kId[] = "https://example.org/cgi-bin/ostrel/iiif/3/a%2Fb/manifest";

Manifest Document(std::vector<ManifestPage> pages) {
  return {kId, "b.tif", {4096, 4096, 8000000}, std::move(pages)};
}

JsonValue Parsed(const Manifest& manifest) {
  const std::string json = ManifestJson(manifest);
  const auto parsed = testing::ParseJson(json);
  EXPECT_TRUE(parsed.has_value()) << json;
  return parsed.value_or(JsonValue());
}

TEST(ManifestTest, EachPageIsACanvasPaintedByItsImageService) {
  const std::vector<ManifestPage> pages = {
      {"https://example.org/s;1", {830, 1123}, PageContent::kBilevel},
      {"https://example.org/s;2", {10000, 14000}, PageContent::kGray},
      {"https://example.org/s;3", {640, 480}, PageContent::kColor},
  };
  const struct {
    PixelSize image;
    const char* path;
    const char* media_type;
  } expected[] = {
      {{830, 1123}, "/full/830,1123/0/default.png", "image/png"},
      {{2390, 3346}, "/full/2390,3346/0/default.png", "image/png"},
      {{640, 480}, "/full/640,480/0/default.jpg", "image/jpeg"},
  };
  const JsonValue json = Parsed(Document(pages));
  EXPECT_EQ(json["@context"].string, "http://iiif.io/api/presentation/3/context.json");
  EXPECT_EQ(json["id"].string, kId);
  EXPECT_EQ(json["type"].string, "Manifest");
  EXPECT_EQ(json["behavior"].Strings(), Strings{"paged"});
  ASSERT_EQ(json["items"].items.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    const JsonValue& canvas = json["items"].items[i];
    const std::string canvas_id = std::string(kId) + "/canvas/" + std::to_string(i + 1);
    EXPECT_EQ(canvas["id"].string, canvas_id);
    EXPECT_EQ(canvas["type"].string, "Canvas");
    EXPECT_EQ(canvas["label"]["none"].Strings(), Strings{"Page " + std::to_string(i + 1)});
    EXPECT_EQ(canvas["width"].number, pages[i].size.width);
    EXPECT_EQ(canvas["height"].number, pages[i].size.height);
    ASSERT_EQ(canvas["items"].items.size(), 1u);
    EXPECT_EQ(canvas["items"].items[0]["type"].string, "AnnotationPage");
    ASSERT_EQ(canvas["items"].items[0]["items"].items.size(), 1u);
    const JsonValue& painting = canvas["items"].items[0]["items"].items[0];
    EXPECT_EQ(painting["type"].string, "Annotation");
    EXPECT_EQ(painting["motivation"].string, "painting");
    EXPECT_EQ(painting["target"].string, canvas_id);
    const JsonValue& body = painting["body"];
    EXPECT_EQ(body["id"].string, pages[i].service_id + expected[i].path);
    EXPECT_EQ(body["type"].string, "Image");
    EXPECT_EQ(body["format"].string, expected[i].media_type);
    EXPECT_EQ(body["width"].number, expected[i].image.width);
    EXPECT_EQ(body["height"].number, expected[i].image.height);
    ASSERT_EQ(body["service"].items.size(), 1u);
    EXPECT_EQ(body["service"].items[0]["id"].string, pages[i].service_id);
    EXPECT_EQ(body["service"].items[0]["type"].string, "ImageService3");
    EXPECT_EQ(body["service"].items[0]["profile"].string, "level2");
  }
}

TEST(ManifestTest, ASinglePageIsNotPaged) {
  const JsonValue json = Parsed(Document({{"https://example.org/s", {1, 1}, PageContent::kGray}}));
  EXPECT_EQ(json["items"].items.size(), 1u);
  EXPECT_EQ(json.Find("behavior"), nullptr);
}

TEST(ManifestTest, TheNameComesBackAsItWas) {
  for (const std::string& name : {std::string("plain.tif"), std::string("say \"hi\".tif"),
                                  std::string("C:\\scans\\a.tif"), std::string("tab\tnl\ncr\r\x01"),
                                  std::string("nul\0.tif", 8), std::string("\xc3\xa9t\xc3\xa9")}) {
    Manifest manifest = Document({{"https://example.org/s", {10, 10}, PageContent::kColor}});
    manifest.name = name;
    EXPECT_EQ(Parsed(manifest)["label"]["none"].Strings(), Strings{name});
  }
}

TEST(ManifestTest, RefusesWhatCannotBeDescribed) {
  const int32_t invalid = Error(ErrorKind::kInvalidArgument).number();
  const Manifest cases[] = {
      Document({}),
      {"", "b.tif", {4096, 4096, 8000000}, {{"https://example.org/s", {1, 1}, PageContent::kGray}}},
      Document({{"", {1, 1}, PageContent::kGray}}),
      Document({{"https://example.org/s", {1, 1}}, {"https://example.org/t", {1, 0}}}),
      {kId, "b.tif", {4096, 0, 8000000}, {{"https://example.org/s", {1, 1}, PageContent::kGray}}},
  };
  for (const Manifest& manifest : cases) {
    EXPECT_EQ(testing::RaisedError([&] { ManifestJson(manifest); }).number(), invalid)
        << manifest.pages.size();
  }
}

}  // namespace
}  // namespace ostrel
