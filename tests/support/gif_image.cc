#include "tests/support/gif_image.h"

#include <cmath>
#include <fstream>
#include <memory>
#include <stdexcept>

#include <gif_lib.h>

namespace ostrel::testing {

GifImage DecodeGif(const std::string& path) {
  GifImage image;
  {
    std::ifstream file(path, std::ios::binary);
    char signature[6] = {};
    file.read(signature, sizeof signature);
    image.signature.assign(signature, static_cast<size_t>(file.gcount()));
  }
  int error = 0;
  const std::unique_ptr<GifFileType, void (*)(GifFileType*)> gif(
      DGifOpenFileName(path.c_str(), &error), [](GifFileType* g) {
        int ignored = 0;
        DGifCloseFile(g, &ignored);
      });
  if (!gif || DGifSlurp(gif.get()) != GIF_OK || gif->ImageCount < 1 || gif->SColorMap == nullptr) {
    throw std::runtime_error("cannot decode GIF " + path);
  }
  image.width = static_cast<uint32_t>(gif->SWidth);
  image.height = static_cast<uint32_t>(gif->SHeight);
  image.image_count = gif->ImageCount;
  for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
    const GifColorType& color = gif->SColorMap->Colors[i];
    image.palette.push_back(GifColor{color.Red, color.Green, color.Blue});
  }
  GraphicsControlBlock control{};
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  if (DGifSavedExtensionToGCB(gif.get(), 0, &control) == GIF_OK) {
    image.transparent_index = control.TransparentColor;
  }
  const SavedImage& first = gif->SavedImages[0];
  if (first.ImageDesc.Width != gif->SWidth || first.ImageDesc.Height != gif->SHeight) {
    throw std::runtime_error("GIF image does not fill its screen: " + path);
  }
  image.indices.assign(first.RasterBits,
                       first.RasterBits + static_cast<size_t>(image.width) * image.height);
  return image;
}

double Psnr(const GifImage& image, const std::vector<uint32_t>& rgba) {
  double squares = 0;
  size_t samples = 0;
  for (size_t i = 0; i < rgba.size() && i < image.indices.size(); ++i) {
    if (image.indices[i] == image.transparent_index || (rgba[i] >> 24) < 128) {
      continue;
    }
    const GifColor& color = image.palette[image.indices[i]];
    for (int c = 0; c < 3; ++c) {
      const double difference = static_cast<double>(color[c]) - ((rgba[i] >> (8 * c)) & 0xff);
      squares += difference * difference;
    }
    samples += 3;
  }
  if (squares == 0) {
    return 99;
  }
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(samples) / squares);
}

}  // namespace ostrel::testing
