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
