#include "converter/distinct_colors.h"

#include "converter/rgb.h"

namespace ostrel {
namespace {

constexpr int kSlotBits = 10;  // 1024 slots for at most 256 colours
constexpr uint32_t kPresent = 1u << 24;

}  // namespace

DistinctColors::DistinctColors(int limit) : limit_(limit), slots_(size_t{1} << kSlotBits) {}

size_t DistinctColors::SlotOf(uint32_t rgb) const {
  const uint32_t key = rgb | kPresent;
  size_t slot = (key * 0x9e3779b1u) >> (32 - kSlotBits);
  while (slots_[slot].key != 0 && slots_[slot].key != key) {
    slot = (slot + 1) & (slots_.size() - 1);
  }
  return slot;
}

void DistinctColors::Add(uint32_t rgb, int64_t count) {
  if (overflowed_) {
    return;
  }
  Slot& slot = slots_[SlotOf(rgb)];
  if (slot.key != 0) {
    counts_[slot.index] += count;
    return;
  }
  if (static_cast<int>(colors_.size()) == limit_) {
    overflowed_ = true;
    return;
  }
  slot.key = rgb | kPresent;
  slot.index = static_cast<uint8_t>(colors_.size());
  colors_.push_back(rgb);
  counts_.push_back(count);
}

Palette DistinctColors::Colors() const {
  Palette palette;
  for (const uint32_t rgb : colors_) {
    palette.push_back(Rgb{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                          static_cast<uint8_t>(rgb)});
  }
  return palette;
}

}  // namespace ostrel
