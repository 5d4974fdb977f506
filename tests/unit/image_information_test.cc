#include "iiif/image_information.h"

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

constexpr ImageApiVersion kVersions[] = {ImageApiVersion::k2_1, ImageApiVersion::k3_0};

ImageInformation ThreePageFax() {
  ImageInformation info;
  info.id = "https://example.org/cgi-bin/ostrel/iiif/3/fax%2Fin;2";
  info.page = {1728, 2246};
  info.extra_widths = {240, 900, 2000};
  info.limits = {4096, 4096, 8000000};
  info.page_count = 3;
  info.manifest_id = "https://example.org/cgi-bin/ostrel/iiif/3/fax%2Fin/manifest";
  info.document_name = "in.tif";
  return info;
}

JsonValue Parsed(const ImageInformation& info, ImageApiVersion version) {
  const std::string json = ImageInformationJson(info, version);
  const auto parsed = testing::ParseJson(json);
  EXPECT_TRUE(parsed.has_value()) << json;
  return parsed.value_or(JsonValue());
}

TEST(ImageInformationTest, EachVersionHasItsContextIdProfileAndFeatures) {
  const ImageInformation info = ThreePageFax();
  const JsonValue v3 = Parsed(info, ImageApiVersion::k3_0);
  EXPECT_EQ(v3.members.front().first, "@context");
  EXPECT_EQ(v3["@context"].string, "http://iiif.io/api/image/3/context.json");
  EXPECT_EQ(v3["id"].string, info.id);
  EXPECT_EQ(v3["type"].string, "ImageService3");
  EXPECT_EQ(v3["protocol"].string, "http://iiif.io/api/image");
  EXPECT_EQ(v3["profile"].string, "level2");
  EXPECT_EQ(v3["maxArea"].number, 8000000);
  EXPECT_EQ(v3["extraFeatures"].Strings(), (Strings{"mirroring", "profileLinkHeader"}));

  const JsonValue v2 = Parsed(info, ImageApiVersion::k2_1);
  EXPECT_EQ(v2.members.front().first, "@context");
  EXPECT_EQ(v2["@context"].string, "http://iiif.io/api/image/2/context.json");
  EXPECT_EQ(v2["@id"].string, info.id);
  EXPECT_EQ(v2.Find("id"), nullptr);
  ASSERT_EQ(v2["profile"].items.size(), 2u);
  EXPECT_EQ(v2["profile"].items[0].string, "http://iiif.io/api/image/2/level2.json");
  const JsonValue& profile = v2["profile"].items[1];
  EXPECT_EQ(profile["supports"].Strings(),
            (Strings{"regionSquare", "mirroring", "profileLinkHeader"}));
  EXPECT_EQ(profile["maxWidth"].number, 4096);
  EXPECT_EQ(v2.Find("maxWidth"), nullptr);
}

TEST(ImageInformationTest, SizesAndTilesLieWithinThePageAndTheLimits) {
  const struct {
    PixelSize page;
    ImageLimits limits;
    std::vector<int32_t> extra_widths;
  } cases[] = {
      {{1, 1}, {512, 512, 262144}, {240}},
      {{830, 1123}, {4096, 4096, 16777216}, {240, 800, 900}},
      {{10000, 14000}, {4096, 4096, 8000000}, {240, 5000}},
      {{65535, 1}, {1024, 1024, 1048576}, {}},
  };
  for (const ImageApiVersion version : kVersions) {
    for (const auto& c : cases) {
      ImageInformation info = ThreePageFax();
      info.page = c.page;
      info.limits = c.limits;
      info.extra_widths = c.extra_widths;
      const JsonValue json = Parsed(info, version);
      EXPECT_EQ(json["width"].number, c.page.width);
      EXPECT_EQ(json["height"].number, c.page.height);
      ASSERT_FALSE(json["sizes"].items.empty());
      double previous_width = 0;
      for (const JsonValue& size : json["sizes"].items) {
        const double width = size["width"].number;
        const double height = size["height"].number;
        EXPECT_GT(width, previous_width);
        EXPECT_TRUE(width <= c.page.width && height <= c.page.height && height >= 1);
        EXPECT_TRUE(width <= c.limits.max_width && height <= c.limits.max_height &&
                    width * height <= c.limits.max_area);
        previous_width = width;
      }
      ASSERT_EQ(json["tiles"].items.size(), 1u);
      const JsonValue& tiles = json["tiles"].items[0];
      EXPECT_EQ(tiles["width"].number, 512);
      const double last_factor = tiles["scaleFactors"].items.back().number;
      EXPECT_LE(c.page.width, 512 * last_factor);
      EXPECT_LE(c.page.height, 512 * last_factor);
      EXPECT_TRUE(last_factor == 1 || c.page.width > 256 * last_factor ||
                  c.page.height > 256 * last_factor);
    }
  }
}

TEST(ImageInformationTest, OnlyAFileOfSeveralPagesLinksItsManifest) {
  for (const int32_t page_count : {1, 2}) {
    ImageInformation info = ThreePageFax();
    info.page_count = page_count;
    const JsonValue v3 = Parsed(info, ImageApiVersion::k3_0);
    const JsonValue v2 = Parsed(info, ImageApiVersion::k2_1);
    if (page_count == 1) {
      EXPECT_EQ(v3.Find("partOf"), nullptr);
      EXPECT_EQ(v2.Find("service"), nullptr);
      continue;
    }
    ASSERT_EQ(v3["partOf"].items.size(), 1u);
    EXPECT_EQ(v3["partOf"].items[0]["id"].string, info.manifest_id);
    EXPECT_EQ(v3["partOf"].items[0]["type"].string, "Manifest");
    EXPECT_EQ(v3["partOf"].items[0]["label"]["none"].Strings(), Strings{"in.tif"});
    ASSERT_EQ(v2["service"].items.size(), 1u);
    EXPECT_EQ(v2["service"].items[0]["@id"].string, info.manifest_id);
    EXPECT_EQ(v2["service"].items[0]["@context"].string,
              "http://iiif.io/api/presentation/3/context.json");
  }
}

TEST(ImageInformationTest, PrefersPngForDocumentPagesAndJpegForColour) {
  const struct {
    const char* kind;
    const char* format;
  } cases[] = {{"bilevel", "png"}, {"gray", "png"}, {"palette", "png"}, {"color", "jpg"}};
  for (const auto& c : cases) {
    ImageInformation info = ThreePageFax();
    info.kind = PageContentNamed(c.kind);
    EXPECT_EQ(Parsed(info, ImageApiVersion::k3_0)["preferredFormats"].Strings(), Strings{c.format});
  }
  for (const char* name : {"", "Color", "rgb"}) {
    EXPECT_EQ(testing::RaisedError([&] { PageContentNamed(name); }).number(),
              Error(ErrorKind::kInvalidArgument).number())
        << name;
  }
}

TEST(ImageInformationTest, RefusesWhatCannotBeDescribed) {
  const int32_t invalid = Error(ErrorKind::kInvalidArgument).number();
  const struct {
    const char* what;
    void (*spoil)(ImageInformation&);
  } cases[] = {
      {"no id", [](ImageInformation& info) { info.id.clear(); }},
      {"no width", [](ImageInformation& info) { info.page.width = 0; }},
      {"negative height", [](ImageInformation& info) { info.page.height = -1; }},
      {"no area", [](ImageInformation& info) { info.limits.max_area = 0; }},
      {"tile wider", [](ImageInformation& info) { info.limits.max_width = 511; }},
      {"tile larger", [](ImageInformation& info) { info.limits.max_area = 262143; }},
      {"no tile", [](ImageInformation& info) { info.tile_size = 0; }},
      {"no manifest", [](ImageInformation& info) { info.manifest_id.clear(); }},
  };
  for (const auto& c : cases) {
    ImageInformation info = ThreePageFax();
    c.spoil(info);
    for (const ImageApiVersion version : kVersions) {
      EXPECT_EQ(testing::RaisedError([&] { ImageInformationJson(info, version); }).number(),
                invalid)
          << c.what;
    }
  }
}

}  // namespace
}  // namespace ostrel
