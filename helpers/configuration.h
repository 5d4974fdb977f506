// The program's configuration: the settings of Varnow.ini beside the
// executable, read once for a request so that every part of it sees the same
// version of the file.
#ifndef OSTREL_HELPERS_CONFIGURATION_H_
#define OSTREL_HELPERS_CONFIGURATION_H_

#include <string>
#include <string_view>

namespace ostrel {

// Each setting as the file gives it, empty where the key is missing.
// Values end at their first NUL byte; all but the allow-list keep at most
// 2045 characters, as configurations written for a buffer of that size
// expect.
struct Configuration {
  std::string temp_dir;          // TempDir: where the temporary output goes
  std::string extra_parameters;  // ExtraParamters: items for every converter call
  // AllowedImageDirectories, whole however long: a cut would change which
  // directory its last entry names.
  std::string allowed_image_directories;
  std::string max_request_body;  // MaxRequestBody: the largest POST body, in bytes
  std::string max_image_bytes;   // MaxImageBytes: the largest image file a conversion writes
  // ConversionSlots: how many conversions run at once; SlotWait: how many
  // seconds a request waits for one of them.
  std::string conversion_slots;
  std::string slot_wait;
  // The section "IIIF": the image service's directories (Root, a list like
  // AllowedImageDirectories and as long), the largest image it makes and
  // the side of its tiles.
  std::string iiif_root;
  std::string iiif_max_width;   // MaxWidth
  std::string iiif_max_height;  // MaxHeight
  std::string iiif_max_area;    // MaxArea
  std::string iiif_tile_size;   // TileSize
  // The section "HTTP": the Cache-Control values of the responses that
  // carry validators, images and documents (image information, manifests,
  // descriptions).
  std::string image_cache_control;     // ImageCacheControl
  std::string document_cache_control;  // DocumentCacheControl
};

// The settings of the sections "Converter", "IIIF" and "HTTP" in `contents`, the
// text of a configuration file.
Configuration ParseConfiguration(std::string_view contents);

// The configuration in the file `file_name`; a name without any "\" names a
// file in the executable's directory. Only a missing file means "no
// configuration": a file that exists but cannot be read (no permission, a
// directory or a FIFO in its place, a symbolic link whose target is missing)
// raises, so that a setting such as an allow-list is never dropped silently.
Configuration ReadConfiguration(std::string_view file_name = "Varnow.ini");

}  // namespace ostrel

#endif  // OSTREL_HELPERS_CONFIGURATION_H_
