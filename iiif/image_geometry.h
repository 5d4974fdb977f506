// What an image request asks of one image: the rectangle to take, the size
// to scale it to, the turn, and the request's canonical form.
#ifndef OSTREL_IIIF_IMAGE_GEOMETRY_H_
#define OSTREL_IIIF_IMAGE_GEOMETRY_H_

#include <cstdint>
#include <string>

#include "iiif/image_format.h"
#include "iiif/image_limits.h"
#include "iiif/image_request.h"

namespace ostrel {

struct ImageRegion {
  int64_t x = 0;
  int64_t y = 0;
  int64_t width = 0;
  int64_t height = 0;

  bool operator==(const ImageRegion&) const = default;
};

struct ImageGeometry {
  ImageRegion region;  // in the full image's pixels, inside the image
  int64_t width = 0;   // the region scaled, before the turn: a turn of 90 or
  int64_t height = 0;  // 270 makes the image sent height x width
  bool mirror = false;
  int32_t turn = 0;
  ImageQuality quality = ImageQuality::kDefault;
  ImageFormat format = ImageFormat::kJpg;
  // "{region}/{size}/{rotation}/{quality}.{format}" in the canonical syntax
  // of the request's version: the same for every request of the same image.
  std::string canonical;
};

// The geometry of `request` on an image of `full_width` x `full_height`
// pixels (each from 1 to 2147483647), in the order of the IIIF Image API:
// region, then size, then mirror and turn.
//
// Region: cropped at the image's edge; "square" is centred (the odd pixel
// right of or below it); a percentage edge is rounded to the nearest pixel,
// a half up, each edge on its own, so that regions meeting at a percentage
// meet at a pixel. Size: a side computed from the other ("w,", ",h", "pct:n")
// is rounded to the nearest pixel, a half up; "!w,h" gives the bounding
// side exactly and rounds the other; "max" (and "!w,h") shrink to fit
// `limits`, rounding down where the area limits.
//
// Raises a refusal with status 400 when the region lies wholly outside the
// image or has no width or height; when the scaled image would be less than
// a pixel on a side or beyond `limits`; in version 3 without "^", when it
// would be larger than the region or "!w,h" names a box larger than the
// region on both sides. Raises a refusal with status 501 for enlarging,
// which the converter does not do: "^" that needs it, or a version 2 size
// larger than the region.
ImageGeometry ComputeImageGeometry(const ImageRequest& request, int64_t full_width,
                                   int64_t full_height, const ImageLimits& limits);

}  // namespace ostrel

#endif  // OSTREL_IIIF_IMAGE_GEOMETRY_H_
