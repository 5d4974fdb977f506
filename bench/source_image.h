// A TIFF page as libtiff itself renders it: the reference that converted
// GIFs are compared with.
#ifndef OSTREL_BENCH_SOURCE_IMAGE_H_
#define OSTREL_BENCH_SOURCE_IMAGE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "bench/gif_image.h"

namespace ostrel::bench {

struct SourceImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> rgba;  // top row first, 0xAABBGGRR, colour premultiplied by alpha
};

// Page `page` (from 1) of `path` through TIFFReadRGBAImageOriented. Raises
// std::runtime_error when libtiff cannot open or render it.
SourceImage RenderTiff(const std::string& path, int page = 1);

// How a GIF compares with its source, both laid over white: a transparent
// GIF pixel is white, a source pixel's colour is blended with white by its
// alpha. Red, green and blue of every pixel count.
struct Comparison {
  bool same_size = false;
  uint64_t differing_pixels = 0;
  double psnr = 0;  // dB; infinite when no pixel differs
};
Comparison Compare(const GifImage& gif, const SourceImage& source);

}  // namespace ostrel::bench

#endif  // OSTREL_BENCH_SOURCE_IMAGE_H_
