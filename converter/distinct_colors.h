// The distinct colours of an image, counted up to a limit, for images that
// can keep their colours exactly.
#ifndef OSTREL_CONVERTER_DISTINCT_COLORS_H_
#define OSTREL_CONVERTER_DISTINCT_COLORS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "converter/palette.h"

namespace ostrel {

class DistinctColors {
 public:
  // Keeps at most `limit` colours, 1 to 256.
  explicit DistinctColors(int limit);

  // Counts `count` pixels of colour 0xRRGGBB. Once a colour beyond the
  // limit comes, the set is overflowed and stops counting.
  void Add(uint32_t rgb, int64_t count);

  bool overflowed() const { return overflowed_; }

  // The colours, in the order they first came.
  Palette Colors() const;

  // The pixels counted of each colour, in the same order.
  const std::vector<int64_t>& counts() const { return counts_; }

  // The position in Colors() of a colour that was added before overflow.
  uint8_t IndexOf(uint32_t rgb) const { return slots_[SlotOf(rgb)].index; }

 private:
  struct Slot {
    uint32_t key = 0;  // rgb + 1 << 24, so that 0 marks a free slot
    uint8_t index = 0;
  };
  // The slot that holds `rgb`, or the free slot where it belongs.
  size_t SlotOf(uint32_t rgb) const;

  int limit_;
  std::vector<Slot> slots_;  // open addressing, at most a quarter full
  std::vector<uint32_t> colors_;
  std::vector<int64_t> counts_;
  bool overflowed_ = false;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_DISTINCT_COLORS_H_
