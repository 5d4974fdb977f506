#include "converter/page_classification.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include <tiffio.h>

#include "converter/conversion_failure.h"
#include "converter/indexed_rows.h"
#include "converter/palette.h"
#include "converter/rgb.h"

namespace ostrel {
namespace {

// Some writers store 8-bit colormaps although the format says 16 bits;
// libtiff's renderer takes a map with no entry above 255 for one of them,
// and so does this reader.
Palette ColormapOf(const uint16_t* red, const uint16_t* green, const uint16_t* blue, size_t count) {
  bool eight_bit = true;
  for (size_t i = 0; i < count; ++i) {
    eight_bit = eight_bit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
  }
  Palette palette(count);
  for (size_t i = 0; i < count; ++i) {
    palette[i] = eight_bit ? Rgb{static_cast<uint8_t>(red[i]), static_cast<uint8_t>(green[i]),
                                 static_cast<uint8_t>(blue[i])}
                           : Rgb{EightBitsOf(red[i]), EightBitsOf(green[i]), EightBitsOf(blue[i])};
  }
  return palette;
}

}  // namespace

ClassifiedPage ClassifyPage(TiffFile& file) {
  TIFF* const handle = file.handle();
  uint32_t width = 0;
  uint32_t height = 0;
  if (TIFFGetField(handle, TIFFTAG_IMAGEWIDTH, &width) == 0 ||
      TIFFGetField(handle, TIFFTAG_IMAGELENGTH, &height) == 0 || width == 0 || height == 0) {
    file.Fail(ConversionFailure::kDamagedTiff, "image without pixels in " + file.name());
  }
  uint16_t compression = COMPRESSION_NONE;
  uint16_t bits = 1;
  uint16_t samples = 1;
  uint16_t format = SAMPLEFORMAT_UINT;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  uint16_t photometric = 0xffff;
  TIFFGetFieldDefaulted(handle, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(handle, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(handle, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(handle, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(handle, TIFFTAG_ORIENTATION, &orientation);
  TIFFGetField(handle, TIFFTAG_PHOTOMETRIC, &photometric);
  if (TIFFIsCODECConfigured(compression) == 0) {
    throw ConversionError(
        ConversionFailure::kUnsupportedTiff,
        "unsupported compression scheme " + std::to_string(compression) + " in " + file.name());
  }

  file.messages().set_lines_recoverable(compression == COMPRESSION_CCITTFAX3);
  ClassifiedPage classified;
  TiffPage& page = classified.page;
  page.width = width;
  page.height = height;
  page.bits_per_sample = bits;
  page.orientation = orientation >= 1 && orientation <= 8 ? orientation : ORIENTATION_TOPLEFT;
  page.min_is_white = photometric == PHOTOMETRIC_MINISWHITE;
  float resolution = 0;
  if (TIFFGetField(handle, TIFFTAG_XRESOLUTION, &resolution) != 0 && resolution > 0 &&
      std::isfinite(resolution)) {
    page.x_resolution = resolution;
  }
  if (TIFFGetField(handle, TIFFTAG_YRESOLUTION, &resolution) != 0 && resolution > 0 &&
      std::isfinite(resolution)) {
    page.y_resolution = resolution;
  }
  TIFFGetFieldDefaulted(handle, TIFFTAG_RESOLUTIONUNIT, &page.resolution_unit);
  page.kind = PageKind::kColor;
  // Old-style JPEG goes through libtiff's renderer, which sets up its
  // decoder for whole strips.
  const bool plain_samples = samples == 1 && compression != COMPRESSION_OJPEG &&
                             (format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID);
  const bool gray = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
  uint16_t* red = nullptr;
  uint16_t* green = nullptr;
  uint16_t* blue = nullptr;
  if (plain_samples && gray && bits == 1) {
    page.kind = PageKind::kBilevel;
  } else if (plain_samples && gray && (bits == 2 || bits == 4 || bits == 8 || bits == 16)) {
    page.kind = PageKind::kGray;
  } else if (plain_samples && photometric == PHOTOMETRIC_PALETTE &&
             (bits == 1 || bits == 2 || bits == 4 || bits == 8) &&
             TIFFGetField(handle, TIFFTAG_COLORMAP, &red, &green, &blue) != 0) {
    page.kind = PageKind::kPalette;
    page.colormap = ColormapOf(red, green, blue, size_t{1} << bits);
  } else {
    classified.mapped =
        MappedSampleReader::TakeOverFromRenderer(file, page, photometric, compression);
    char reason[1024] = "";
    if (classified.mapped) {
      if (classified.mapped->ReadsAsGray()) {  // gray or luminance
        page.kind = PageKind::kGray;
        page.bits_per_sample = 8;
      }
    } else if (TIFFRGBAImageOK(handle, reason) == 0) {
      throw ConversionError(ConversionFailure::kUnsupportedTiff,
                            "unsupported TIFF image in " + file.name() + ": " + reason);
    }
  }
  return classified;
}

}  // namespace ostrel
