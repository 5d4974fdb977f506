// The one-process lower bound that the converter is measured against:
// decode with libtiff, index, encode with giflib, nothing else.
//   lower_bound SOURCE.tif DEST.gif
// Bilevel, gray and palette pages in strips go scanline by scanline, their
// samples as indices; everything else is rendered to RGBA in one piece and
// indexed with a crude fixed palette of 3-3-2 bits. The first page only.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <gif_lib.h>
#include <tiffio.h>

namespace {

bool EncodeRows(GifFileType* gif, uint32_t width, uint32_t height, int bits,
                const std::vector<GifColorType>& colors,
                const std::function<void(uint32_t, GifPixelType*)>& row) {
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
  bool ok = EGifPutScreenDesc(gif, static_cast<int>(width), static_cast<int>(height), bits, 0,
                              map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, static_cast<int>(width), static_cast<int>(height), false,
                             nullptr) == GIF_OK;
  GifFreeMapObject(map);
  std::vector<GifPixelType> line(width);
  for (uint32_t y = 0; ok && y < height; ++y) {
    row(y, line.data());
    ok = EGifPutLine(gif, line.data(), static_cast<int>(width)) == GIF_OK;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lower_bound SOURCE.tif DEST.gif\n");
    return 2;
  }
  const std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(argv[1], "r"), TIFFClose);
  int error = 0;
  GifFileType* gif = tiff ? EGifOpenFileName(argv[2], false, &error) : nullptr;
  if (gif == nullptr) {
    std::fprintf(stderr, "lower_bound: cannot open %s or %s\n", argv[1], argv[2]);
    return 1;
  }
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bits = 1;
  uint16_t samples = 1;
  uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  uint16_t* map[3] = {};
  const bool indexed =
      samples == 1 && (bits == 1 || bits == 8) && TIFFIsTiled(tiff.get()) == 0 &&
      (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ||
       (photometric == PHOTOMETRIC_PALETTE &&
        TIFFGetField(tiff.get(), TIFFTAG_COLORMAP, &map[0], &map[1], &map[2]) != 0));
  std::vector<GifColorType> colors(size_t{1} << (indexed ? bits : 8));
  for (size_t i = 0; i < colors.size(); ++i) {
    uint8_t value[3];
    for (int c = 0; c < 3; ++c) {
      if (!indexed) {  // 3-3-2 bits of red, green and blue
        const int shift = c == 0 ? 5 : c == 1 ? 2 : 0;
        const int levels = c == 2 ? 3 : 7;
        value[c] = static_cast<uint8_t>(((i >> shift) & levels) * 255 / levels);
      } else if (photometric == PHOTOMETRIC_PALETTE) {
        value[c] = static_cast<uint8_t>(map[c][i] >> 8);
      } else {
        const auto level = static_cast<uint8_t>(i * 255 / (colors.size() - 1));
        value[c] = photometric == PHOTOMETRIC_MINISWHITE ? 255 - level : level;
      }
    }
    colors[i] = GifColorType{value[0], value[1], value[2]};
  }
  bool ok = false;
  if (indexed) {
    std::vector<uint8_t> scanline(static_cast<size_t>(TIFFScanlineSize(tiff.get())));
    bool read = true;
    ok = EncodeRows(gif, width, height, bits, colors,
                    [&](uint32_t y, GifPixelType* line) {
                      read = read && TIFFReadScanline(tiff.get(), scanline.data(), y, 0) >= 0;
                      for (uint32_t x = 0; x < width; ++x) {
                        line[x] = bits == 8 ? scanline[x] : (scanline[x / 8] >> (7 - x % 8)) & 1;
                      }
                    }) &&
         read;
  } else {
    std::vector<uint32_t> rgba(static_cast<size_t>(width) * height);
    ok = TIFFReadRGBAImageOriented(tiff.get(), width, height, rgba.data(), ORIENTATION_TOPLEFT,
                                   0) != 0 &&
         EncodeRows(gif, width, height, 8, colors, [&](uint32_t y, GifPixelType* line) {
           for (uint32_t x = 0; x < width; ++x) {
             const uint32_t p = rgba[static_cast<size_t>(y) * width + x];
             line[x] = static_cast<GifPixelType>((p & 0xe0) | ((p >> 11) & 0x1c) | ((p >> 22) & 3));
           }
         });
  }
  if (EGifCloseFile(gif, &error) != GIF_OK || !ok) {
    std::fprintf(stderr, "lower_bound: cannot convert %s\n", argv[1]);
    return 1;
  }
  return 0;
}
