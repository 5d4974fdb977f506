#include "converter/region_geometry.h"

#include <cmath>
#include <numeric>
#include <string>

#include "converter/conversion_failure.h"
#include "converter/orientation.h"
#include "converter/view_geometry.h"

namespace ostrel {
namespace {

constexpr uint16_t kUnitInch = 2;
constexpr uint16_t kUnitCentimetre = 3;

// Within it, sums of 8-bit values weighted so stay exact through
// RoundedMeans.
constexpr uint64_t kMostTotalWeight = uint64_t{1} << 43;

// One axis: grid pixels [first, first + count) of a grid of `grid` pixels
// over `stored` stored ones, at `output` pixels. A stored pixel is
// output * grid' units long, a grid pixel output * stored' (the primes:
// divided by their greatest common divisor), an output pixel count *
// stored'.
struct AxisPlan {
  uint32_t first_stored;
  AxisScale scale;
};

AxisPlan PlanAxis(uint32_t stored, uint32_t grid, uint32_t first, uint32_t count, uint32_t output) {
  const uint64_t divisor = std::gcd(uint64_t{stored}, uint64_t{grid});
  const uint64_t stored_part = stored / divisor;
  const uint64_t grid_part = grid / divisor;
  const uint64_t start = first * stored_part;  // in grid' units of a stored pixel
  const auto first_stored = static_cast<uint32_t>(start / grid_part);
  const auto end_stored =
      static_cast<uint32_t>(((uint64_t{first} + count) * stored_part + grid_part - 1) / grid_part);
  return {first_stored, AxisScale{end_stored - first_stored, output, output * grid_part,
                                  output * (start % grid_part), count * stored_part}};
}

Error BadRegion(const std::string& what) {
  return ConversionError(ConversionFailure::kBadParameter, what);
}

}  // namespace

ImageSize PixelGrid(const TiffPage& page, const ConversionOptions& options) {
  if (!options.stretch_pixels) {
    return SquarePixelSize(page, options.square_pixels);
  }
  const double x = page.x_resolution;
  const double y = page.y_resolution;
  if (x <= 0 || y <= 0 ||
      (page.resolution_unit != kUnitInch && page.resolution_unit != kUnitCentimetre) ||
      std::max(x, y) < kUnevenResolutionFactor * std::min(x, y)) {
    return {page.width, page.height};
  }
  // As the image service computes its grid, to the same rounding.
  const double width = x < y ? std::round(page.width * (y / x)) : page.width;
  const double height = x > y ? std::round(page.height * (x / y)) : page.height;
  if (width > 2147483647 || height > 2147483647) {
    throw ConversionError(ConversionFailure::kImageTooLarge, "the page's pixel grid is too large");
  }
  return {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
}

RegionGeometry WholePageAt(const ViewGeometry& view) {
  const ImageSize& stored = view.stored;
  const ImageSize& reduced = view.reduced;
  return RegionGeometry{
      .window = {0, 0, stored.width, stored.height},
      .across = AxisScale{stored.width, reduced.width, reduced.width, 0, stored.width},
      .down = AxisScale{stored.height, reduced.height, reduced.height, 0, stored.height},
      .orientation = view.orientation,
      .exact = reduced == stored};
}

RegionGeometry RegionPart(const RegionGeometry& region, const PixelRect& part) {
  const auto narrowed = [](const AxisScale& axis, uint32_t first, uint32_t count) {
    const uint64_t start = axis.offset + first * axis.step;
    const uint64_t end = start + count * axis.step;
    const auto first_source = static_cast<uint32_t>(start / axis.unit);
    const auto end_source = static_cast<uint32_t>((end + axis.unit - 1) / axis.unit);
    return AxisPlan{first_source, AxisScale{end_source - first_source, count, axis.unit,
                                            start - first_source * axis.unit, axis.step}};
  };
  const AxisPlan across = narrowed(region.across, part.x, part.width);
  const AxisPlan down = narrowed(region.down, part.y, part.height);
  RegionGeometry narrowed_region = region;
  narrowed_region.window = {region.window.x + across.first_stored,
                            region.window.y + down.first_stored, across.scale.source,
                            down.scale.source};
  narrowed_region.across = across.scale;
  narrowed_region.down = down.scale;
  return narrowed_region;
}

RegionGeometry PlanRegion(const TiffPage& page, const ConversionOptions& options) {
  const ImageSize grid = PixelGrid(page, options);
  const ImageSize shown = DisplaySize(page.orientation, grid);
  PixelRect region{0, 0, shown.width, shown.height};
  if (options.region) {
    region = *options.region;
    if (region.x >= shown.width || region.y >= shown.height) {
      throw BadRegion("region outside the page (" + std::to_string(shown.width) + " x " +
                      std::to_string(shown.height) + ")");
    }
    region.width = std::min(region.width, shown.width - region.x);
    region.height = std::min(region.height, shown.height - region.y);
  }
  ImageSize output{region.width, region.height};
  if (options.size) {
    output = *options.size;
    if (output.width > region.width || output.height > region.height) {
      throw BadRegion("size larger than the region (" + std::to_string(region.width) + " x " +
                      std::to_string(region.height) + ")");
    }
  } else {
    // The box bounds the turned picture.
    const ImageSize turned = DisplaySize(TurnedClockwise(1, options.rotate), output);
    output = DisplaySize(TurnedClockwise(1, options.rotate),
                         FitIntoBox(turned, options.box_width, options.box_height));
  }
  const PixelRect in_grid = StoredRect(page.orientation, grid, region);
  const ImageSize stored_output = DisplaySize(page.orientation, output);
  const AxisPlan across =
      PlanAxis(page.width, grid.width, in_grid.x, in_grid.width, stored_output.width);
  const AxisPlan down =
      PlanAxis(page.height, grid.height, in_grid.y, in_grid.height, stored_output.height);
  if (across.scale.step > kMostTotalWeight / down.scale.step) {
    throw ConversionError(ConversionFailure::kImageTooLarge,
                          "region too large to average exactly at this size");
  }
  const uint16_t shown_orientation = options.mirror ? Mirrored(page.orientation) : page.orientation;
  return RegionGeometry{
      .window = {across.first_stored, down.first_stored, across.scale.source, down.scale.source},
      .across = across.scale,
      .down = down.scale,
      .orientation = TurnedClockwise(shown_orientation, options.rotate),
      .exact = grid == ImageSize{page.width, page.height} &&
               output == ImageSize{region.width, region.height}};
}

}  // namespace ostrel
