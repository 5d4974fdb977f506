// The palette entry nearest to a colour, by squared RGB distance, exactly:
// each cell of RGB space keeps the few entries that can be nearest to any
// colour in it, found the first time the cell is asked for.
#ifndef OSTREL_CONVERTER_NEAREST_COLOR_H_
#define OSTREL_CONVERTER_NEAREST_COLOR_H_

#include <cstdint>
#include <vector>

#include "converter/indexed_rows.h"

namespace ostrel {

class NearestColor {
 public:
  // `palette` holds 1 to 256 colours.
  explicit NearestColor(Palette palette);

  // The index of the entry nearest to (red, green, blue), each 0 to 255; of
  // entries equally near, the first.
  uint8_t Find(int red, int green, int blue);

 private:
  // 64 x 64 x 64 cells, 4 values wide: a photo's cells keep some 6
  // candidates of 256 entries, and a photo visits a few thousand cells.
  static constexpr int kCellBits = 6;
  struct Candidates {
    uint32_t first = 0;
    uint16_t count = 0;  // 0: not found yet (every cell has at least one)
  };
  const Candidates& CandidatesOf(int red, int green, int blue);

  // A palette entry as the search reads it: no indirection, no narrow
  // arithmetic.
  struct Entry {
    int32_t red;
    int32_t green;
    int32_t blue;
    int32_t index;
  };

  Palette palette_;
  std::vector<Candidates> cells_;
  std::vector<Entry> candidates_;  // cell after cell, each in palette order
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_NEAREST_COLOR_H_
