#include "converter/color_reduction.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <utility>

#include "converter/palette.h"
#include "converter/rgb.h"
#include "converter/rgba_pixel.h"

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
  const uint32_t red = UnpremultipliedChannel(pixel & 0xff, alpha);
  const uint32_t green = UnpremultipliedChannel(pixel >> 8 & 0xff, alpha);
  const uint32_t blue = UnpremultipliedChannel(pixel >> 16 & 0xff, alpha);
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
      grain_.assign((width_ + kGrainBlock - 1) / kGrainBlock, 0);
      padded_row_.assign(grain_.size() * kGrainBlock + 2, 0);
      SetGrainLimits();
    }
  }
  if (transparent_seen_) {
    transparent_index_ = static_cast<uint8_t>(palette_.colors.size());
    palette_.transparent_index = transparent_index_;
    palette_.colors.push_back(Rgb{255, 255, 255});
  }
  return palette_;
}

void ColorReduction::SetGrainLimits() {
  // An entry's step is the L1 distance to its nearest other entry. Grain
  // mixes neighbouring entries with the right mean when it spans their step
  // with some room. Grain of up to +-a per channel gives a block sum (see
  // MeasureGrain) of about kGrainBlock (8) x 3 x 1.13 a = 27 a; the limit, 16 steps,
  // leaves alone grain that spans 1.2 steps or more.
  constexpr int kGrainPerStep = 16;
  const Palette& colors = palette_.colors;
  grain_limit_.fill(std::numeric_limits<int>::max());
  for (size_t i = 0; i < colors.size(); ++i) {
    int nearest = std::numeric_limits<int>::max();
    for (size_t j = 0; j < colors.size(); ++j) {
      if (j != i) {
        nearest = std::min(nearest, std::abs(colors[i].red - colors[j].red) +
                                        std::abs(colors[i].green - colors[j].green) +
                                        std::abs(colors[i].blue - colors[j].blue));
      }
    }
    if (nearest != std::numeric_limits<int>::max()) {
      grain_limit_[i] = kGrainPerStep * nearest;
    }
  }
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

void ColorReduction::RestartMapping() {
  rows_mapped_ = 0;
  std::fill(error_this_row_.begin(), error_this_row_.end(), 0);
  std::fill(error_next_row_.begin(), error_next_row_.end(), 0);
}

void ColorReduction::MeasureGrain(std::span<const uint32_t> row) {
  // Per block of kGrainBlock pixels, the second differences along the row
  // summed over the channels (alpha too, which is even on most pages): zero
  // on flat areas and even gradients, large on grain and fine texture. A
  // block, not a pixel: one quiet pixel among grainy ones does not change
  // the treatment, and the branch on it stays predictable. The row is
  // copied with its end pixels repeated, to a whole number of blocks; the
  // loops over a block's bytes have a fixed count, which the compiler turns
  // into vector instructions.
  const size_t width = row.size();
  uint32_t* const padded = &padded_row_[1];
  std::copy(row.begin(), row.end(), padded);
  padded[-1] = row.front();
  std::fill(padded + width, padded_row_.data() + padded_row_.size(), row.back());
  const auto* const bytes = reinterpret_cast<const uint8_t*>(padded);
  constexpr size_t kBlockBytes = kGrainBlock * sizeof(uint32_t);
  constexpr ptrdiff_t kPixel = sizeof(uint32_t);
  for (size_t block = 0; block < grain_.size(); ++block) {
    const uint8_t* const here = bytes + block * kBlockBytes;
    int sum = 0;
    for (size_t k = 0; k < kBlockBytes; ++k) {
      const int curvature = 2 * here[k] - here[static_cast<ptrdiff_t>(k) - kPixel] -
                            here[static_cast<ptrdiff_t>(k) + kPixel];
      sum += curvature < 0 ? -curvature : curvature;
    }
    grain_[block] = sum;
  }
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
  //
  // Where the grain of the picture itself is larger than the step between
  // neighbouring palette entries, the grain already mixes them with the
  // right mean, as dithering would: such a pixel takes its nearest entry and
  // passes no error on (and drops what it received). Diffusion there would
  // only add noise, and the chain of pixels each waiting for the one before
  // is broken.
  MeasureGrain(row);
  const bool forward = rows_mapped_ % 2 == 0;
  const ptrdiff_t step = forward ? 1 : -1;
  const auto width = static_cast<ptrdiff_t>(row.size());
  // The error passed on to the next pixel of the row stays in registers:
  // each pixel waits for it, and a round trip through memory would add to
  // that wait. The channels are written out one by one for the same reason.
  int32_t ahead_red = 0;
  int32_t ahead_green = 0;
  int32_t ahead_blue = 0;
  // So do the sums for the two pixels below that later pixels still add
  // to: `behind_*` below the pixel before this one, `under_*` below this
  // one. Each pixel below is written once, when complete.
  int32_t behind_red = 0;
  int32_t behind_green = 0;
  int32_t behind_blue = 0;
  int32_t under_red = 0;
  int32_t under_green = 0;
  int32_t under_blue = 0;
  int32_t* const below_row = &error_next_row_[3];  // pixel 0; one spare pixel each side
  // The grain above which a block is not dithered, for the palette entry of
  // the pixel before it: its neighbourhood in the palette.
  int grain_limit = std::numeric_limits<int>::max();  // the first block is dithered
  const auto blocks = static_cast<ptrdiff_t>(grain_.size());
  for (ptrdiff_t n = 0; n < blocks; ++n) {
    const ptrdiff_t block = forward ? n : blocks - 1 - n;
    const ptrdiff_t begin = block * static_cast<ptrdiff_t>(kGrainBlock);
    const ptrdiff_t end = std::min(begin + static_cast<ptrdiff_t>(kGrainBlock), width);
    const ptrdiff_t first = forward ? begin : end - 1;
    const ptrdiff_t last = forward ? end - 1 : begin;
    if (grain_[static_cast<size_t>(block)] > grain_limit) {
      // Grainy: each pixel its nearest entry, no error passed on, as if
      // each had an error of zero.
      for (ptrdiff_t x = begin; x < end; ++x) {
        const uint32_t pixel = row[static_cast<size_t>(x)];
        if (pixel >> 24 == 255) [[likely]] {
          indices[static_cast<size_t>(x)] =
              nearest_->Find(Channel(pixel, 0), Channel(pixel, 8), Channel(pixel, 16)).index;
        } else {
          const uint32_t rgb = UnpremultipliedColorOf(pixel);
          indices[static_cast<size_t>(x)] =
              rgb == kTransparent
                  ? transparent_index_
                  : nearest_->Find(Channel(rgb, 16), Channel(rgb, 8), Channel(rgb, 0)).index;
        }
      }
      grain_limit = grain_limit_[indices[static_cast<size_t>(last)]];
      for (ptrdiff_t i = begin * 3; i < end * 3; ++i) {
        below_row[i] = 0;
      }
      int32_t* const before = below_row + (first - step) * 3;
      before[0] = behind_red;
      before[1] = behind_green;
      before[2] = behind_blue;
      if (first == last) {
        behind_red = under_red;
        behind_green = under_green;
        behind_blue = under_blue;
      } else {
        int32_t* const below_first = below_row + first * 3;
        below_first[0] = under_red;
        below_first[1] = under_green;
        below_first[2] = under_blue;
        behind_red = behind_green = behind_blue = 0;
      }
      under_red = under_green = under_blue = 0;
      ahead_red = ahead_green = ahead_blue = 0;
      continue;
    }
    for (ptrdiff_t x = first; x != last + step; x += step) {
      const auto ux = static_cast<size_t>(x);
      int32_t error_red = 0;
      int32_t error_green = 0;
      int32_t error_blue = 0;
      int quarters = 0;
      const uint32_t rgb = ColorOf(row[ux]);
      if (rgb == kTransparent) [[unlikely]] {
        indices[ux] = transparent_index_;  // its error goes nowhere
      } else {
        const int32_t* here = &error_this_row_[(ux + 1) * 3];
        // Arithmetic shift: rounds to nearest, halves up, for either sign.
        int red = Channel(rgb, 16) + ((here[0] + ahead_red + 32) >> 6);
        int green = Channel(rgb, 8) + ((here[1] + ahead_green + 32) >> 6);
        int blue = Channel(rgb, 0) + ((here[2] + ahead_blue + 32) >> 6);
        // Sums outside 0 to 255 are rare: behind a predicted branch, the
        // clamps' conditional moves no longer delay the look-up that the
        // next pixel waits for.
        if ((static_cast<unsigned>(red) | static_cast<unsigned>(green) |
             static_cast<unsigned>(blue)) > 255) [[unlikely]] {
          red = std::clamp(red, 0, 255);
          green = std::clamp(green, 0, 255);
          blue = std::clamp(blue, 0, 255);
        }
        const NearestColor::Match match = nearest_->Find(red, green, blue);
        indices[ux] = match.index;
        error_red = red - match.color.red;
        error_green = green - match.color.green;
        error_blue = blue - match.color.blue;
        // |error| > kSmallError in any channel, without a branch.
        const bool large = (static_cast<unsigned>(error_red + kSmallError) > 2 * kSmallError) |
                           (static_cast<unsigned>(error_green + kSmallError) > 2 * kSmallError) |
                           (static_cast<unsigned>(error_blue + kSmallError) > 2 * kSmallError);
        quarters = large ? 4 : 2;
      }
      error_red *= quarters;
      error_green *= quarters;
      error_blue *= quarters;
      ahead_red = error_red * 7;
      ahead_green = error_green * 7;
      ahead_blue = error_blue * 7;
      int32_t* const behind = below_row + (x - step) * 3;
      behind[0] = behind_red + error_red * 3;
      behind[1] = behind_green + error_green * 3;
      behind[2] = behind_blue + error_blue * 3;
      behind_red = under_red + error_red * 5;
      behind_green = under_green + error_green * 5;
      behind_blue = under_blue + error_blue * 5;
      under_red = error_red;
      under_green = error_green;
      under_blue = error_blue;
    }
    grain_limit = grain_limit_[indices[static_cast<size_t>(last)]];
  }
  int32_t* const end_below = below_row + (forward ? width - 1 : 0) * 3;
  end_below[0] = behind_red;
  end_below[1] = behind_green;
  end_below[2] = behind_blue;
  std::swap(error_this_row_, error_next_row_);
}

}  // namespace ostrel
