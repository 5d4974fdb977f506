#include "converter/color_reduction.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "converter/palette.h"
#include "converter/rgb.h"

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

// 256 x 64 pixels of a base colour, or of a gray ramp from 0 to 255 across
// the width, plus independent grain of up to `grain` levels per channel.
std::vector<std::vector<uint32_t>> Picture(Rgb base, bool ramp, int grain) {
  uint32_t state = 12345;
  const auto channel = [&](int value) {
    state = state * 1664525 + 1013904223;
    const int noise = static_cast<int>((state >> 8) % (2 * grain + 1)) - grain;
    return static_cast<uint32_t>(std::clamp(value + noise, 0, 255));
  };
  std::vector<std::vector<uint32_t>> rows(64, std::vector<uint32_t>(256));
  for (auto& row : rows) {
    for (int x = 0; x < 256; ++x) {
      const uint32_t red = channel(ramp ? x : base.red);
      const uint32_t green = channel(ramp ? x : base.green);
      row[x] = Pixel(red, green, channel(ramp ? x : base.blue));
    }
  }
  return rows;
}

TEST(ColorReductionTest, DiffusionKeepsLocalMeansAndLeavesGrainThatSpansTheStepAlone) {
  // Over bands of 16 columns, the mean colour that comes out against the
  // one that went in: where grain is finer than the palette's step, only
  // diffusion keeps it; where grain spans the step, the grain itself does,
  // and diffusion would only add noise: such pixels (all but the first few
  // of a row) map as with dithering off. Ramps are checked between their
  // darkest and lightest entries, which no mix goes beyond.
  enum class Nearest { kAny, kAlmostAll, kFewer };  // pixels that map as with dithering off
  struct Case {
    const char* what;
    Rgb base;
    bool ramp;
    int grain;
    int colors;
    bool gray_palette;  // the palette cut from a smooth gray ramp, not the picture
    double tolerance;
    Nearest nearest;
  } const cases[] = {
      {"smooth ramp", {}, true, 0, 4, false, 3, Nearest::kAny},
      {"ramp with fine grain", {}, true, 2, 4, false, 3, Nearest::kAny},
      {"gray, grain below the step", {110, 110, 110}, false, 6, 4, true, 2, Nearest::kFewer},
      {"colour, grain spanning the step",
       {120, 70, 30},
       false,
       24,
       16,
       false,
       1.5,
       Nearest::kAlmostAll},
      {"colour, coarse grain", {30, 200, 90}, false, 40, 64, false, 1.5, Nearest::kAlmostAll},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    const auto source = Picture(test.base, test.ramp, test.grain);
    ColorReduction dithered(test.colors, true, 256);
    ColorReduction plain(test.colors, false, 256);
    for (ColorReduction* reduction : {&dithered, &plain}) {
      for (const auto& row : test.gray_palette ? Picture({}, true, 0) : source) {
        reduction->Survey(row);
      }
    }
    const Palette palette = dithered.ChoosePalette().colors;
    plain.ChoosePalette();
    std::array<std::array<double, 3>, 16> got{};
    std::array<std::array<double, 3>, 16> want{};
    int as_nearest = 0;
    for (const auto& row : source) {
      const std::vector<uint8_t> indices = Map(dithered, row);
      const std::vector<uint8_t> nearest = Map(plain, row);
      for (size_t x = 0; x < row.size(); ++x) {
        as_nearest += indices[x] == nearest[x] ? 1 : 0;
        const Rgb& color = palette[indices[x]];
        const uint8_t channels[] = {color.red, color.green, color.blue};
        for (int c = 0; c < 3; ++c) {
          got[x / 16][c] += channels[c] / (16.0 * 64);
          want[x / 16][c] += (row[x] >> (8 * c) & 0xff) / (16.0 * 64);
        }
      }
    }
    for (size_t band = test.ramp ? 2 : 0; band < (test.ramp ? 14u : 16u); ++band) {
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(got[band][c], want[band][c], test.tolerance) << band << ", " << c;
      }
    }
    const double share = as_nearest / (256.0 * 64);
    if (test.nearest == Nearest::kAlmostAll) {
      EXPECT_GT(share, 0.96);
    } else if (test.nearest == Nearest::kFewer) {
      EXPECT_LT(share, 0.9);
    }
  }
}

}  // namespace
}  // namespace ostrel
