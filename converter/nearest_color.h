// The palette entry nearest to a colour, by squared RGB distance, exactly:
// a table of every colour's entry, filled a cell of 4 x 4 x 4 colours at a
// time the first time a colour of the cell is asked for. The entries hold
// their colours too: error diffusion waits for each one.
#ifndef OSTREL_CONVERTER_NEAREST_COLOR_H_
#define OSTREL_CONVERTER_NEAREST_COLOR_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "converter/indexed_rows.h"

namespace ostrel {

class NearestColor {
 public:
  // `palette` holds 1 to 256 colours.
  explicit NearestColor(Palette palette);

  // A palette entry: its index and its colour.
  struct Match {
    uint8_t index = 0;
    Rgb color;
  };

  // The entry nearest to (red, green, blue), each 0 to 255; of entries
  // equally near, the first.
  Match Find(int red, int green, int blue) {
    const size_t cell = static_cast<size_t>(red >> kShift) << (2 * kCellBits) |
                        static_cast<size_t>(green >> kShift) << kCellBits |
                        static_cast<size_t>(blue >> kShift);
    uint32_t block = blocks_[cell];
    if (block == 0) {
      block = FillCell(cell);
    }
    constexpr int kMask = (1 << kShift) - 1;
    return entries_[size_t{block - 1} << (3 * kShift) | (red & kMask) << (2 * kShift) |
                    (green & kMask) << kShift | (blue & kMask)];
  }

 private:
  // 64 x 64 x 64 cells of 64 colours each: an image visits a few thousand.
  static constexpr int kCellBits = 6;
  static constexpr int kShift = 8 - kCellBits;
  // Cells are filled from the entries that can be nearest somewhere in their
  // region of 4 x 4 x 4 cells, found once for the region.
  static constexpr int kRegionBits = 4;
  static constexpr int kRegionShift = 8 - kRegionBits;

  // Finds the entries of the colours of `cell`; returns its block number.
  uint32_t FillCell(size_t cell);
  // The entries, in palette order, that can be nearest to some colour of
  // the region that holds (red, green, blue).
  std::span<const uint8_t> RegionCandidates(int red, int green, int blue);

  Palette palette_;
  std::vector<uint32_t> blocks_;  // per cell: 0, or its block in entries_ + 1
  std::vector<Match> entries_;    // blocks of a cell's 64 entries, in visiting order
  struct Region {
    uint32_t first = 0;
    uint32_t count = 0;  // 0: not found yet (every region has at least one)
  };
  std::vector<Region> regions_;
  std::vector<uint8_t> region_candidates_;  // region after region
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_NEAREST_COLOR_H_
