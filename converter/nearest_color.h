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

#include "converter/palette.h"
#include "converter/rgb.h"

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
    // Unsigned, so that no sign extension lengthens the wait of error
    // diffusion for each pixel.
    const auto r = static_cast<uint32_t>(red);
    const auto g = static_cast<uint32_t>(green);
    const auto b = static_cast<uint32_t>(blue);
    const uint32_t cell =
        (r >> kShift) << (2 * kCellBits) | (g >> kShift) << kCellBits | (b >> kShift);
    uint32_t block = blocks_[cell];
    if (block == kUnfilled) {
      if (entries_.size() >= kMostEntries) {
        return FindUncached(red, green, blue);
      }
      block = FillCell(cell);
    }
    constexpr uint32_t kMask = (1 << kShift) - 1;
    const uint32_t in_cell = (r & kMask) << (2 * kShift) | (g & kMask) << kShift | (b & kMask);
    return entries_[block + in_cell];
  }

 private:
  // 64 x 64 x 64 cells of 64 colours each: an image visits a few thousand.
  static constexpr int kCellBits = 6;
  static constexpr int kShift = 8 - kCellBits;
  // Cells are filled from the entries that can be nearest somewhere in their
  // region of 4 x 4 x 4 cells, found once for the region.
  static constexpr int kRegionBits = 4;
  static constexpr int kRegionShift = 8 - kRegionBits;

  // The table holds at most this many entries (16 MiB), a quarter of all
  // colours: a page of noise visits every cell, and past them a colour of
  // a cell not filled yet is matched alone.
  static constexpr size_t kMostEntries = size_t{1} << 22;

  // Finds the entries of the colours of `cell`; returns where they start.
  uint32_t FillCell(size_t cell);
  // The entry nearest to one colour, found among its region's candidates.
  Match FindUncached(int red, int green, int blue);
  // The entries, in palette order, that can be nearest to some colour of
  // the region that holds (red, green, blue).
  std::span<const uint8_t> RegionCandidates(int red, int green, int blue);

  Palette palette_;
  // Per cell: where its block starts in entries_, or kUnfilled.
  static constexpr uint32_t kUnfilled = UINT32_MAX;
  std::vector<uint32_t> blocks_;
  std::vector<Match> entries_;  // blocks of a cell's 64 entries, in visiting order
  struct Region {
    uint32_t first = 0;
    uint32_t count = 0;  // 0: not found yet (every region has at least one)
  };
  std::vector<Region> regions_;
  std::vector<uint8_t> region_candidates_;  // region after region
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_NEAREST_COLOR_H_
