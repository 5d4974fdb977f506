#include "iiif/page_content.h"

#include <string>

#include "platform/error.h"

namespace ostrel {

PageContent PageContentNamed(std::string_view name) {
  if (name == "bilevel") {
    return PageContent::kBilevel;
  }
  if (name == "gray") {
    return PageContent::kGray;
  }
  if (name == "palette") {
    return PageContent::kPalette;
  }
  if (name == "color") {
    return PageContent::kColor;
  }
  throw Error(ErrorKind::kInvalidArgument, "no page kind is named \"" + std::string(name) + "\"");
}

ImageFormat PreferredFormat(PageContent kind) {
  if (kind == PageContent::kColor) {
    return ImageFormat::kJpg;
  }
  return ImageFormat::kPng;
}

}  // namespace ostrel
