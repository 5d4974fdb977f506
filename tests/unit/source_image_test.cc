// The benchmarks' comparison of a GIF with its source: both laid over white.
#include "bench/source_image.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace ostrel::bench {
namespace {

// libtiff's packing, colour premultiplied: 0xAABBGGRR.
constexpr uint32_t Pixel(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) {
  return a << 24 | b << 16 | g << 8 | r;
}

TEST(SourceImageTest, ComparesOverWhiteAndCountsEveryChannel) {
  const double inf = std::numeric_limits<double>::infinity();
  // One GIF pixel of palette {black, gray 100, white}, index 2 transparent.
  struct Case {
    uint32_t source;
    uint8_t index;
    uint64_t differing;
    double psnr;
  };
  const Case cases[] = {
      {Pixel(100, 100, 100), 1, 0, inf},
      {Pixel(0, 0, 0, 0), 2, 0, inf},  // transparent over white is white
      {Pixel(0, 0, 0, 0), 0, 1, 0},    // black where white shows
      {Pixel(50, 50, 50, 128), 1, 1, 10 * std::log10(255.0 * 255 / (77.0 * 77))},  // 50 + 127
      {Pixel(101, 100, 100), 1, 1, 10 * std::log10(255.0 * 255 * 3)},  // one channel off by 1
  };
  for (const Case& c : cases) {
    GifImage gif;
    gif.width = 1;
    gif.height = 1;
    gif.palette = {{0, 0, 0}, {100, 100, 100}, {255, 255, 255}};
    gif.transparent_index = 2;
    gif.indices = {c.index};
    const Comparison comparison = Compare(gif, SourceImage{1, 1, {c.source}});
    EXPECT_TRUE(comparison.same_size);
    EXPECT_EQ(comparison.differing_pixels, c.differing) << c.source;
    if (std::isinf(c.psnr)) {
      EXPECT_TRUE(std::isinf(comparison.psnr)) << c.source;
    } else {
      EXPECT_NEAR(comparison.psnr, c.psnr, 1e-9) << c.source;
    }
  }
  GifImage wide;
  wide.width = 2;
  wide.height = 1;
  EXPECT_FALSE(Compare(wide, SourceImage{1, 1, {Pixel(0, 0, 0)}}).same_size);
}

}  // namespace
}  // namespace ostrel::bench
