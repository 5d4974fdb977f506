#include "converter/color_quantizer.h"

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "converter/palette.h"
#include "converter/rgb.h"

namespace ostrel {
namespace {

int Distance(const Rgb& a, const Rgb& b) {
  return std::max(
      {std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)});
}

TEST(QuantizeColorsTest, KeepsFewColorsAndFindsClusters) {
  const Palette centres = {{10, 20, 30}, {250, 10, 10}, {12, 200, 40}, {128, 128, 128},
                           {0, 0, 255},  {255, 255, 0}, {90, 40, 200}, {200, 160, 120}};
  ColorHistogram exact;
  ColorHistogram clusters;
  std::mt19937 random(1);
  for (const Rgb& centre : centres) {
    exact.Add(centre.red, centre.green, centre.blue, 1000);
    for (int i = 0; i < 500; ++i) {
      const auto near = [&](uint8_t value) {
        return static_cast<uint8_t>(std::clamp(value + static_cast<int>(random() % 5) - 2, 0, 255));
      };
      clusters.Add(near(centre.red), near(centre.green), near(centre.blue), 1);
    }
  }
  for (const int max_colors : {8, 256}) {
    Palette got = QuantizeColors(exact, max_colors);
    std::sort(got.begin(), got.end(), [](Rgb a, Rgb b) {
      return a.red * 65536 + a.green * 256 + a.blue < b.red * 65536 + b.green * 256 + b.blue;
    });
    Palette want = centres;
    std::sort(want.begin(), want.end(), [](Rgb a, Rgb b) {
      return a.red * 65536 + a.green * 256 + a.blue < b.red * 65536 + b.green * 256 + b.blue;
    });
    EXPECT_EQ(got, want) << max_colors;
  }
  const Palette found = QuantizeColors(clusters, 8);
  ASSERT_EQ(found.size(), 8u);
  for (const Rgb& centre : centres) {
    EXPECT_TRUE(std::any_of(found.begin(), found.end(),
                            [&](const Rgb& color) { return Distance(color, centre) <= 1; }))
        << int{centre.red} << "," << int{centre.green} << "," << int{centre.blue};
  }
}

TEST(QuantizeColorsTest, EdgeCases) {
  EXPECT_TRUE(QuantizeColors(ColorHistogram(), 256).empty());
  ColorHistogram histogram;
  histogram.Add(0, 0, 0, 3);
  histogram.Add(255, 255, 255, 1);
  EXPECT_EQ(QuantizeColors(histogram, 1), (Palette{{64, 64, 64}}));  // the mean
  ColorHistogram one_cell;  // two colours in one cell of the histogram
  one_cell.Add(0, 0, 0, 1);
  one_cell.Add(1, 1, 1, 1);
  EXPECT_EQ(QuantizeColors(one_cell, 256).size(), 1u);
}

}  // namespace
}  // namespace ostrel
