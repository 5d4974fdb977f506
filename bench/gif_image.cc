#include "bench/gif_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include <gif_lib.h>

namespace ostrel::bench {

namespace {

struct Reader {
  std::string_view bytes;
  size_t position = 0;

  // giflib's input function.
  static int Read(GifFileType* gif, GifByteType* buffer, int count) {
    Reader& reader = *static_cast<Reader*>(gif->UserData);
    const size_t n = std::min(static_cast<size_t>(count), reader.bytes.size() - reader.position);
    std::memcpy(buffer, reader.bytes.data() + reader.position, n);
    reader.position += n;
    return static_cast<int>(n);
  }
};

}  // namespace

GifImage DecodeGif(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file) {
    throw std::runtime_error("cannot read GIF " + path);
  }
  try {  // names the file in the message
    return DecodeGifBytes(bytes);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(std::string(error.what()) + ": " + path);
  }
}

GifImage DecodeGifBytes(std::string_view bytes) {
  GifImage image;
  image.signature = bytes.substr(0, 6);
  Reader reader{bytes};
  int error = 0;
  const std::unique_ptr<GifFileType, void (*)(GifFileType*)> gif(
      DGifOpen(&reader, Reader::Read, &error), [](GifFileType* g) {
        int ignored = 0;
        DGifCloseFile(g, &ignored);
      });
  if (!gif || DGifSlurp(gif.get()) != GIF_OK || gif->ImageCount < 1) {
    throw std::runtime_error("cannot decode GIF");
  }
  const SavedImage& first = gif->SavedImages[0];
  const ColorMapObject* map =
      first.ImageDesc.ColorMap != nullptr ? first.ImageDesc.ColorMap : gif->SColorMap;
  if (map == nullptr) {
    throw std::runtime_error("GIF without a colour table");
  }
  image.width = static_cast<uint32_t>(gif->SWidth);
  image.height = static_cast<uint32_t>(gif->SHeight);
  image.image_count = gif->ImageCount;
  for (int i = 0; i < map->ColorCount; ++i) {
    const GifColorType& color = map->Colors[i];
    image.palette.push_back(GifColor{color.Red, color.Green, color.Blue});
  }
  GraphicsControlBlock control{};
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  if (DGifSavedExtensionToGCB(gif.get(), 0, &control) == GIF_OK) {
    image.transparent_index = control.TransparentColor;
  }
  if (first.ImageDesc.Width != gif->SWidth || first.ImageDesc.Height != gif->SHeight) {
    throw std::runtime_error("GIF image does not fill its screen");
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

}  // namespace ostrel::bench
