// The IIIF service's settings: the section "IIIF" of the configuration read
// into values, with their defaults.
#ifndef OSTREL_IIIF_IIIF_SETTINGS_H_
#define OSTREL_IIIF_IIIF_SETTINGS_H_

#include <cstdint>
#include <string>

#include "helpers/configuration.h"
#include "iiif/image_limits.h"

namespace ostrel {

// The largest image made by default: 10000 pixels a side, 16777216 pixels
// (4096 x 4096, 64 MB as RGBA) in all. Far beyond any screen, far below what
// the converter's memory bound holds.
inline constexpr ImageLimits kDefaultImageLimits{10000, 10000, 16777216};
inline constexpr int32_t kDefaultTileSize = 512;

struct IiifSettings {
  // Root: the directories whose TIFF files the service names, separated by
  // ";" as AllowedImageDirectories; empty, the service names none.
  std::string roots;
  ImageLimits limits = kDefaultImageLimits;
  int32_t tile_size = kDefaultTileSize;
};

// The settings of `configuration`, a default for each key that is empty,
// the area lowered where need be so that no image within the limits can take
// more than MaxImageBytes (see LimitsWithinImageBytes). Raises an
// invalid-argument error naming the key for a value that is not ASCII digits
// alone from 1 to 2147483647, for a tile size beyond the limits, and as
// MaxImageBytes raises.
IiifSettings ReadIiifSettings(const Configuration& configuration);

}  // namespace ostrel

#endif  // OSTREL_IIIF_IIIF_SETTINGS_H_
