#include "helpers/configuration.h"

#include "platform/environment.h"
#include "platform/profile.h"

namespace ostrel {
namespace {

constexpr std::string_view kSection = "Converter";
constexpr std::string_view kIiifSection = "IIIF";
constexpr std::string_view kHttpSection = "HTTP";

// A lookup is told a capacity of 2046 characters, the terminating zero
// included, so at most 2045 characters of a value come back.
constexpr size_t kValueCapacity = 2046;

}  // namespace

Configuration ParseConfiguration(std::string_view contents) {
  const auto value = [contents](std::string_view key, size_t capacity = kValueCapacity,
                                std::string_view section = kSection) {
    return ProfileString(contents, section, key, "", capacity);
  };
  Configuration configuration;
  configuration.temp_dir = value("TempDir");
  configuration.extra_parameters = value("ExtraParamters");
  configuration.allowed_image_directories = value("AllowedImageDirectories", std::string::npos);
  configuration.max_request_body = value("MaxRequestBody");
  configuration.max_image_bytes = value("MaxImageBytes");
  configuration.conversion_slots = value("ConversionSlots");
  configuration.slot_wait = value("SlotWait");
  configuration.iiif_root = value("Root", std::string::npos, kIiifSection);
  configuration.iiif_max_width = value("MaxWidth", kValueCapacity, kIiifSection);
  configuration.iiif_max_height = value("MaxHeight", kValueCapacity, kIiifSection);
  configuration.iiif_max_area = value("MaxArea", kValueCapacity, kIiifSection);
  configuration.iiif_tile_size = value("TileSize", kValueCapacity, kIiifSection);
  configuration.image_cache_control = value("ImageCacheControl", kValueCapacity, kHttpSection);
  configuration.document_cache_control =
      value("DocumentCacheControl", kValueCapacity, kHttpSection);
  return configuration;
}

Configuration ReadConfiguration(std::string_view file_name) {
  std::string path(file_name);
  if (path.find('\\') == std::string::npos) {
    // The backslash is added whatever the directory ends with.
    path = ExecutableDirectory() + "\\" + path;
  }
  return ParseConfiguration(ReadProfileText(path));
}

}  // namespace ostrel
