#include "iiif/iiif_settings.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

TEST(IiifSettingsTest, EmptyKeysTakeTheirDefaultsAndGivenOnesTheirValues) {
  const IiifSettings defaults = ReadIiifSettings(ParseConfiguration(""));
  EXPECT_EQ(defaults.roots, "");
  EXPECT_EQ(defaults.limits.max_width, 10000);
  EXPECT_EQ(defaults.limits.max_height, 10000);
  EXPECT_EQ(defaults.limits.max_area, 16777216);
  EXPECT_EQ(defaults.tile_size, 512);
  const IiifSettings given = ReadIiifSettings(
      ParseConfiguration("[IIIF]\nRoot=/srv/a; /srv/b\nMaxWidth=1\nMaxHeight=2147483647\n"
                         "MaxArea=2147483647\nTileSize=1\n"));
  EXPECT_EQ(given.roots, "/srv/a; /srv/b");
  EXPECT_EQ(given.limits.max_width, 1);
  EXPECT_EQ(given.limits.max_height, 2147483647);
  EXPECT_EQ(given.limits.max_area, 2147483647);
  EXPECT_EQ(given.tile_size, 1);
}

TEST(IiifSettingsTest, TheAreaFollowsTheBoundOnAnImagesBytes) {
  const struct {
    const char* lines;
    int64_t max_area;
  } cases[] = {
      {"", 16777216},
      {"[Converter]\nMaxImageBytes=268435456\n", 16777216},
      // Lowered to the largest area whose every image fits.
      {"[Converter]\nMaxImageBytes=16000000\n",
       LimitsWithinImageBytes(kDefaultImageLimits, 16000000).max_area},
      {"[Converter]\nMaxImageBytes=16000000\n[IIIF]\nMaxArea=1000000\n", 1000000},
  };
  for (const auto& c : cases) {
    const IiifSettings settings = ReadIiifSettings(ParseConfiguration(c.lines));
    EXPECT_EQ(settings.limits.max_area, c.max_area) << c.lines;
    EXPECT_EQ(settings.limits.max_width, 10000) << c.lines;
    EXPECT_LE(MostImageBytes(settings.limits.max_area, settings.limits), 268435456) << c.lines;
  }
  EXPECT_LT(
      ReadIiifSettings(ParseConfiguration("[Converter]\nMaxImageBytes=16000000\n")).limits.max_area,
      4000000);
  // A tile no longer within the lowered area, and a bound too small for any
  // image, are refused, naming the reason.
  for (const char* lines : {"[Converter]\nMaxImageBytes=1000000\n",
                            "[Converter]\nMaxImageBytes=100\n[IIIF]\nTileSize=1\n"}) {
    const Error error = testing::RaisedError([&] { ReadIiifSettings(ParseConfiguration(lines)); });
    EXPECT_TRUE(error.Is(ErrorKind::kInvalidArgument)) << lines;
    EXPECT_NE(error.description().find("by MaxImageBytes"), std::string::npos)
        << error.description();
  }
}

TEST(IiifSettingsTest, ANumberOutOfRangeOrATileBeyondTheLimitsIsRefused) {
  for (const std::string& line : std::vector<std::string>{
           "MaxWidth=0", "MaxHeight=-1", "MaxArea=2147483648", "TileSize=+512", "TileSize=512 px",
           "MaxWidth=1e4", "MaxWidth=0x10", "TileSize=10001", "MaxArea=262143"}) {
    EXPECT_TRUE(testing::RaisedError([&] {
                  ReadIiifSettings(ParseConfiguration("[IIIF]\n" + line + "\n"));
                }).Is(ErrorKind::kInvalidArgument))
        << line;
  }
}

}  // namespace
}  // namespace ostrel
