#include "converter/color_reduction.h"

#include <algorithm>
#include <array>
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

// A test picture: each pixel a base colour (a ramp of red, green and blue
// from 0 to 255 across the width when `ramp`), plus independent grain of up
// to `grain` levels per channel.
struct Picture {
  uint32_t width;
  uint32_t height;
  Rgb base;
  bool ramp;
  int grain;

  std::vector<std::vector<uint32_t>> Rows() const {
    uint32_t state = 12345;
    const auto noise = [&] {
      state = state * 1664525 + 1013904223;
      return grain == 0 ? 0 : static_cast<int>((state >> 8) % (2 * grain + 1)) - grain;
    };
    std::vector<std::vector<uint32_t>> rows(height, std::vector<uint32_t>(width));
    for (auto& row : rows) {
      for (uint32_t x = 0; x < width; ++x) {
        const int level = static_cast<int>(x * 255 / (width - 1));
        const auto channel = [&](uint8_t value) {
          return static_cast<uint32_t>(std::clamp((ramp ? level : value) + noise(), 0, 255));
        };
        const uint32_t red = channel(base.red);
        const uint32_t green = channel(base.green);
        row[x] = Pixel(red, green, channel(base.blue));
      }
    }
    return rows;
  }
};

// Per channel, the mean of the pixels of columns [from, to).
std::array<double, 3> MeanOf(const std::vector<std::vector<uint32_t>>& rows, uint32_t from,
                             uint32_t to) {
  std::array<double, 3> sum{};
  for (const auto& row : rows) {
    for (uint32_t x = from; x < to; ++x) {
      for (int c = 0; c < 3; ++c) {
        sum[c] += row[x] >> (8 * c) & 0xff;
      }
    }
  }
  for (double& channel : sum) {
    channel /= static_cast<double>(rows.size() * (to - from));
  }
  return sum;
}

// The picture's rows as the palette colours they map to, the palette cut
// from the picture itself or from a gray ramp (grays evenly apart).
std::vector<std::vector<uint32_t>> Reduce(const Picture& picture, int colors, bool gray_palette,
                                          bool dither,
                                          std::vector<std::vector<uint8_t>>* indices = nullptr) {
  const auto rows = picture.Rows();
  ColorReduction reduction(colors, dither, picture.width);
  for (const auto& row :
       gray_palette ? Picture{picture.width, picture.height, {}, true, 0}.Rows() : rows) {
    reduction.Survey(row);
  }
  const Palette palette = reduction.ChoosePalette().colors;
  std::vector<std::vector<uint32_t>> mapped;
  for (const auto& row : rows) {
    const std::vector<uint8_t> row_indices = Map(reduction, row);
    std::vector<uint32_t> colors_of_row;
    for (const uint8_t index : row_indices) {
      const Rgb& color = palette[index];
      colors_of_row.push_back(Pixel(color.red, color.green, color.blue));
    }
    mapped.push_back(std::move(colors_of_row));
    if (indices != nullptr) {
      indices->push_back(row_indices);
    }
  }
  return mapped;
}

TEST(ColorReductionTest, DitheringKeepsTheLocalMeanOfGradientsAndGrain) {
  // Over bands of 16 columns, the mean colour that came out against the
  // mean that went in: where the palette's step is coarser than the grain,
  // only diffusion keeps it; where grain spans the step, the grain does.
  // Ramps are checked between their darkest and lightest entries (the
  // palette's means of four cuts of the ramp), which no mix goes beyond.
  struct Case {
    const char* what;
    Picture picture;
    int colors;
    bool gray_palette;
    double tolerance;
  } const cases[] = {
      {"smooth ramp, four grays", {256, 64, {}, true, 0}, 4, false, 3},
      {"ramp with fine grain", {256, 64, {}, true, 2}, 4, false, 3},
      {"flat gray, grain far below the step", {256, 64, {110, 110, 110}, false, 6}, 4, true, 2},
      {"flat colour, grain spanning the step", {256, 64, {120, 70, 30}, false, 24}, 16, false, 1.5},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    const auto source = test.picture.Rows();
    const auto reduced = Reduce(test.picture, test.colors, test.gray_palette, true);
    const uint32_t margin = test.picture.ramp ? 32 : 0;
    for (uint32_t band = margin; band + 16 + margin <= test.picture.width; band += 16) {
      const auto want = MeanOf(source, band, band + 16);
      const auto got = MeanOf(reduced, band, band + 16);
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(got[c], want[c], test.tolerance) << "columns " << band << "+, channel " << c;
      }
    }
  }
}

TEST(ColorReductionTest, GrainSpanningThePaletteStepIsNotDithered) {
  // Diffusion would only add noise to it: nearly every pixel (all but the
  // first few of a row, before the palette around it is known) maps to its
  // nearest entry, as with dithering off. Fine grain under a coarse step is
  // still dithered.
  struct Case {
    Picture picture;
    int colors;
    bool gray_palette;
    bool left_alone;
  } const cases[] = {
      {{256, 32, {120, 70, 30}, false, 24}, 16, false, true},
      {{256, 32, {30, 200, 90}, false, 40}, 64, false, true},
      {{256, 32, {110, 110, 110}, false, 6}, 4, true, false},
  };
  for (const Case& test : cases) {
    std::vector<std::vector<uint8_t>> dithered;
    std::vector<std::vector<uint8_t>> nearest;
    Reduce(test.picture, test.colors, test.gray_palette, true, &dithered);
    Reduce(test.picture, test.colors, test.gray_palette, false, &nearest);
    size_t differing = 0;
    for (size_t y = 0; y < dithered.size(); ++y) {
      for (size_t x = 0; x < dithered[y].size(); ++x) {
        differing += dithered[y][x] != nearest[y][x] ? 1 : 0;
      }
    }
    const double share = static_cast<double>(differing) /
                         (static_cast<double>(test.picture.width) * test.picture.height);
    if (test.left_alone) {
      EXPECT_LT(share, 0.04) << test.picture.grain << " of " << test.colors;
    } else {
      EXPECT_GT(share, 0.2) << test.picture.grain << " of " << test.colors;
    }
  }
}

}  // namespace
}  // namespace ostrel
