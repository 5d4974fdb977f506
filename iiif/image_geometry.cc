#include "iiif/image_geometry.h"

#include <algorithm>
#include <cmath>

#include "iiif/refusal.h"

namespace ostrel {
namespace {

struct Extent {
  int64_t width = 0;
  int64_t height = 0;

  bool operator==(const Extent&) const = default;
};

// `value` (not negative) to the nearest whole number, a half up. Values past
// any image's size are held at 2^40 first, so that the conversion is always
// defined and the limits still refuse them.
int64_t Nearest(double value) {
  return static_cast<int64_t>(std::floor(std::min(value, 0x1p40) + 0.5));
}

// The pixel edge at `percent` of `full`, at most the far edge.
int64_t PercentEdge(double percent, int64_t full) {
  return Nearest(std::min(percent, 100.0) * static_cast<double>(full) / 100);
}

ImageRegion RegionOf(const RegionParameter& region, int64_t full_width, int64_t full_height) {
  ImageRegion rect{0, 0, full_width, full_height};
  switch (region.form) {
    case RegionForm::kFull:
      return rect;
    case RegionForm::kSquare: {
      const int64_t side = std::min(full_width, full_height);
      return {(full_width - side) / 2, (full_height - side) / 2, side, side};
    }
    case RegionForm::kPixels:
      rect = {static_cast<int64_t>(region.x), static_cast<int64_t>(region.y),
              static_cast<int64_t>(region.width), static_cast<int64_t>(region.height)};
      break;
    case RegionForm::kPercent:
      rect.x = PercentEdge(region.x, full_width);
      rect.y = PercentEdge(region.y, full_height);
      rect.width = PercentEdge(region.x + region.width, full_width) - rect.x;
      rect.height = PercentEdge(region.y + region.height, full_height) - rect.y;
      break;
  }
  if (rect.x >= full_width || rect.y >= full_height) {
    throw Refusal(kBadRequest, "the region lies outside the image");
  }
  if (rect.width <= 0 || rect.height <= 0) {
    throw Refusal(kBadRequest, "the region has no width or no height");
  }
  rect.width = std::min(rect.width, full_width - rect.x);
  rect.height = std::min(rect.height, full_height - rect.y);
  return rect;
}

// The largest extent of `region`'s shape within `width` x `height` and
// `max_area` pixels; larger than `region` when the bounds are.
Extent Fit(const Extent& region, int64_t width, int64_t height, int64_t max_area) {
  Extent fit{width, height};
  if (width * region.height <= height * region.width) {
    fit.height = std::min(height, Nearest(static_cast<double>(region.height) *
                                          static_cast<double>(width) / region.width));
  } else {
    fit.width = std::min(width, Nearest(static_cast<double>(region.width) *
                                        static_cast<double>(height) / region.height));
  }
  if (fit.width * fit.height > max_area) {
    const double scale = std::sqrt(static_cast<double>(max_area) / region.width / region.height);
    fit = {static_cast<int64_t>(region.width * scale), static_cast<int64_t>(region.height * scale)};
    // The square root may land a hair above the area; step the longer side
    // back until it fits.
    while (fit.width * fit.height > max_area) {
      (fit.width * region.height >= fit.height * region.width ? fit.width : fit.height) -= 1;
    }
  }
  return fit;
}

// What "max" gives: the region, shrunk to fit the limits.
Extent MaxExtent(const Extent& region, const ImageLimits& limits) {
  return Fit(region, std::min(region.width, limits.max_width),
             std::min(region.height, limits.max_height), limits.max_area);
}

Extent ScaledExtent(const SizeParameter& size, const Extent& region, const ImageLimits& limits) {
  const auto proportional = [](int64_t side, int64_t given, int64_t given_side) {
    return Nearest(static_cast<double>(side) * static_cast<double>(given) / given_side);
  };
  switch (size.form) {
    case SizeForm::kMax:
      return size.upscale ? Fit(region, limits.max_width, limits.max_height, limits.max_area)
                          : MaxExtent(region, limits);
    case SizeForm::kFull:
      return region;
    case SizeForm::kWidth:
      return {size.width, proportional(region.height, size.width, region.width)};
    case SizeForm::kHeight:
      return {proportional(region.width, size.height, region.height), size.height};
    case SizeForm::kPercent:
      return {Nearest(static_cast<double>(region.width) * size.percent / 100),
              Nearest(static_cast<double>(region.height) * size.percent / 100)};
    case SizeForm::kExact:
      return {size.width, size.height};
    case SizeForm::kConfined:
      if (size.width == 0 || size.height == 0) {
        return {0, 0};
      }
      return Fit(region, std::min(size.width, limits.max_width),
                 std::min(size.height, limits.max_height), limits.max_area);
  }
  return region;
}

Extent CheckedExtent(const ImageRequest& request, const Extent& region, const ImageLimits& limits) {
  const SizeParameter& size = request.size;
  const Extent scaled = ScaledExtent(size, region, limits);
  if (scaled.width < 1 || scaled.height < 1) {
    throw Refusal(kBadRequest, "the scaled image would be less than a pixel wide or high");
  }
  if (scaled.width > limits.max_width || scaled.height > limits.max_height ||
      scaled.width * scaled.height > limits.max_area) {
    throw Refusal(kBadRequest, "the scaled image would be larger than the service's limits");
  }
  const bool strict = request.version == ApiVersion::k3 && !size.upscale;
  const bool enlarges = scaled.width > region.width || scaled.height > region.height ||
                        (size.form == SizeForm::kPercent && size.percent > 100) ||
                        (strict && size.form == SizeForm::kConfined && size.width > region.width &&
                         size.height > region.height);
  if (enlarges && strict) {
    throw Refusal(kBadRequest, "the size is larger than the region: enlarging needs \"^\"");
  }
  if (enlarges) {
    throw Refusal(kNotImplemented, "enlarging an image is not supported");
  }
  return scaled;
}

std::string CanonicalRegion(const ImageRegion& rect, int64_t full_width, int64_t full_height) {
  if (rect == ImageRegion{0, 0, full_width, full_height}) {
    return "full";
  }
  return std::to_string(rect.x) + "," + std::to_string(rect.y) + "," + std::to_string(rect.width) +
         "," + std::to_string(rect.height);
}

std::string CanonicalSize(ApiVersion version, const Extent& scaled, const Extent& region,
                          const ImageLimits& limits) {
  const std::string width = std::to_string(scaled.width) + ",";
  const std::string both = width + std::to_string(scaled.height);
  if (version == ApiVersion::k3) {
    return scaled == MaxExtent(region, limits) ? "max" : both;
  }
  // Version 2 names the unscaled region "full" and gives the width alone
  // wherever the height follows from it.
  if (scaled == region) {
    return "full";
  }
  const int64_t height_of_width = Nearest(static_cast<double>(region.height) *
                                          static_cast<double>(scaled.width) / region.width);
  return height_of_width == scaled.height ? width : both;
}

}  // namespace

ImageGeometry ComputeImageGeometry(const ImageRequest& request, int64_t full_width,
                                   int64_t full_height, const ImageLimits& limits) {
  ImageGeometry geometry;
  geometry.region = RegionOf(request.region, full_width, full_height);
  const Extent region{geometry.region.width, geometry.region.height};
  const Extent scaled = CheckedExtent(request, region, limits);
  geometry.width = scaled.width;
  geometry.height = scaled.height;
  geometry.mirror = request.mirror;
  geometry.turn = request.turn;
  geometry.quality = request.quality;
  geometry.format = request.format;
  geometry.canonical = CanonicalRegion(geometry.region, full_width, full_height) + "/" +
                       CanonicalSize(request.version, scaled, region, limits) + "/" +
                       (request.mirror ? "!" : "") + std::to_string(request.turn) + "/" +
                       std::string(NameOf(request.quality)) + "." +
                       std::string(NameOf(request.format));
  return geometry;
}

}  // namespace ostrel
