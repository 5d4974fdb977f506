// Pictures decoded to RGBA for comparing the converter's formats: PNG
// (libpng) and JPEG (libjpeg) files, a GIF's pixels and libtiff's rendering.
#ifndef OSTREL_TESTS_SUPPORT_PICTURE_H_
#define OSTREL_TESTS_SUPPORT_PICTURE_H_

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tests/support/gif_image.h"

namespace ostrel::testing {

using Rgba8 = std::array<uint8_t, 4>;  // red, green, blue, alpha

struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<Rgba8> pixels;  // width * height, top row first
  int components = 0;         // JPEG: 1 for gray, 3 for colour
};

// What a PNG's chunks say about its form.
struct PngForm {
  int bit_depth = 0;
  int color_type = -1;  // 0 gray, 2 RGB, 3 palette, 4 gray and alpha, 6 RGBA
  int palette_entries = 0;
  bool has_transparency = false;  // a tRNS chunk
};

// Raise std::runtime_error for anything but a whole, valid file.
Picture DecodePng(std::string_view bytes);
PngForm ReadPngForm(std::string_view bytes);
Picture DecodeJpegPicture(std::string_view bytes);

// A GIF's pixels, its transparent entry as alpha 0; libtiff's rendering
// (0xAABBGGRR, premultiplied) with its colours as they were before
// premultiplying (alpha 0: transparent black).
Picture PictureOfGif(const GifImage& gif);
Picture PictureOfRgba(const std::vector<uint32_t>& rgba, uint32_t width, uint32_t height);

// The pixels that differ, alpha compared everywhere and colour where alpha
// is not 0; -1 for pictures of different sizes.
int Differences(const Picture& got, const Picture& want);

// PSNR in dB of `got`'s colours against `want`'s shown over white; 99 for
// identical pixels.
double PsnrOverWhite(const Picture& got, const Picture& want);

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_PICTURE_H_
