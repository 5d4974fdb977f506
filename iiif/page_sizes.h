// The sizes an image service offers for a whole page: its tiles' scale
// factors and the sizes it lists, all within the service's limits.
#ifndef OSTREL_IIIF_PAGE_SIZES_H_
#define OSTREL_IIIF_PAGE_SIZES_H_

#include <cstdint>
#include <vector>

#include "iiif/image_limits.h"

namespace ostrel {

struct PixelSize {
  int32_t width = 0;
  int32_t height = 0;

  bool operator==(const PixelSize&) const = default;
};

bool WithinLimits(PixelSize size, const ImageLimits& limits);

// Raises an invalid-argument error unless each side of `page` is at least
// 1 and each limit positive.
void CheckPageAndLimits(PixelSize page, const ImageLimits& limits);

// The powers of 2 from 1 up to the first at which the whole page fits one
// tile of `tile_size` square (its sides divided and rounded up, as a tile
// request at the right and lower edges is). `page` and `tile_size` are
// positive.
std::vector<int64_t> ScaleFactors(PixelSize page, int32_t tile_size);

// The whole page at each of `scale_factors` (sides divided and rounded up)
// and at each of `extra_widths` (the height in proportion, rounded, at least
// 1), ascending by width with one size per width. Sizes wider than the page
// (which would need upscaling) or beyond `limits` are left out.
std::vector<PixelSize> ListedSizes(PixelSize page, const std::vector<int64_t>& scale_factors,
                                   const std::vector<int32_t>& extra_widths,
                                   const ImageLimits& limits);

// The largest size of the whole page within `limits` that keeps its shape
// (sides rounded down, at least 1): `page` itself when it lies within them.
PixelSize LargestWithinLimits(PixelSize page, const ImageLimits& limits);

}  // namespace ostrel

#endif  // OSTREL_IIIF_PAGE_SIZES_H_
