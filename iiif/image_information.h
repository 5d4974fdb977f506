// The image information document (info.json) of one page's IIIF image
// service, for Image API 3.0 and 2.1.
#ifndef OSTREL_IIIF_IMAGE_INFORMATION_H_
#define OSTREL_IIIF_IMAGE_INFORMATION_H_

#include <cstdint>
#include <string>
#include <vector>

#include "iiif/page_content.h"
#include "iiif/page_sizes.h"

namespace ostrel {

enum class ImageApiVersion { k2_1, k3_0 };

struct ImageInformation {
  // The service's base URI, absolute and without a trailing slash: the URI
  // of the info.json request without "/info.json".
  std::string id;
  // The page in the IIIF pixel grid.
  PixelSize page;
  PageContent kind = PageContent::kBilevel;
  int32_t tile_size = 512;
  // Widths to list besides the scale factors' sizes: the thumbnails' and
  // the page view's. Those that cannot be served are left out.
  std::vector<int32_t> extra_widths;
  ImageLimits limits;
  // The pages of the file; a file of more than one links to its manifest.
  int32_t page_count = 1;
  std::string manifest_id;
  // The file's name as people read it, the manifest's label.
  std::string document_name;
};

// The info.json text of `info` for `version`. Every size and tile it lists
// lies within the limits. Beyond compliance level 2 it declares mirroring,
// the profile link header, the qualities color, gray and bitonal and the
// formats png and gif (and in 2.1 square regions, optional there); it
// declares no upscaling and no arbitrary rotation. Raises an
// invalid-argument error for an empty id, a page or limit below 1, a tile
// beyond the limits, or a multi-page file without a manifest id.
std::string ImageInformationJson(const ImageInformation& info, ImageApiVersion version);

}  // namespace ostrel

#endif  // OSTREL_IIIF_IMAGE_INFORMATION_H_
