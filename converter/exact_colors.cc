#include "converter/exact_colors.h"

#include "converter/rgb.h"
#include "converter/rgba_pixel.h"

namespace ostrel {
namespace {

constexpr int kSlotBits = 10;  // 1024 slots for at most 256 pixels

}  // namespace

ExactColors::ExactColors() : slots_(size_t{1} << kSlotBits) {}

size_t ExactColors::SlotOf(uint32_t pixel) const {
  size_t slot = (pixel * 0x9e3779b1u) >> (32 - kSlotBits);
  while (slots_[slot].index_plus_one != 0 && slots_[slot].pixel != pixel) {
    slot = (slot + 1) & (slots_.size() - 1);
  }
  return slot;
}

void ExactColors::Add(uint32_t pixel) {
  Slot& slot = slots_[SlotOf(pixel)];
  if (slot.index_plus_one != 0) {
    return;
  }
  if (pixels_.size() == kMostColors) {
    overflowed_ = true;
    return;
  }
  pixels_.push_back(pixel);
  slot = {pixel, static_cast<uint16_t>(pixels_.size())};
}

void ExactColors::Survey(std::span<const uint32_t> pixels) {
  size_t i = 0;
  // Runs of one value are looked up once: scans and drawings have long ones.
  while (i < pixels.size() && !overflowed_) {
    const uint32_t pixel = pixels[i];
    transparent_ |= AlphaOf(pixel) != 255;
    Add(pixel);
    while (++i < pixels.size() && pixels[i] == pixel) {
    }
  }
  // Beyond 256 colours only transparency is left to find.
  uint32_t alpha = 255;
  for (; i < pixels.size(); ++i) {
    alpha &= AlphaOf(pixels[i]);
  }
  transparent_ |= alpha != 255;
}

IndexedPalette ExactColors::Palette() const {
  IndexedPalette palette;
  for (const uint32_t pixel : pixels_) {
    const Rgba color = Unpremultiplied(pixel);
    palette.colors.push_back(Rgb{color.red, color.green, color.blue});
    if (transparent_) {
      palette.alpha.push_back(color.alpha);
    }
  }
  return palette;
}

void ExactColors::MapRow(std::span<const uint32_t> row, std::span<uint8_t> indices) const {
  uint32_t last_pixel = 0;
  uint8_t last_index = 0;
  for (size_t x = 0; x < row.size(); ++x) {
    if (x == 0 || row[x] != last_pixel) {
      last_pixel = row[x];
      last_index = static_cast<uint8_t>(slots_[SlotOf(last_pixel)].index_plus_one - 1);
    }
    indices[x] = last_index;
  }
}

}  // namespace ostrel
