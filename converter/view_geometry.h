// What size and which way up a page is shown: square pixels from its
// resolution, its Orientation tag, a requested turn and a box to fit into.
#ifndef OSTREL_CONVERTER_VIEW_GEOMETRY_H_
#define OSTREL_CONVERTER_VIEW_GEOMETRY_H_

#include <cstdint>

#include "converter/conversion_options.h"
#include "converter/image_size.h"
#include "converter/tiff_page.h"

namespace ostrel {

// Resolutions that differ by this factor or more are corrected; below it a
// page's pixels are shown as they are.
inline constexpr double kUnevenResolutionFactor = 1.2;

struct ViewGeometry {
  ImageSize stored;      // the page as stored
  ImageSize reduced;     // the stored rows and columns after reduction
  uint16_t orientation;  // from reduced rows to the image's: the tag's, then the turn
  ImageSize display;     // the image's size

  bool reduces() const { return !(reduced == stored); }
};

// The stored size with square pixels: where both resolutions are known in
// inches or centimetres and differ by kUnevenResolutionFactor or more, the
// denser axis is shortened to the other's density, rounded to the nearest
// pixel and at least 1. Otherwise, or without `square_pixels`, the stored
// size.
ImageSize SquarePixelSize(const TiffPage& page, bool square_pixels);

// `display` fitted into a box of `box_width` x `box_height` (a side of 0
// leaves that side unbounded), keeping its shape, rounded to the nearest
// pixel, and never enlarged.
ImageSize FitIntoBox(ImageSize display, uint32_t box_width, uint32_t box_height);

// The view of `page` for the options' aspect, rotate and box: square pixels
// first, then the Orientation tag, then the turn clockwise; the turned
// picture is fitted into the box (either side alone bounds that side),
// keeping its shape and never enlarged.
ViewGeometry PlanView(const TiffPage& page, const ConversionOptions& options);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_VIEW_GEOMETRY_H_
