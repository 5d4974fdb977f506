// Compares a GIF with the TIFF page it was made from.
//   gif_check SOURCE.tif GIF
// Prints one tab-separated line: the GIF's bytes, whether its size matches,
// the pixels that differ from libtiff's rendering, and the PSNR in dB ("inf"
// when none differs). Exits 1 when either file cannot be read.
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "bench/gif_image.h"
#include "bench/source_image.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gif_check SOURCE.tif GIF\n");
    return 2;
  }
  try {
    const auto bytes = std::filesystem::file_size(argv[2]);
    const ostrel::bench::Comparison comparison = ostrel::bench::Compare(
        ostrel::bench::DecodeGif(argv[2]), ostrel::bench::RenderTiff(argv[1]));
    std::printf("%ju\t%s\t%ju\t", static_cast<uintmax_t>(bytes),
                comparison.same_size ? "yes" : "no",
                static_cast<uintmax_t>(comparison.differing_pixels));
    if (std::isinf(comparison.psnr)) {
      std::printf("inf\n");
    } else {
      std::printf("%.2f\n", comparison.psnr);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "gif_check: %s\n", error.what());
    return 1;
  }
  return 0;
}
