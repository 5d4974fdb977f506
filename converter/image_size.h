// The width and height of an image in pixels, as stored or as displayed,
// and rectangles of its pixels.
#ifndef OSTREL_CONVERTER_IMAGE_SIZE_H_
#define OSTREL_CONVERTER_IMAGE_SIZE_H_

#include <cstdint>

namespace ostrel {

struct ImageSize {
  uint32_t width = 0;
  uint32_t height = 0;
  bool operator==(const ImageSize&) const = default;
};

// A rectangle of whole pixels: its left column, top row and size.
struct PixelRect {
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  bool operator==(const PixelRect&) const = default;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_IMAGE_SIZE_H_
