// What one page of a TIFF file is: its size, kind, colormap, orientation and
// resolution, as the converter reads it.
#ifndef OSTREL_CONVERTER_TIFF_PAGE_H_
#define OSTREL_CONVERTER_TIFF_PAGE_H_

#include <cstdint>

#include "converter/palette.h"

namespace ostrel {

// Pages whose stored samples are palette indices already (kBilevel, kGray,
// kPalette), and everything else libtiff can render (kColor).
enum class PageKind { kBilevel, kGray, kPalette, kColor };

struct TiffPage {
  uint32_t width = 0;
  uint32_t height = 0;
  PageKind kind = PageKind::kColor;
  // As ReadSampleRows delivers them: a gray page whose samples the reader
  // maps to 8 bits itself (other depths, signed, float) says 8.
  uint16_t bits_per_sample = 0;
  bool min_is_white = false;  // kBilevel and kGray: sample 0 is white
  uint16_t orientation = 1;   // 1 to 8; any other value counts as 1
  Palette colormap;           // kPalette: 1 << bits_per_sample entries, 8 bits each
  // Pixels per resolution unit, 0 where the tag is absent or not positive.
  float x_resolution = 0;
  float y_resolution = 0;
  uint16_t resolution_unit = 2;  // 1 none, 2 inch (also when absent), 3 centimetre
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_TIFF_PAGE_H_
