// The converter items that draw an image request's geometry.
#ifndef OSTREL_IIIF_RENDER_ITEMS_H_
#define OSTREL_IIIF_RENDER_ITEMS_H_

#include <cstdint>
#include <string>

#include "iiif/image_geometry.h"

namespace ostrel {

// The items, separated by ", ", that have the converter draw `geometry` of
// page `page` (from 1) in the page's IIIF pixel grid: square pixels by
// stretching the sparser axis, the region, its size, the mirror and turn,
// the quality and the format.
std::string RenderItems(const ImageGeometry& geometry, int32_t page);

}  // namespace ostrel

#endif  // OSTREL_IIIF_RENDER_ITEMS_H_
