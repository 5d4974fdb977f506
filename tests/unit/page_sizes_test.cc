#include "iiif/page_sizes.h"

#include <vector>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

constexpr ImageLimits kNoLimits = {1 << 30, 1 << 30, int64_t{1} << 60};

TEST(PageSizesTest, ScaleFactorsEndWhereTheWholePageFitsOneTile) {
  const struct {
    PixelSize page;
    int32_t tile_size;
    std::vector<int64_t> factors;
  } cases[] = {
      {{1, 1}, 512, {1}},
      {{512, 512}, 512, {1}},
      {{513, 1}, 512, {1, 2}},
      {{1, 1025}, 512, {1, 2, 4}},
      {{10000, 14000}, 512, {1, 2, 4, 8, 16, 32}},
      {{2147483647, 1}, 1073741824, {1, 2}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaleFactors(c.page, c.tile_size), c.factors) << c.page.width << "x" << c.page.height;
  }
  // The widest page with one-pixel tiles takes 31 halvings, past INT32_MAX.
  EXPECT_EQ(ScaleFactors({2147483647, 1}, 1).back(), int64_t{1} << 31);
}

TEST(PageSizesTest, ListsSizesWithinThePageAndLimitsAscendingOnePerWidth) {
  const struct {
    PixelSize page;
    std::vector<int32_t> extra_widths;
    ImageLimits limits;
    std::vector<PixelSize> sizes;
  } cases[] = {
      {{1, 1}, {}, kNoLimits, {{1, 1}}},
      {{1001, 600},
       {0, -3, 1002, 240, 240},
       kNoLimits,
       {{240, 144}, {251, 150}, {501, 300}, {1001, 600}}},
      {{1000, 3}, {1}, kNoLimits, {{1, 1}, {250, 1}, {500, 2}, {1000, 3}}},  // never 0 high
      {{1000, 800}, {500}, kNoLimits, {{250, 200}, {500, 400}, {1000, 800}}},
      {{4000, 2000},
       {3000},
       {2000, 2000, 4000000},
       {{250, 125}, {500, 250}, {1000, 500}, {2000, 1000}}},
      {{2000, 4000}, {900, 1000}, {4000, 1999, 1000000}, {{125, 250}, {250, 500}, {500, 1000}}},
  };
  for (const auto& c : cases) {
    const std::vector<int64_t> factors = ScaleFactors(c.page, 256);
    EXPECT_EQ(ListedSizes(c.page, factors, c.extra_widths, c.limits), c.sizes)
        << c.page.width << "x" << c.page.height;
  }
}

TEST(PageSizesTest, LargestWithinLimitsKeepsTheShape) {
  const struct {
    PixelSize page;
    ImageLimits limits;
    PixelSize largest;
  } cases[] = {
      {{1, 1}, {1, 1, 1}, {1, 1}},
      {{3000, 2000}, {3000, 2000, 6000000}, {3000, 2000}},
      {{3000, 2000}, {1000, 5000, 6000000}, {1000, 666}},
      {{3000, 2000}, {5000, 1000, 6000000}, {1500, 1000}},
      {{10000, 14000}, {20000, 20000, 4000000}, {1690, 2366}},
      {{100000, 1}, {1000, 1000, 1000000}, {1000, 1}},
      {{10, 10}, {1000, 1000, 2}, {1, 1}},
  };
  for (const auto& c : cases) {
    const PixelSize largest = LargestWithinLimits(c.page, c.limits);
    EXPECT_EQ(largest, c.largest) << c.page.width << "x" << c.page.height;
    EXPECT_TRUE(WithinLimits(largest, c.limits));
  }
}

}  // namespace
}  // namespace ostrel
