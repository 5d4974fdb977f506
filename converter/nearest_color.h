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
  static constexpr int kCellBits = 5;  // 32 x 32 x 32 cells, 8 values wide
  struct Candidates {
    uint32_t first = 0;
    uint16_t count = 0;  // 0: not found yet (every cell has at least one)
  };
  const Candidates& CandidatesOf(int red, int green, int blue);

  Palette palette_;
  std::vector<Candidates> cells_;
  std::vector<uint8_t> candidates_;  // indices into palette_, cell after cell
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_NEAREST_COLOR_H_
