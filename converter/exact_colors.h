// The colours of a page for a format that keeps them exactly (PNG): its
// distinct pixels, when there are at most 256, for a palette; and whether
// any pixel is less than opaque, which decides whether the image carries
// alpha.
#ifndef OSTREL_CONVERTER_EXACT_COLORS_H_
#define OSTREL_CONVERTER_EXACT_COLORS_H_

#include <cstdint>
#include <span>
#include <vector>

#include "converter/indexed_rows.h"

namespace ostrel {

class ExactColors {
 public:
  static constexpr int kMostColors = 256;

  ExactColors();

  // First pass: libtiff's RGBA pixels (see TiffReader), each pixel of the
  // image exactly once, in any grouping.
  void Survey(std::span<const uint32_t> pixels);

  // After the survey: whether the distinct pixels fit into a palette, and
  // whether any pixel is less than opaque.
  bool fits() const { return !overflowed_; }
  bool transparent() const { return transparent_; }

  // When they fit: the palette, each distinct pixel's colour as it was
  // before premultiplying, in the order they first came, with every
  // entry's alpha when the image is transparent.
  IndexedPalette Palette() const;

  // When they fit: maps a row of pixels to their positions in Palette().
  void MapRow(std::span<const uint32_t> row, std::span<uint8_t> indices) const;

 private:
  struct Slot {
    uint32_t pixel = 0;
    uint16_t index_plus_one = 0;  // 0: a free slot
  };
  // The slot that holds `pixel`, or the free slot where it belongs.
  size_t SlotOf(uint32_t pixel) const;
  void Add(uint32_t pixel);

  std::vector<Slot> slots_;  // open addressing, at most a quarter full
  std::vector<uint32_t> pixels_;
  bool overflowed_ = false;
  bool transparent_ = false;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_EXACT_COLORS_H_
