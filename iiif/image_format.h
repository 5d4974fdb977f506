// The image formats the service writes, by their IIIF names.
#ifndef OSTREL_IIIF_IMAGE_FORMAT_H_
#define OSTREL_IIIF_IMAGE_FORMAT_H_

#include <optional>
#include <string_view>

namespace ostrel {

enum class ImageFormat { kJpg, kPng, kGif };

// The format a request names "jpg", "png" or "gif"; nothing for any other
// name.
std::optional<ImageFormat> ImageFormatNamed(std::string_view name);

// "jpg", "png", "gif".
std::string_view NameOf(ImageFormat format);

// "image/jpeg", "image/png", "image/gif".
std::string_view MediaTypeOf(ImageFormat format);

}  // namespace ostrel

#endif  // OSTREL_IIIF_IMAGE_FORMAT_H_
