// A GIF file decoded with giflib, for checking what the converter and
// other tools wrote.
#ifndef OSTREL_BENCH_GIF_IMAGE_H_
#define OSTREL_BENCH_GIF_IMAGE_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::bench {

using GifColor = std::array<uint8_t, 3>;  // red, green, blue

struct GifImage {
  std::string signature;  // "GIF89a" or "GIF87a"
  uint32_t width = 0;
  uint32_t height = 0;
  int image_count = 0;
  std::vector<GifColor> palette;  // the global colour table
  int transparent_index = -1;     // from the graphics control extension
  std::vector<uint8_t> indices;   // width * height, top row first

  uint8_t IndexAt(uint32_t x, uint32_t y) const { return indices[y * width + x]; }
  GifColor ColorAt(uint32_t x, uint32_t y) const { return palette[IndexAt(x, y)]; }
  bool TransparentAt(uint32_t x, uint32_t y) const { return IndexAt(x, y) == transparent_index; }
};

// Decodes the first image of the GIF file at `path`. Raises
// std::runtime_error when giflib cannot read it.
GifImage DecodeGif(const std::string& path);

// The same for a GIF file held in memory.
GifImage DecodeGifBytes(std::string_view bytes);

// Peak signal-to-noise ratio in dB of `image`'s colours against the
// reference `rgba` (0xAABBGGRR, as libtiff renders) over the pixels that are
// opaque in both; 99 for identical pixels.
double Psnr(const GifImage& image, const std::vector<uint32_t>& rgba);

}  // namespace ostrel::bench

#endif  // OSTREL_BENCH_GIF_IMAGE_H_
