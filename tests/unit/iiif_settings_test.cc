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

TEST(IiifSettingsTest, TheAreaIsLoweredOnlyWhereMaxImageBytesRequires) {
  const struct {
    const char* lines;
    int64_t max_area;
  } cases[] = {
      {"[Converter]\nMaxImageBytes=268435456\n", 16777216},
      {"[Converter]\nMaxImageBytes=16000000\n", 1499392},
      {"[Converter]\nMaxImageBytes=16000000\n[IIIF]\nMaxArea=1000000\n", 1000000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadIiifSettings(ParseConfiguration(c.lines)).limits.max_area, c.max_area) << c.lines;
  }
  // A tile beyond the lowered area, and a bound too small for any image, are
  // refused, naming the reason.
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
