// The largest image the service makes, as info.json declares it.
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

}  // namespace ostrel

#endif  // OSTREL_IIIF_IMAGE_LIMITS_H_
