// Which stored pixels a region of a page's pixel grid covers, and how they
// are averaged into the output.
#ifndef OSTREL_CONVERTER_REGION_GEOMETRY_H_
#define OSTREL_CONVERTER_REGION_GEOMETRY_H_

#include <cstdint>

#include "converter/area_reduction.h"
#include "converter/conversion_options.h"
#include "converter/image_size.h"
#include "converter/tiff_page.h"
#include "converter/view_geometry.h"

namespace ostrel {

struct RegionGeometry {
  PixelRect window;      // the stored rows and columns the region covers
  AxisScale across;      // from the window's columns to the output's
  AxisScale down;        // from the window's rows to the output's
  uint16_t orientation;  // from output rows to the image's: tag, mirror, turn
  bool exact;            // each output pixel is one stored pixel
};

// The page's pixel grid in stored order, before the Orientation tag: the
// stored size, or with square pixels where both resolutions are known in
// inches or centimetres and differ by kUnevenResolutionFactor or more, the
// denser axis shortened to the sparser one's density (aspect=auto) or the
// sparser one stretched to the denser one's (aspect=stretch), rounded to
// the nearest pixel.
ImageSize PixelGrid(const TiffPage& page, const ConversionOptions& options);

// The options' region of `page`: a rectangle of the pixel grid after the
// Orientation tag (the whole grid without region=), cropped at its edges,
// at the options' size (without size=, the region's, fitted into a box of
// width= and height= after the turn), then mirrored and turned. Raises
// kBadParameter for a region outside the grid or a size larger than the
// region, kImageTooLarge where the weights of the exact average would
// exceed 2^43.
RegionGeometry PlanRegion(const TiffPage& page, const ConversionOptions& options);

// The page of `view` as a region: all of it, averaged to its reduced size,
// shown as the view says.
RegionGeometry WholePageAt(const ViewGeometry& view);

// The part of `region` that gives the output pixels of `part`, a rectangle
// of the output in stored order: its window narrowed to the stored pixels
// they cover.
RegionGeometry RegionPart(const RegionGeometry& region, const PixelRect& part);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_REGION_GEOMETRY_H_
