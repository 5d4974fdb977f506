#include "iiif/page_sizes.h"

#include <algorithm>
#include <cmath>

#include "platform/error.h"

namespace ostrel {
namespace {

int64_t DivideRoundingUp(int64_t dividend, int64_t divisor) {
  return (dividend + divisor - 1) / divisor;
}

// `part` of `whole`, in proportion to `side`: the other side of a page
// scaled so that `whole` becomes `part`, rounded down.
int32_t InProportion(int32_t side, int64_t part, int64_t whole) {
  return static_cast<int32_t>(std::max<int64_t>(1, side * part / whole));
}

}  // namespace

bool WithinLimits(PixelSize size, const ImageLimits& limits) {
  return size.width <= limits.max_width && size.height <= limits.max_height &&
         int64_t{size.width} * size.height <= limits.max_area;
}

void CheckPageAndLimits(PixelSize page, const ImageLimits& limits) {
  if (page.width < 1 || page.height < 1) {
    throw Error(ErrorKind::kInvalidArgument, "a page has at least one pixel on each side");
  }
  if (limits.max_width < 1 || limits.max_height < 1 || limits.max_area < 1) {
    throw Error(ErrorKind::kInvalidArgument, "the size limits must be positive");
  }
}

std::vector<int64_t> ScaleFactors(PixelSize page, int32_t tile_size) {
  std::vector<int64_t> factors = {1};
  while (DivideRoundingUp(page.width, factors.back()) > tile_size ||
         DivideRoundingUp(page.height, factors.back()) > tile_size) {
    factors.push_back(factors.back() * 2);
  }
  return factors;
}

std::vector<PixelSize> ListedSizes(PixelSize page, const std::vector<int64_t>& scale_factors,
                                   const std::vector<int32_t>& extra_widths,
                                   const ImageLimits& limits) {
  std::vector<PixelSize> sizes;
  for (const int64_t factor : scale_factors) {
    sizes.push_back({static_cast<int32_t>(DivideRoundingUp(page.width, factor)),
                     static_cast<int32_t>(DivideRoundingUp(page.height, factor))});
  }
  for (const int32_t width : extra_widths) {
    if (width >= 1 && width <= page.width) {
      const int64_t height = (2 * int64_t{page.height} * width + page.width) / (2 * page.width);
      sizes.push_back({width, static_cast<int32_t>(std::max<int64_t>(1, height))});
    }
  }
  std::erase_if(sizes, [&](PixelSize size) { return !WithinLimits(size, limits); });
  // A scale factor's size and an extra width may share a width but differ in
  // height by their rounding; either serves, so the first in order stays.
  std::stable_sort(sizes.begin(), sizes.end(),
                   [](PixelSize a, PixelSize b) { return a.width < b.width; });
  sizes.erase(std::unique(sizes.begin(), sizes.end(),
                          [](PixelSize a, PixelSize b) { return a.width == b.width; }),
              sizes.end());
  return sizes;
}

PixelSize LargestWithinLimits(PixelSize page, const ImageLimits& limits) {
  PixelSize size = page;
  // Below a side of the size, a limit fits 32 bits.
  if (size.width > limits.max_width) {
    const auto width = static_cast<int32_t>(limits.max_width);
    size = {width, InProportion(page.height, width, page.width)};
  }
  if (size.height > limits.max_height) {
    const auto height = static_cast<int32_t>(limits.max_height);
    size = {InProportion(page.width, height, page.height), height};
  }
  if (int64_t{size.width} * size.height > limits.max_area) {
    const double scale = std::sqrt(static_cast<double>(limits.max_area) /
                                   (static_cast<double>(page.width) * page.height));
    size = {std::clamp(static_cast<int32_t>(page.width * scale), 1, size.width),
            std::clamp(static_cast<int32_t>(page.height * scale), 1, size.height)};
    // The square root may round up by a pixel.
    while (int64_t{size.width} * size.height > limits.max_area) {
      (size.width >= size.height ? size.width : size.height) -= 1;
    }
  }
  return size;
}

}  // namespace ostrel
