#include "iiif/image_request.h"

#include <string>

#include <gtest/gtest.h>

#include "iiif/refusal.h"
#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

constexpr ApiVersion k2 = ApiVersion::k2;
constexpr ApiVersion k3 = ApiVersion::k3;

ImageParameters Parameters(std::string region, std::string size, std::string rotation = "0",
                           std::string quality = "default", std::string format = "jpg") {
  return {std::move(region), std::move(size), std::move(rotation), std::move(quality),
          std::move(format)};
}

TEST(ImageRequestTest, ReadsEachRegionForm) {
  const struct {
    std::string text;
    RegionForm form;
    double x, y, width, height;
  } cases[] = {
      {"full", RegionForm::kFull, 0, 0, 0, 0},
      {"square", RegionForm::kSquare, 0, 0, 0, 0},
      {"0,0,0,0", RegionForm::kPixels, 0, 0, 0, 0},
      {"125,15,120,140", RegionForm::kPixels, 125, 15, 120, 140},
      {"007,0,2147483647,1", RegionForm::kPixels, 7, 0, 2147483647, 1},
      {"pct:41.6,7.5,40,70", RegionForm::kPercent, 41.6, 7.5, 40, 70},
      {"pct:0.5,.5,5.,100.000", RegionForm::kPercent, 0.5, 0.5, 5, 100},
      {"pct:0,0,1000,0", RegionForm::kPercent, 0, 0, 1000, 0},
  };
  for (const auto& c : cases) {
    const RegionParameter region = ParseImageRequest(k3, Parameters(c.text, "max")).region;
    EXPECT_EQ(region.form, c.form) << c.text;
    EXPECT_DOUBLE_EQ(region.x, c.x) << c.text;
    EXPECT_DOUBLE_EQ(region.y, c.y) << c.text;
    EXPECT_DOUBLE_EQ(region.width, c.width) << c.text;
    EXPECT_DOUBLE_EQ(region.height, c.height) << c.text;
  }
}

TEST(ImageRequestTest, ReadsEachSizeFormOfItsVersion) {
  const struct {
    ApiVersion version;
    std::string text;
    SizeForm form;
    bool upscale;
    int64_t width, height;
    double percent;
  } cases[] = {
      {k3, "max", SizeForm::kMax, false, 0, 0, 0},
      {k3, "^max", SizeForm::kMax, true, 0, 0, 0},
      {k3, "150,", SizeForm::kWidth, false, 150, 0, 0},
      {k3, "^2147483647,", SizeForm::kWidth, true, 2147483647, 0, 0},
      {k3, ",0", SizeForm::kHeight, false, 0, 0, 0},
      {k3, "^,150", SizeForm::kHeight, true, 0, 150, 0},
      {k3, "pct:50", SizeForm::kPercent, false, 0, 0, 50},
      {k3, "^pct:120.5", SizeForm::kPercent, true, 0, 0, 120.5},
      {k3, "225,100", SizeForm::kExact, false, 225, 100, 0},
      {k3, "^360,360", SizeForm::kExact, true, 360, 360, 0},
      {k3, "!225,100", SizeForm::kConfined, false, 225, 100, 0},
      {k3, "^!360,360", SizeForm::kConfined, true, 360, 360, 0},
      {k2, "full", SizeForm::kFull, false, 0, 0, 0},
      {k2, "max", SizeForm::kMax, false, 0, 0, 0},
      {k2, "150,", SizeForm::kWidth, false, 150, 0, 0},
      {k2, "!1,2", SizeForm::kConfined, false, 1, 2, 0},
      {k2, "pct:0.25", SizeForm::kPercent, false, 0, 0, 0.25},
  };
  for (const auto& c : cases) {
    const SizeParameter size = ParseImageRequest(c.version, Parameters("full", c.text)).size;
    EXPECT_EQ(size.form, c.form) << c.text;
    EXPECT_EQ(size.upscale, c.upscale) << c.text;
    EXPECT_EQ(size.width, c.width) << c.text;
    EXPECT_EQ(size.height, c.height) << c.text;
    EXPECT_DOUBLE_EQ(size.percent, c.percent) << c.text;
  }
}

TEST(ImageRequestTest, ReadsRotationQualityAndFormat) {
  const struct {
    std::string rotation, quality, format;
    bool mirror;
    int32_t turn;
    ImageQuality parsed_quality;
    ImageFormat parsed_format;
  } cases[] = {
      {"0", "default", "jpg", false, 0, ImageQuality::kDefault, ImageFormat::kJpg},
      {"!0", "color", "png", true, 0, ImageQuality::kColor, ImageFormat::kPng},
      {"90.0", "gray", "gif", false, 90, ImageQuality::kGray, ImageFormat::kGif},
      {"!180", "bitonal", "jpg", true, 180, ImageQuality::kBitonal, ImageFormat::kJpg},
      {"0270", "default", "jpg", false, 270, ImageQuality::kDefault, ImageFormat::kJpg},
      {"360", "default", "jpg", false, 0, ImageQuality::kDefault, ImageFormat::kJpg},
      {"!360.", "default", "jpg", true, 0, ImageQuality::kDefault, ImageFormat::kJpg},
  };
  for (const auto& c : cases) {
    const ImageRequest request =
        ParseImageRequest(k2, Parameters("full", "full", c.rotation, c.quality, c.format));
    EXPECT_EQ(request.mirror, c.mirror) << c.rotation;
    EXPECT_EQ(request.turn, c.turn) << c.rotation;
    EXPECT_EQ(request.quality, c.parsed_quality) << c.quality;
    EXPECT_EQ(request.format, c.parsed_format) << c.format;
    EXPECT_EQ(NameOf(request.quality), c.quality);
    EXPECT_EQ(NameOf(request.format), c.format);
  }
}

TEST(ImageRequestTest, RefusesWrongSyntaxWith400AndOtherAnglesWith501) {
  const struct {
    ApiVersion version;
    ImageParameters parameters;
    int32_t status;
  } cases[] = {
      {k3, Parameters("", "max"), 400},
      {k3, Parameters("FULL", "max"), 400},
      {k3, Parameters("0,0,10", "max"), 400},
      {k3, Parameters("0,0,10,10,", "max"), 400},
      {k3, Parameters("-1,0,10,10", "max"), 400},
      {k3, Parameters("+1,0,10,10", "max"), 400},
      {k3, Parameters(" 1,0,10,10", "max"), 400},
      {k3, Parameters("1.5,0,10,10", "max"), 400},
      {k3, Parameters("0,0,2147483648,1", "max"), 400},
      {k3, Parameters("0,0,99999999999999999999999,1", "max"), 400},
      {k3, Parameters("pct:", "max"), 400},
      {k3, Parameters("pct:1,2,3", "max"), 400},
      {k3, Parameters("pct:-1,0,10,10", "max"), 400},
      {k3, Parameters("pct:1e2,0,10,10", "max"), 400},
      {k3, Parameters("pct:1..2,0,1,1", "max"), 400},
      {k3, Parameters("pct:.,0,1,1", "max"), 400},
      {k3, Parameters("pct:inf,0,1,1", "max"), 400},
      {k3, Parameters("pct:" + std::string(400, '9') + ",0,1,1", "max"), 400},
      {k3, Parameters("full", ""), 400},
      {k3, Parameters("full", "full"), 400},
      {k3, Parameters("full", "Max"), 400},
      {k3, Parameters("full", "^"), 400},
      {k3, Parameters("full", "^^max"), 400},
      {k3, Parameters("full", "!^1,1"), 400},
      {k3, Parameters("full", ","), 400},
      {k3, Parameters("full", "1,2,3"), 400},
      {k3, Parameters("full", "!100,"), 400},
      {k3, Parameters("full", "!,100"), 400},
      {k3, Parameters("full", "-1,"), 400},
      {k3, Parameters("full", "+1,"), 400},
      {k3, Parameters("full", "1.5,"), 400},
      {k3, Parameters("full", "2147483648,"), 400},
      {k3, Parameters("full", "pct:"), 400},
      {k3, Parameters("full", "pct:-5"), 400},
      {k2, Parameters("full", "^max"), 400},
      {k2, Parameters("full", "^100,"), 400},
      {k3, Parameters("full", "max", ""), 400},
      {k3, Parameters("full", "max", "!"), 400},
      {k3, Parameters("full", "max", "!!90"), 400},
      {k3, Parameters("full", "max", "-90"), 400},
      {k3, Parameters("full", "max", "+90"), 400},
      {k3, Parameters("full", "max", "90 "), 400},
      {k3, Parameters("full", "max", "1e2"), 400},
      {k3, Parameters("full", "max", "360.5"), 400},
      {k3, Parameters("full", "max", "450"), 400},
      {k3, Parameters("full", "max", "45"), 501},
      {k3, Parameters("full", "max", "!22.5"), 501},
      {k3, Parameters("full", "max", "359.9"), 501},
      {k2, Parameters("full", "full", "0.5"), 501},
      {k2, Parameters("full", "full", "0", "native"), 400},
      {k3, Parameters("full", "max", "0", "Default"), 400},
      {k3, Parameters("full", "max", "0", "grey"), 400},
      {k3, Parameters("full", "max", "0", ""), 400},
      {k3, Parameters("full", "max", "0", "default", ""), 400},
      {k3, Parameters("full", "max", "0", "default", "JPG"), 400},
      {k3, Parameters("full", "max", "0", "default", "jpeg"), 400},
      {k3, Parameters("full", "max", "0", "default", "tif"), 400},
      {k3, Parameters("full", "max", "0", "default", "webp"), 400},
      // The first wrong parameter in the path's order decides.
      {k3, Parameters("bad", "max", "45"), 400},
      {k3, Parameters("full", "max", "45", "bad", "bad"), 501},
  };
  for (const auto& c : cases) {
    const Error error = testing::RaisedError([&] { ParseImageRequest(c.version, c.parameters); });
    const ImageParameters& p = c.parameters;
    EXPECT_EQ(HttpStatusOf(error), c.status)
        << p.region << "/" << p.size << "/" << p.rotation << "/" << p.quality << "." << p.format;
  }
}

}  // namespace
}  // namespace ostrel
