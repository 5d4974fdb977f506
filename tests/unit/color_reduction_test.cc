#include "converter/color_reduction.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

// libtiff's packing: 0xAABBGGRR.
constexpr uint32_t Pixel(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) {
  return a << 24 | b << 16 | g << 8 | r;
}

std::vector<uint8_t> Map(ColorReduction& reduction, const std::vector<uint32_t>& row) {
  std::vector<uint8_t> indices(row.size());
  reduction.MapRow(row, indices);
  return indices;
}

TEST(ColorReductionTest, FewColorsStayExactAndLowAlphaIsTransparent) {
  // Alpha 200: libtiff premultiplies, so (102, 51, 0) arrives as (80, 40, 0).
  const std::vector<uint32_t> row = {Pixel(1, 2, 3), Pixel(0, 0, 0, 127), Pixel(80, 40, 0, 200),
                                     Pixel(1, 2, 3), Pixel(255, 0, 0, 0), Pixel(9, 9, 9)};
  ColorReduction reduction(4, true, 6);
  reduction.Survey(row);
  const IndexedPalette& palette = reduction.ChoosePalette();
  EXPECT_TRUE(reduction.exact());
  EXPECT_EQ(palette.colors, (Palette{{1, 2, 3}, {102, 51, 0}, {9, 9, 9}, {255, 255, 255}}));
  EXPECT_EQ(palette.transparent_index, 3);
  EXPECT_EQ(Map(reduction, row), (std::vector<uint8_t>{0, 3, 1, 0, 3, 2}));
}

TEST(ColorReductionTest, OneColorTooManyIsReducedAroundTheTransparentEntry) {
  const std::vector<uint32_t> row = {Pixel(0, 0, 0), Pixel(255, 255, 255), Pixel(250, 250, 250),
                                     Pixel(0, 0, 0, 0)};
  ColorReduction reduction(3, false, 4);
  reduction.Survey(row);
  const IndexedPalette& palette = reduction.ChoosePalette();
  EXPECT_FALSE(reduction.exact());
  EXPECT_EQ(palette.colors, (Palette{{0, 0, 0}, {253, 253, 253}, {255, 255, 255}}));
  EXPECT_EQ(palette.transparent_index, 2);
  EXPECT_EQ(Map(reduction, row), (std::vector<uint8_t>{0, 1, 1, 2}));
}

TEST(ColorReductionTest, PixelsCountedBeforeTheColorsOverflowWeighTheMeans) {
  // Gray 200 comes 1 + 3 times, gray 210 once: before and after the third
  // colour makes more than two.
  std::vector<uint32_t> row(100, Pixel(0, 0, 0));
  for (const uint32_t gray : {200, 210, 200, 200, 200}) {
    row.push_back(Pixel(gray, gray, gray));
  }
  ColorReduction reduction(2, false, static_cast<uint32_t>(row.size()));
  for (size_t start = 0; start < row.size(); start += 50) {
    reduction.Survey(
        std::span<const uint32_t>(row).subspan(start, std::min<size_t>(50, row.size() - start)));
  }
  EXPECT_FALSE(reduction.exact());
  EXPECT_EQ(reduction.ChoosePalette().colors, (Palette{{0, 0, 0}, {202, 202, 202}}));
}

TEST(ColorReductionTest, DitheringKeepsTheMeanThatNearestColorLoses) {
  // Black and white areas make the two-colour palette; an area of gray 64
  // has to be mixed from them.
  const uint32_t width = 200;
  const std::vector<uint32_t> black(width, Pixel(0, 0, 0));
  const std::vector<uint32_t> white(width, Pixel(255, 255, 255));
  const std::vector<uint32_t> gray(width, Pixel(64, 64, 64));
  for (const bool dither : {false, true}) {
    ColorReduction reduction(2, dither, width);
    for (const auto* row : {&black, &white, &gray}) {
      reduction.Survey(*row);
    }
    const Palette colors = reduction.ChoosePalette().colors;
    ASSERT_EQ(colors.size(), 2u);
    double sum = 0;
    for (int row = 0; row < 50; ++row) {
      for (const uint8_t index : Map(reduction, gray)) {
        sum += colors[index].red;
      }
    }
    const double mean = sum / (50 * width);
    if (dither) {
      EXPECT_NEAR(mean, 64, 1);
    } else {
      EXPECT_TRUE(mean == colors[0].red || mean == colors[1].red) << mean;
    }
  }
}

TEST(ColorReductionTest, DitheringPastEitherEndOfAChannelClampsIt) {
  // A gray ramp gives a palette of two inner grays. Colours at the ends of
  // their channels carry an error that only pushes them further out: clamped,
  // each pixel maps to the entry nearest its own colour, in any channel.
  const uint32_t width = 64;
  std::vector<uint32_t> ramp;
  for (uint32_t v = 0; v < 256; ++v) {
    ramp.push_back(Pixel(v, v, v));
  }
  for (const uint32_t pixel :
       {Pixel(255, 255, 255), Pixel(0, 0, 0), Pixel(255, 0, 255), Pixel(0, 255, 0)}) {
    SCOPED_TRACE(::testing::Message() << std::hex << pixel);
    ColorReduction plain(2, false, width);
    ColorReduction dithered(2, true, width);
    for (ColorReduction* reduction : {&plain, &dithered}) {
      reduction->Survey(ramp);
      ASSERT_EQ(reduction->ChoosePalette().colors.size(), 2u);
    }
    const std::vector<uint32_t> row(width, pixel);
    const std::vector<uint8_t> nearest = Map(plain, row);
    for (int y = 0; y < 4; ++y) {
      EXPECT_EQ(Map(dithered, row), nearest) << "row " << y;
    }
  }
}

}  // namespace
}  // namespace ostrel
