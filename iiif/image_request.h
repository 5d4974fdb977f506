// The parameters of a IIIF image request read into values: region, size,
// rotation, quality and format, in the syntax of either API version.
#ifndef OSTREL_IIIF_IMAGE_REQUEST_H_
#define OSTREL_IIIF_IMAGE_REQUEST_H_

#include <cstdint>
#include <string_view>

#include "iiif/iiif_path.h"
#include "iiif/image_format.h"

namespace ostrel {

enum class RegionForm { kFull, kSquare, kPixels, kPercent };

struct RegionParameter {
  RegionForm form = RegionForm::kFull;
  // kPixels: whole pixels; kPercent: percentages of the full image's width
  // (x, width) and height (y, height).
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

enum class SizeForm {
  kMax,       // "max"
  kFull,      // "full", version 2 only: the region unscaled
  kWidth,     // "w,"
  kHeight,    // ",h"
  kPercent,   // "pct:n"
  kExact,     // "w,h"
  kConfined,  // "!w,h"
};

struct SizeParameter {
  SizeForm form = SizeForm::kMax;
  bool upscale = false;  // version 3's "^": the result may be larger than the region
  int64_t width = 0;     // kWidth, kExact, kConfined
  int64_t height = 0;    // kHeight, kExact, kConfined
  double percent = 0;    // kPercent
};

enum class ImageQuality { kDefault, kColor, kGray, kBitonal };

struct ImageRequest {
  ApiVersion version = ApiVersion::k3;
  RegionParameter region;
  SizeParameter size;
  bool mirror = false;  // reflected on the vertical axis before the turn
  int32_t turn = 0;     // clockwise degrees: 0, 90, 180 or 270
  ImageQuality quality = ImageQuality::kDefault;
  ImageFormat format = ImageFormat::kJpg;
};

// Reads `parameters` in `version`'s syntax. Pixels are ASCII digits alone up
// to 2147483647; percentages and the angle are digits with at most one ".",
// nothing else (no sign, blank or exponent). The angle runs from 0 to 360,
// 360 being a whole turn. Raises a refusal with status 400 for a value
// outside that syntax, a form the version does not have ("^" and size "full"
// are each one version's), a quality other than default, color, gray or
// bitonal, a format other than jpg, png or gif; with status 501 for an angle
// that is no multiple of 90. The parameters are read in their order and the
// first wrong one is the one refused.
ImageRequest ParseImageRequest(ApiVersion version, const ImageParameters& parameters);

// The name a request gives: "default", "bitonal".
std::string_view NameOf(ImageQuality quality);

}  // namespace ostrel

#endif  // OSTREL_IIIF_IMAGE_REQUEST_H_
