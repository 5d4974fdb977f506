// libtiff's RGBA pixels (TIFFGetR and its kin: 0xAABBGGRR, colour
// premultiplied by alpha), as every colour path receives them, taken apart.
#ifndef OSTREL_CONVERTER_RGBA_PIXEL_H_
#define OSTREL_CONVERTER_RGBA_PIXEL_H_

#include <algorithm>
#include <cstdint>

namespace ostrel {

inline uint32_t AlphaOf(uint32_t pixel) { return pixel >> 24; }

// A premultiplied channel value taken back to what it was before, rounded,
// for an alpha of 1 to 255.
inline uint32_t UnpremultipliedChannel(uint32_t value, uint32_t alpha) {
  return std::min(255u, (value * 255 + alpha / 2) / alpha);
}

// Red, green, blue and alpha, the colour as it was before premultiplying;
// a pixel of alpha 0 is transparent black.
struct Rgba {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 0;
};

inline Rgba Unpremultiplied(uint32_t pixel) {
  const uint32_t alpha = AlphaOf(pixel);
  if (alpha == 255) {
    return {static_cast<uint8_t>(pixel), static_cast<uint8_t>(pixel >> 8),
            static_cast<uint8_t>(pixel >> 16), 255};
  }
  if (alpha == 0) {
    return {};
  }
  return {static_cast<uint8_t>(UnpremultipliedChannel(pixel & 0xff, alpha)),
          static_cast<uint8_t>(UnpremultipliedChannel(pixel >> 8 & 0xff, alpha)),
          static_cast<uint8_t>(UnpremultipliedChannel(pixel >> 16 & 0xff, alpha)),
          static_cast<uint8_t>(alpha)};
}

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_RGBA_PIXEL_H_
