#include "converter/view_geometry.h"

#include <algorithm>
#include <cmath>

#include "converter/orientation.h"

namespace ostrel {
namespace {

constexpr uint16_t kUnitInch = 2;
constexpr uint16_t kUnitCentimetre = 3;

// `length` * `numerator` / `denominator` rounded to the nearest whole
// number, at least 1; the product fits into 64 bits for any 32-bit sides.
uint32_t ScaledLength(uint32_t length, uint64_t numerator, uint64_t denominator) {
  const uint64_t scaled = (uint64_t{length} * numerator * 2 + denominator) / (denominator * 2);
  return static_cast<uint32_t>(std::max<uint64_t>(scaled, 1));
}

}  // namespace

ImageSize SquarePixelSize(const TiffPage& page, bool square_pixels) {
  const ImageSize stored{page.width, page.height};
  const double x = page.x_resolution;
  const double y = page.y_resolution;
  if (!square_pixels || x <= 0 || y <= 0 ||
      (page.resolution_unit != kUnitInch && page.resolution_unit != kUnitCentimetre) ||
      std::max(x, y) < kUnevenResolutionFactor * std::min(x, y)) {
    return stored;
  }
  if (x > y) {
    return {std::max<uint32_t>(static_cast<uint32_t>(std::lround(page.width * (y / x))), 1),
            page.height};
  }
  return {page.width,
          std::max<uint32_t>(static_cast<uint32_t>(std::lround(page.height * (x / y))), 1)};
}

ImageSize FitIntoBox(ImageSize display, uint32_t box_width, uint32_t box_height) {
  const bool too_wide = box_width != 0 && display.width > box_width;
  const bool too_high = box_height != 0 && display.height > box_height;
  if (too_wide || too_high) {
    // The side whose box is the tighter fraction of it decides the scale:
    // box_width / width <= box_height / height, compared without division.
    const bool width_decides = too_wide && (!too_high || uint64_t{box_width} * display.height <=
                                                             uint64_t{box_height} * display.width);
    if (width_decides) {
      const uint32_t height = ScaledLength(display.height, box_width, display.width);
      display = {box_width, box_height != 0 ? std::min(height, box_height) : height};
    } else {
      const uint32_t width = ScaledLength(display.width, box_height, display.height);
      display = {box_width != 0 ? std::min(width, box_width) : width, box_height};
    }
  }
  return display;
}

ViewGeometry PlanView(const TiffPage& page, const ConversionOptions& options) {
  ViewGeometry view;
  view.stored = {page.width, page.height};
  view.orientation = TurnedClockwise(page.orientation, options.rotate);
  const ImageSize square = SquarePixelSize(page, options.square_pixels);
  const ImageSize display =
      FitIntoBox(DisplaySize(view.orientation, square), options.box_width, options.box_height);
  view.display = display;
  view.reduced = DisplaySize(view.orientation, display);  // turned back: the same swap
  return view;
}

}  // namespace ostrel
