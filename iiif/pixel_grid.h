// The pixel grid of a page's IIIF image: square pixels, the page as it is
// meant to be seen.
#ifndef OSTREL_IIIF_PIXEL_GRID_H_
#define OSTREL_IIIF_PIXEL_GRID_H_

#include "iiif/page_description.h"
#include "iiif/page_sizes.h"

namespace ostrel {

// Where the resolutions (per inch or centimetre) differ by a factor of 1.2
// or more, the converter's rule for uneven pixels, the sparser axis
// stretched to the denser one's resolution, rounded to the nearest pixel:
// every stored pixel keeps its own column and row (a 1728 x 1123 fax at
// 204 x 98 dpi becomes 1728 x 2338). Then the Orientation tag applied: the
// sides swapped for orientations 5 to 8. Raises an invalid-argument error
// when a side would exceed 2147483647.
PixelSize IiifPixelGrid(const PageDescription& page);

}  // namespace ostrel

#endif  // OSTREL_IIIF_PIXEL_GRID_H_
