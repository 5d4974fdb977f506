#include "iiif/iiif_settings.h"

#include <charconv>
#include <string>
#include <string_view>

#include "conversion/conversion_limits.h"
#include "iiif/page_sizes.h"
#include "platform/error.h"

namespace ostrel {
namespace {

// `text` as a whole number from 1 to 2147483647, or `default_value` when it
// is empty.
int32_t PositiveSetting(std::string_view key, std::string_view text, int64_t default_value) {
  if (text.empty()) {
    return static_cast<int32_t>(default_value);
  }
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.front() < '0' || text.front() > '9' || error != std::errc() ||
      end != text.data() + text.size() || value < 1) {
    throw Error(ErrorKind::kInvalidArgument,
                "IIIF " + std::string(key) + " must be a whole number from 1 to 2147483647");
  }
  return value;
}

}  // namespace

IiifSettings ReadIiifSettings(const Configuration& configuration) {
  IiifSettings settings;
  settings.roots = configuration.iiif_root;
  settings.limits.max_width =
      PositiveSetting("MaxWidth", configuration.iiif_max_width, kDefaultImageLimits.max_width);
  settings.limits.max_height =
      PositiveSetting("MaxHeight", configuration.iiif_max_height, kDefaultImageLimits.max_height);
  settings.limits.max_area =
      PositiveSetting("MaxArea", configuration.iiif_max_area, kDefaultImageLimits.max_area);
  const int64_t configured_area = settings.limits.max_area;
  // No image within the limits may be one the converter refuses as too
  // large, whatever its format and pixels.
  settings.limits = LimitsWithinImageBytes(settings.limits, MaxImageBytes(configuration));
  settings.tile_size = PositiveSetting("TileSize", configuration.iiif_tile_size, kDefaultTileSize);
  if (!WithinLimits({settings.tile_size, settings.tile_size}, settings.limits)) {
    throw Error(ErrorKind::kInvalidArgument,
                settings.limits.max_area < configured_area
                    ? "IIIF TileSize must lie within the limits, MaxArea lowered to " +
                          std::to_string(settings.limits.max_area) + " by MaxImageBytes"
                    : std::string("IIIF TileSize must lie within the limits"));
  }
  return settings;
}

}  // namespace ostrel
