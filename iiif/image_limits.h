// The largest image the service makes, as info.json declares it, and how it
// follows from the most bytes an image may take.
#ifndef OSTREL_IIIF_IMAGE_LIMITS_H_
#define OSTREL_IIIF_IMAGE_LIMITS_H_

#include <cstdint>

namespace ostrel {

// `maxWidth`, `maxHeight` and `maxArea`: each at least 1, the sides at most
// 2147483647.
struct ImageLimits {
  int64_t max_width = 0;
  int64_t max_height = 0;
  int64_t max_area = 0;
};

// The most bytes an image of at most `area` pixels whose sides lie within
// `limits`' width and height (either way round, as a quarter turn gives
// them) can take as a GIF, a PNG or a JPEG, whatever its pixels: a bound
// from each format's worst case, not an estimate. `limits.max_area` is not
// used.
int64_t MostImageBytes(int64_t area, const ImageLimits& limits);

// `limits` with maxArea lowered, where need be, to the largest area all of
// whose images take at most `max_image_bytes` (MostImageBytes); 0 when not
// even one pixel does.
ImageLimits LimitsWithinImageBytes(ImageLimits limits, int64_t max_image_bytes);

}  // namespace ostrel

#endif  // OSTREL_IIIF_IMAGE_LIMITS_H_
