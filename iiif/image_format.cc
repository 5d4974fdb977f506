#include "iiif/image_format.h"

namespace ostrel {
namespace {

constexpr struct {
  ImageFormat format;
  std::string_view name;
  std::string_view media_type;
} kFormats[] = {{ImageFormat::kJpg, "jpg", "image/jpeg"},
                {ImageFormat::kPng, "png", "image/png"},
                {ImageFormat::kGif, "gif", "image/gif"}};

}  // namespace

std::optional<ImageFormat> ImageFormatNamed(std::string_view name) {
  for (const auto& known : kFormats) {
    if (name == known.name) {
      return known.format;
    }
  }
  return std::nullopt;
}

std::string_view NameOf(ImageFormat format) {
  for (const auto& known : kFormats) {
    if (known.format == format) {
      return known.name;
    }
  }
  return {};
}

std::string_view MediaTypeOf(ImageFormat format) {
  for (const auto& known : kFormats) {
    if (known.format == format) {
      return known.media_type;
    }
  }
  return {};
}

}  // namespace ostrel
