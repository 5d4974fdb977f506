#include "iiif/pixel_grid.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

TEST(PixelGridTest, UnevenResolutionsStretchTheSparserAxisThenTheTagTurns) {
  const struct {
    PageDescription page;
    PixelSize grid;
  } cases[] = {
      // The fax keeps every column; its rows are stretched to 204 dpi.
      {{1728, 1123, 204, 98, true}, {1728, 2338}},
      {{1123, 1728, 98, 204, true}, {2338, 1728}},
      {{1728, 2246, 204, 196, true}, {1728, 2246}},  // a fine fax: even enough
      // The factor's boundary, as the converter draws it: 1.2 stretches.
      {{100, 100, 120, 100, true}, {100, 120}},
      {{100, 100, 119.9, 100, true}, {100, 100}},
      {{100, 100, 204, 98, false}, {100, 100}},  // no unit: nothing to compare
      {{100, 100, 0, 98, true}, {100, 100}},     // one resolution absent
      {{1, 1, 300, 100, true}, {1, 3}},
      {{3, 2, 100, 150, true}, {5, 2}},  // 4.5 rounds up
      {{1728, 1123, 204, 98, true, PageContent::kBilevel, 4}, {1728, 2338}},
      {{1728, 1123, 204, 98, true, PageContent::kBilevel, 5}, {2338, 1728}},
      {{1728, 1123, 204, 98, true, PageContent::kBilevel, 8}, {2338, 1728}},
      {{2147483647, 1, 0, 0, false}, {2147483647, 1}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IiifPixelGrid(c.page), c.grid)
        << c.page.width << " x " << c.page.height << " at " << c.page.x_resolution << " x "
        << c.page.y_resolution << ", orientation " << c.page.orientation;
  }
}

TEST(PixelGridTest, AGridBeyond31BitsIsRefused) {
  for (const PageDescription page : {PageDescription{2147483648, 1, 0, 0, false},
                                     PageDescription{1, 1073741824, 200, 100, true}}) {
    EXPECT_TRUE(testing::RaisedError([&] { IiifPixelGrid(page); }).Is(ErrorKind::kInvalidArgument));
  }
}

}  // namespace
}  // namespace ostrel
