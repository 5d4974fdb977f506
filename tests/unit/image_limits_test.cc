#include "iiif/image_limits.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "converter/gif_writer.h"
#include "converter/image_sink.h"
#include "converter/jpeg_writer.h"
#include "converter/png_writer.h"

namespace ostrel {
namespace {

// The bytes `writer` makes of rows of noise, `bytes_per_pixel` to a pixel.
size_t NoiseBytes(ImageSize size, int bytes_per_pixel, ImageWriter& writer,
                  const std::string& written) {
  std::mt19937 random(size.width * 65537 + size.height);
  std::vector<uint8_t> row(size_t{size.width} * bytes_per_pixel);
  for (uint32_t y = 0; y < size.height; ++y) {
    for (size_t x = 0; x < row.size(); ++x) {
      // Opaque or transparent at random, and premultiplied: every channel
      // within its alpha.
      row[x] = static_cast<uint8_t>(random());
      if (bytes_per_pixel == 4 && x % 4 == 3) {
        const uint8_t alpha = row[x];
        for (size_t channel = x - 3; channel < x; ++channel) {
          row[channel] = static_cast<uint8_t>(row[channel] * alpha / 255);
        }
      }
    }
    writer.PutRow(row);
  }
  writer.Finish();
  return written.size();
}

TEST(ImageLimitsTest, NoImageTheWritersMakeTakesMoreThanTheBound) {
  IndexedPalette palette;
  for (int i = 0; i < 256; ++i) {
    palette.colors.push_back(
        Rgb{static_cast<uint8_t>(i), static_cast<uint8_t>(i * 7), static_cast<uint8_t>(i * 13)});
  }
  // Noise is what compresses worst; thin images pay most for a JPEG's
  // padded blocks.
  for (const ImageSize size : {ImageSize{1, 1}, ImageSize{1, 700}, ImageSize{700, 1},
                               ImageSize{17, 33}, ImageSize{300, 200}}) {
    const int64_t area = int64_t{size.width} * size.height;
    const int64_t bound = MostImageBytes(area, {size.width, size.height, area});
    SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
    std::string written;
    const ByteSink sink = [&written](std::string_view bytes) { written.append(bytes); };
    GifWriter gif(size, palette, sink);
    EXPECT_LE(NoiseBytes(size, 1, gif, written), bound);
    written.clear();
    EXPECT_LE(NoiseBytes(size, 4, *PngWriter::TrueColor(size, true, sink), written), bound);
    written.clear();
    EXPECT_LE(NoiseBytes(size, 4, *JpegWriter::TrueColor(size, 100, sink), written), bound);
  }
}

TEST(ImageLimitsTest, TheAreaIsLoweredToTheLargestWhoseImagesAllFit) {
  const struct {
    ImageLimits limits;
    int64_t max_image_bytes;
    bool lowered;
  } cases[] = {
      // The defaults: every image of 4096 x 4096 pixels fits in 256 MiB.
      {{10000, 10000, 16777216}, int64_t{1} << 28, false},
      {{10000, 10000, 16777216}, int64_t{1} << 24, true},
      {{10000, 10000, 16777216}, 100000000, true},
      {{4096, 4096, 16777216}, 120000000, true},
      // A side of 1 allows no more than 65535 pixels, whatever the area says.
      {{1, 2147483647, 2147483647}, int64_t{1} << 28, false},
      {{2147483647, 2147483647, 2147483647}, int64_t{1} << 30, true},
  };
  for (const auto& c : cases) {
    const ImageLimits limits = LimitsWithinImageBytes(c.limits, c.max_image_bytes);
    SCOPED_TRACE(std::to_string(c.limits.max_width) + " " + std::to_string(c.max_image_bytes));
    EXPECT_EQ(limits.max_width, c.limits.max_width);
    EXPECT_EQ(limits.max_height, c.limits.max_height);
    EXPECT_LE(MostImageBytes(limits.max_area, limits), c.max_image_bytes);
    if (c.lowered) {
      EXPECT_LT(limits.max_area, c.limits.max_area);
      EXPECT_GT(limits.max_area, 0);
      // The largest: one pixel more might not fit.
      EXPECT_GT(MostImageBytes(limits.max_area + 1, limits), c.max_image_bytes);
    } else {
      EXPECT_EQ(limits.max_area, c.limits.max_area);
    }
  }
  // Not one pixel fits.
  EXPECT_EQ(LimitsWithinImageBytes({10000, 10000, 16777216}, 100).max_area, 0);
  // The same bound either way round: a quarter turn swaps the sides.
  EXPECT_EQ(MostImageBytes(200000, {10, 20000, 0}), MostImageBytes(200000, {20000, 10, 0}));
}

}  // namespace
}  // namespace ostrel
