#include "bench/source_image.h"

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>

#include <tiffio.h>

namespace ostrel::bench {

SourceImage RenderTiff(const std::string& path, int page) {
  const std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(path.c_str(), "r"), TIFFClose);
  if (!tiff) {
    throw std::runtime_error("cannot open " + path);
  }
  SourceImage image;
  const bool ok = TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page - 1)) != 0 &&
                  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &image.width) != 0 &&
                  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &image.height) != 0;
  if (ok) {
    image.rgba.resize(static_cast<size_t>(image.width) * image.height);
  }
  if (!ok || TIFFReadRGBAImageOriented(tiff.get(), image.width, image.height, image.rgba.data(),
                                       ORIENTATION_TOPLEFT, 1) == 0) {
    throw std::runtime_error("cannot render " + path);
  }
  return image;
}

Comparison Compare(const GifImage& gif, const SourceImage& source) {
  Comparison result;
  result.same_size = gif.width == source.width && gif.height == source.height;
  if (!result.same_size) {
    return result;
  }
  double squares = 0;
  for (size_t i = 0; i < source.rgba.size(); ++i) {
    const uint8_t index = gif.indices[i];
    const bool transparent = index == gif.transparent_index;
    const GifColor color =
        transparent || index >= gif.palette.size() ? GifColor{255, 255, 255} : gif.palette[index];
    const uint32_t pixel = source.rgba[i];
    const uint32_t white = 255 - (pixel >> 24);  // premultiplied colour plus white's share
    bool differs = false;
    for (int c = 0; c < 3; ++c) {
      const int want = static_cast<int>(((pixel >> (8 * c)) & 0xff) + white);
      const int difference = color[c] - std::min(want, 255);
      squares += difference * difference;
      differs = differs || difference != 0;
    }
    result.differing_pixels += differs ? 1 : 0;
  }
  result.psnr = squares == 0 ? std::numeric_limits<double>::infinity()
                             : 10 * std::log10(255.0 * 255.0 * 3.0 *
                                               static_cast<double>(source.rgba.size()) / squares);
  return result;
}

}  // namespace ostrel::bench
