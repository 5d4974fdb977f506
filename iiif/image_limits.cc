#include "iiif/image_limits.h"

#include <algorithm>

namespace ostrel {
namespace {

// No image the converter writes has a longer side.
constexpr int64_t kLongestSide = 65535;

// Bytes of everything but the pixel data, with room to spare: a GIF's
// header and colour table (under 800), a PNG's chunks around its data, a
// JPEG's markers and tables (under 700).
constexpr int64_t kGifOverhead = 1024;
constexpr int64_t kPngOverhead = 4096;
constexpr int64_t kJpegOverhead = 2048;

// The longest a baseline JPEG block of 8-bit samples can be coded: the DC
// difference's code (at most 16 bits) and its 11 extra bits, then 63 AC
// coefficients, each nonzero with a code of at most 16 bits and 10 extra
// bits (zeros cost less). A colour JPEG with 4:2:0 chroma codes 6 blocks
// for each MCU of 16 x 16 pixels; a gray one 1 block of 8 x 8, which never
// comes to more for the same image.
constexpr int64_t kJpegBlockBits = (16 + 11) + 63 * (16 + 10);
constexpr int64_t kJpegBlocksPerMcu = 6;
constexpr int64_t kJpegMcuSide = 16;

int64_t CeilingDivide(int64_t value, int64_t divisor) { return (value + divisor - 1) / divisor; }

// MostImageBytes for images of at most `width` x `height` pixels in that
// orientation.
int64_t MostBytes(int64_t area, int64_t width, int64_t height) {
  width = std::min({width, kLongestSide, area});
  height = std::min({height, kLongestSide, area});
  const int64_t pixels = std::min(area, width * height);
  // GIF: each LZW code stands for at least one pixel and takes at most 12
  // bits; a clear code follows every 3838 codes or more, and a length byte
  // every 255 bytes of data.
  const int64_t gif = pixels * 3 / 2 + pixels / 128 + kGifOverhead;
  // PNG: at most 4 bytes a pixel (8-bit RGBA) and a filter byte a row, which
  // compression never grows by as much as 1/256 (stored blocks, chunk
  // headers).
  const int64_t png_data = pixels * 4 + height;
  const int64_t png = png_data + png_data / 256 + kPngOverhead;
  // JPEG: whole MCUs, the right and lower ones padded. For each count of MCU
  // columns the narrowest image that has it is the tallest the area allows.
  int64_t most_mcus = 0;
  for (int64_t columns = 1; columns <= CeilingDivide(width, kJpegMcuSide); ++columns) {
    const int64_t narrowest = (columns - 1) * kJpegMcuSide + 1;
    const int64_t tallest = std::min(height, area / narrowest);
    most_mcus = std::max(most_mcus, columns * CeilingDivide(tallest, kJpegMcuSide));
  }
  // Every byte of coded data might be 0xFF, each followed by a stuffed 0.
  const int64_t jpeg =
      2 * CeilingDivide(most_mcus * kJpegBlocksPerMcu * kJpegBlockBits, 8) + kJpegOverhead;
  return std::max({gif, png, jpeg});
}

}  // namespace

int64_t MostImageBytes(int64_t area, const ImageLimits& limits) {
  if (area < 1) {
    return 0;
  }
  return std::max(MostBytes(area, limits.max_width, limits.max_height),
                  MostBytes(area, limits.max_height, limits.max_width));
}

ImageLimits LimitsWithinImageBytes(ImageLimits limits, int64_t max_image_bytes) {
  if (MostImageBytes(limits.max_area, limits) <= max_image_bytes) {
    return limits;
  }
  // The bound grows with the area: the largest area within the bytes lies
  // in [fits, fails).
  int64_t fits = 0;
  int64_t fails = limits.max_area;
  while (fails - fits > 1) {
    const int64_t middle = fits + (fails - fits) / 2;
    (MostImageBytes(middle, limits) <= max_image_bytes ? fits : fails) = middle;
  }
  limits.max_area = fits;
  return limits;
}

}  // namespace ostrel
