#include "iiif/page_kind.h"

#include <string>

#include "platform/error.h"

namespace ostrel {

PageKind PageKindNamed(std::string_view name) {
  if (name == "bilevel") {
    return PageKind::kBilevel;
  }
  if (name == "gray") {
    return PageKind::kGray;
  }
  if (name == "palette") {
    return PageKind::kPalette;
  }
  if (name == "color") {
    return PageKind::kColor;
  }
  throw Error(ErrorKind::kInvalidArgument, "no page kind is named \"" + std::string(name) + "\"");
}

ImageFormat PreferredFormat(PageKind kind) {
  if (kind == PageKind::kColor) {
    return {"jpg", "image/jpeg"};
  }
  return {"png", "image/png"};
}

}  // namespace ostrel
