// What a page holds, and the image format that serves it best.
#ifndef OSTREL_IIIF_PAGE_CONTENT_H_
#define OSTREL_IIIF_PAGE_CONTENT_H_

#include <string_view>

#include "iiif/image_format.h"

namespace ostrel {

// The kinds the converter's description names (`"kind"`).
enum class PageContent { kBilevel, kGray, kPalette, kColor };

// The kind the converter's description calls `name` ("bilevel", "gray",
// "palette", "color"). Raises an invalid-argument error for any other name.
PageContent PageContentNamed(std::string_view name);

// PNG for document pages (bilevel, gray and palette), which it keeps exact
// and smaller than JPEG does; JPEG for colour pages.
ImageFormat PreferredFormat(PageContent kind);

}  // namespace ostrel

#endif  // OSTREL_IIIF_PAGE_CONTENT_H_
