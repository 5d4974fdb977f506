// The IIIF Presentation API 3.0 Manifest of a file: one Canvas per page,
// each painted by that page's image service.
#ifndef OSTREL_IIIF_MANIFEST_H_
#define OSTREL_IIIF_MANIFEST_H_

#include <string>
#include <string_view>
#include <vector>

#include "helpers/json_writer.h"
#include "iiif/page_content.h"
#include "iiif/page_sizes.h"

namespace ostrel {

struct ManifestPage {
  // The base URI of the page's Image API 3.0 service.
  std::string service_id;
  // The page in the IIIF pixel grid, which its Canvas takes as well.
  PixelSize size;
  PageContent kind = PageContent::kBilevel;
};

struct Manifest {
  // The manifest's own URI.
  std::string id;
  // The file's name as people read it.
  std::string name;
  // The image services' limits; each page's image is named at the largest
  // size within them.
  ImageLimits limits;
  std::vector<ManifestPage> pages;
};

// The Manifest's JSON text: labelled with the name, `behavior` paged when
// there is more than one page, Canvas n (from 1) at "{id}/canvas/n" labelled
// "Page n". Raises an invalid-argument error for an empty id, no pages, a
// page without a service id or with a side below 1, or limits below 1.
std::string ManifestJson(const Manifest& manifest);

// Writes `text` as a label: a language map holding it under "none", the
// language of a file name or a page number.
void WriteLabel(JsonWriter& json, std::string_view text);

}  // namespace ostrel

#endif  // OSTREL_IIIF_MANIFEST_H_
