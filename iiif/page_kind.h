// What a page holds, and the image format that serves it best.
#ifndef OSTREL_IIIF_PAGE_KIND_H_
#define OSTREL_IIIF_PAGE_KIND_H_

#include <string_view>

namespace ostrel {

// The kinds the converter's description names (`"kind"`).
enum class PageKind { kBilevel, kGray, kPalette, kColor };

struct ImageFormat {
  std::string_view extension;   // the IIIF format parameter: "png"
  std::string_view media_type;  // "image/png"
};

// The kind the converter's description calls `name` ("bilevel", "gray",
// "palette", "color"). Raises an invalid-argument error for any other name.
PageKind PageKindNamed(std::string_view name);

// PNG for document pages (bilevel, gray and palette), which it keeps exact
// and smaller than JPEG does; JPEG for colour pages.
ImageFormat PreferredFormat(PageKind kind);

}  // namespace ostrel

#endif  // OSTREL_IIIF_PAGE_KIND_H_
