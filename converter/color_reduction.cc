#include "converter/color_reduction.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <utility>

namespace ostrel {
namespace {

constexpr uint32_t kTransparent = 0xffffffff;  // no 0xRRGGBB value

// A libtiff RGBA pixel with alpha below 255 as 0xRRGGBB, or kTransparent
// when its alpha is below one half. libtiff gives colour premultiplied by
// alpha; a GIF has no partial transparency, so the colour is taken back to
// what it was before.
uint32_t UnpremultipliedColorOf(uint32_t pixel) {
  const uint32_t alpha = pixel >> 24;
  if (alpha < 128) {
    return kTransparent;
  }
  const uint32_t red = std::min(255u, ((pixel & 0xff) * 255 + alpha / 2) / alpha);
  const uint32_t green = std::min(255u, ((pixel >> 8 & 0xff) * 255 + alpha / 2) / alpha);
  const uint32_t blue = std::min(255u, ((pixel >> 16 & 0xff) * 255 + alpha / 2) / alpha);
  return red << 16 | green << 8 | blue;
}

// Any libtiff RGBA pixel so; opaque ones, the most, without a call.
inline uint32_t ColorOf(uint32_t pixel) {
  if (pixel >> 24 != 255) {
    return UnpremultipliedColorOf(pixel);
  }
  return (pixel & 0xff) << 16 | (pixel & 0xff00) | (pixel >> 16 & 0xff);
}

// The largest error, in any channel, that dithering passes on only in part.
constexpr int kSmallError = 16;

int Channel(uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xff); }

// The end of the run of pixels equal to the first of [pixel, end).
const uint32_t* RunEnd(const uint32_t* pixel, const uint32_t* end) {
  const uint32_t* next = pixel + 1;
  while (next != end && *next == *pixel) {
    ++next;
  }
  return next;
}

}  // namespace

ColorReduction::ColorReduction(int colors, bool dither, uint32_t width)
    : colors_(colors), dither_(dither), width_(width), distinct_(colors) {}

void ColorReduction::Survey(std::span<const uint32_t> pixels) {
  // Runs of one pixel value are counted once: scans and drawings have long
  // ones.
  const uint32_t* pixel = pixels.data();
  const uint32_t* const end = pixel + pixels.size();
  while (pixel != end && !histogram_) {
    const uint32_t* const run_end = RunEnd(pixel, end);
    const uint32_t rgb = ColorOf(*pixel);
    const auto count = static_cast<int64_t>(run_end - pixel);
    pixel = run_end;
    if (rgb == kTransparent) {
      transparent_seen_ = true;
      continue;
    }
    distinct_.Add(rgb, count);
    if (distinct_.overflowed()) {
      StartHistogram();
      histogram_->Add(Channel(rgb, 16), Channel(rgb, 8), Channel(rgb, 0), count);
    }
  }
  // Once there are more colours than the palette holds, the loop that takes
  // most pixels: opaque ones go in as libtiff gives them.
  while (pixel != end) {
    const uint32_t* const run_end = RunEnd(pixel, end);
    const uint32_t value = *pixel;
    const auto count = static_cast<int64_t>(run_end - pixel);
    pixel = run_end;
    if (value >> 24 == 255) {
      histogram_->Add(Channel(value, 0), Channel(value, 8), Channel(value, 16), count);
      continue;
    }
    const uint32_t rgb = ColorOf(value);
    if (rgb == kTransparent) {
      transparent_seen_ = true;
    } else {
      histogram_->Add(Channel(rgb, 16), Channel(rgb, 8), Channel(rgb, 0), count);
    }
  }
}

void ColorReduction::StartHistogram() {
  histogram_.emplace();
  const Palette colors = distinct_.Colors();
  for (size_t i = 0; i < colors.size(); ++i) {
    histogram_->Add(colors[i].red, colors[i].green, colors[i].blue, distinct_.counts()[i]);
  }
}

const IndexedPalette& ColorReduction::ChoosePalette() {
  const int opaque_limit = colors_ - (transparent_seen_ ? 1 : 0);
  Palette own = distinct_.Colors();
  exact_ = !distinct_.overflowed() && static_cast<int>(own.size()) <= opaque_limit;
  if (exact_) {
    palette_.colors = std::move(own);
  } else {
    if (!histogram_) {  // as many colours as the palette holds, and transparency
      StartHistogram();
    }
    palette_.colors = QuantizeColors(std::move(*histogram_), opaque_limit);
    nearest_.emplace(palette_.colors);
    if (dither_) {
      error_this_row_.assign((static_cast<size_t>(width_) + 2) * 3, 0);
      error_next_row_.assign(error_this_row_.size(), 0);
    }
  }
  if (transparent_seen_) {
    transparent_index_ = static_cast<uint8_t>(palette_.colors.size());
    palette_.transparent_index = transparent_index_;
    palette_.colors.push_back(Rgb{255, 255, 255});
  }
  return palette_;
}

void ColorReduction::MapRow(std::span<const uint32_t> row, std::span<uint8_t> indices) {
  if (!exact_ && dither_) {
    DitherRow(row, indices);
    ++rows_mapped_;
    return;
  }
  uint32_t last_pixel = 0;
  uint8_t last_index = 0;
  for (size_t x = 0; x < row.size(); ++x) {
    const uint32_t pixel = row[x];
    if (x == 0 || pixel != last_pixel) {
      const uint32_t rgb = ColorOf(pixel);
      last_index = rgb == kTransparent ? transparent_index_
                   : exact_
                       ? distinct_.IndexOf(rgb)
                       : nearest_->Find(Channel(rgb, 16), Channel(rgb, 8), Channel(rgb, 0)).index;
      last_pixel = pixel;
    }
    indices[x] = last_index;
  }
  ++rows_mapped_;
}

void ColorReduction::DitherRow(std::span<const uint32_t> row, std::span<uint8_t> indices) {
  // Serpentine: even rows left to right, odd rows right to left, so that the
  // error does not drift one way. Floyd and Steinberg's weights 7, 3, 5 and 1
  // sixteenths pass on the whole of a large error, so that an area between
  // palette entries comes out as a mix of them with the right mean; of a
  // small one, where the palette matches closely already, one half: the
  // whole sprinkles noise over smooth areas (the benchmark photo lost 4.6 dB
  // of PSNR to it, one half loses 0.4). Errors are kept 64 times larger, so
  // that all weights stay whole.
  const bool forward = rows_mapped_ % 2 == 0;
  const ptrdiff_t step = forward ? 1 : -1;
  std::fill(error_next_row_.begin(), error_next_row_.end(), 0);
  const auto width = static_cast<ptrdiff_t>(row.size());
  // The error passed on to the next pixel of the row stays in registers:
  // each pixel waits for it, and a round trip through memory would add to
  // that wait. The channels are written out one by one for the same reason.
  int32_t ahead_red = 0;
  int32_t ahead_green = 0;
  int32_t ahead_blue = 0;
  for (ptrdiff_t i = 0; i < width; ++i) {
    const ptrdiff_t x = forward ? i : width - 1 - i;
    const uint32_t rgb = ColorOf(row[static_cast<size_t>(x)]);
    if (rgb == kTransparent) {
      indices[static_cast<size_t>(x)] = transparent_index_;
      ahead_red = ahead_green = ahead_blue = 0;  // its error goes nowhere
      continue;
    }
    const int32_t* here = &error_this_row_[static_cast<size_t>(x + 1) * 3];
    // Arithmetic shift: rounds to nearest, halves up, for either sign.
    int red = Channel(rgb, 16) + ((here[0] + ahead_red + 32) >> 6);
    int green = Channel(rgb, 8) + ((here[1] + ahead_green + 32) >> 6);
    int blue = Channel(rgb, 0) + ((here[2] + ahead_blue + 32) >> 6);
    // Sums outside 0 to 255 are rare: behind a predicted branch, the clamps'
    // conditional moves no longer delay the look-up that the next pixel waits for.
    if ((static_cast<unsigned>(red) | static_cast<unsigned>(green) | static_cast<unsigned>(blue)) >
        255) [[unlikely]] {
      red = std::clamp(red, 0, 255);
      green = std::clamp(green, 0, 255);
      blue = std::clamp(blue, 0, 255);
    }
    const NearestColor::Match match = nearest_->Find(red, green, blue);
    indices[static_cast<size_t>(x)] = match.index;
    const int error_red = red - match.color.red;
    const int error_green = green - match.color.green;
    const int error_blue = blue - match.color.blue;
    // |error| > kSmallError in any channel, without a branch.
    const bool large = (static_cast<unsigned>(error_red + kSmallError) > 2 * kSmallError) |
                       (static_cast<unsigned>(error_green + kSmallError) > 2 * kSmallError) |
                       (static_cast<unsigned>(error_blue + kSmallError) > 2 * kSmallError);
    const int quarters = large ? 4 : 2;
    int32_t* below = &error_next_row_[static_cast<size_t>(x + 1) * 3];
    const auto spread = [below, step](int c, int32_t error) {
      below[c - 3 * step] += error * 3;
      below[c] += error * 5;
      below[c + 3 * step] += error;
    };
    spread(0, error_red * quarters);
    spread(1, error_green * quarters);
    spread(2, error_blue * quarters);
    ahead_red = error_red * 7 * quarters;
    ahead_green = error_green * 7 * quarters;
    ahead_blue = error_blue * 7 * quarters;
  }
  std::swap(error_this_row_, error_next_row_);
}

}  // namespace ostrel
