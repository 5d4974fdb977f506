// A TIFF file's pages as the converter's description gives them.
#ifndef OSTREL_IIIF_PAGE_DESCRIPTION_H_
#define OSTREL_IIIF_PAGE_DESCRIPTION_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "iiif/page_content.h"

namespace ostrel {

struct PageDescription {
  int64_t width = 0;  // stored
  int64_t height = 0;
  double x_resolution = 0;  // 0 when the tag is absent
  double y_resolution = 0;
  // The resolutions are per inch or per centimetre, not without unit.
  bool physical_unit = false;
  PageContent kind = PageContent::kBilevel;
  int32_t orientation = 1;  // the Orientation tag, 1 to 8
};

struct FileDescription {
  int64_t page_count = 0;
  std::vector<PageDescription> pages;  // the first pages, at most 1000
};

// Reads the converter's description (`{"pages":N,"page":[...]}`, see the
// converter's DescribePages). Raises a type-mismatch error for text that is
// not JSON, and an invalid-argument error, naming the field, for a field
// that is missing or of the wrong type, a side below 1 or above 4294967295,
// a negative resolution, an unknown kind, an orientation outside 1 to 8, or
// more pages listed than counted.
FileDescription ReadFileDescription(std::string_view json);

}  // namespace ostrel

#endif  // OSTREL_IIIF_PAGE_DESCRIPTION_H_
