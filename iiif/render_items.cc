#include "iiif/render_items.h"

#include <string_view>

#include "iiif/image_format.h"

namespace ostrel {
namespace {

// "default" and "color" both ask for the page as it is.
std::string_view QualityItem(ImageQuality quality) {
  switch (quality) {
    case ImageQuality::kGray:
      return "gray";
    case ImageQuality::kBitonal:
      return "bitonal";
    case ImageQuality::kDefault:
    case ImageQuality::kColor:
      break;
  }
  return "color";
}

}  // namespace

std::string RenderItems(const ImageGeometry& geometry, int32_t page) {
  const ImageRegion& region = geometry.region;
  std::string items = "page=" + std::to_string(page) + ", aspect=stretch";
  items += ", region=" + std::to_string(region.x) + "," + std::to_string(region.y) + "," +
           std::to_string(region.width) + "," + std::to_string(region.height);
  items += ", size=" + std::to_string(geometry.width) + "," + std::to_string(geometry.height);
  items += geometry.mirror ? ", mirror=on" : ", mirror=off";
  items += ", rotate=" + std::to_string(geometry.turn);
  items += ", quality=" + std::string(QualityItem(geometry.quality));
  items += ", format=" + std::string(NameOf(geometry.format));
  return items;
}

}  // namespace ostrel
