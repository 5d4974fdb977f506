#include "iiif/pixel_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/error.h"

namespace ostrel {
namespace {

// The converter's own factor (aspect=auto), so that a page the converter
// shows with square pixels is the page whose grid is stretched here.
constexpr double kUnevenResolutionFactor = 1.2;

constexpr double kLargestSide = 2147483647;

}  // namespace

PixelSize IiifPixelGrid(const PageDescription& page) {
  double width = static_cast<double>(page.width);
  double height = static_cast<double>(page.height);
  const double x = page.x_resolution;
  const double y = page.y_resolution;
  if (page.physical_unit && x > 0 && y > 0 &&
      std::max(x, y) >= kUnevenResolutionFactor * std::min(x, y)) {
    if (x > y) {
      height = std::round(height * (x / y));
    } else {
      width = std::round(width * (y / x));
    }
  }
  if (width > kLargestSide || height > kLargestSide) {
    throw Error(ErrorKind::kInvalidArgument, "the page is too large for the image service");
  }
  PixelSize grid{static_cast<int32_t>(width), static_cast<int32_t>(height)};
  if (page.orientation >= 5) {
    std::swap(grid.width, grid.height);
  }
  return grid;
}

}  // namespace ostrel
