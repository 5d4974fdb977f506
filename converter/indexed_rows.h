// Rows of palette indices, the form most pages take on their way to an
// image writer, and the palette they index.
#ifndef OSTREL_CONVERTER_INDEXED_ROWS_H_
#define OSTREL_CONVERTER_INDEXED_ROWS_H_

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "converter/palette.h"

namespace ostrel {

// A 16-bit sample or colour value rounded to 8 bits; value / 257 never falls
// on a half, so the rounding has no ties.
inline uint8_t EightBitsOf(uint16_t value) {
  return static_cast<uint8_t>((value * 255u + 32767u) / 65535u);
}

// At most 256 colours; the entry at `transparent_index`, when there is one,
// stands for transparent pixels. A page's own colours kept exactly for a
// PNG may be partly transparent: then `alpha` gives each entry's opacity,
// 0 to 255, and there is no transparent_index.
struct IndexedPalette {
  Palette colors;
  std::optional<uint8_t> transparent_index;
  std::vector<uint8_t> alpha{};
};

// Takes the rows of one image, top to bottom, one index per pixel.
class IndexedRowSink {
 public:
  virtual ~IndexedRowSink() = default;
  virtual void PutRow(std::span<const uint8_t> indices) = 0;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_INDEXED_ROWS_H_
