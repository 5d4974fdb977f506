#include "converter/sample_indices.h"

#include <array>
#include <cstring>

#include "converter/distinct_colors.h"
#include "converter/rgb.h"

namespace ostrel {
namespace {

// For every byte, the indices of the pixels it packs at `bits` bits each,
// most significant first.
template <int bits>
constexpr std::array<std::array<uint8_t, 8 / bits>, 256> UnpackTable() {
  std::array<std::array<uint8_t, 8 / bits>, 256> table{};
  for (int byte = 0; byte < 256; ++byte) {
    for (int i = 0; i < 8 / bits; ++i) {
      table[byte][i] = static_cast<uint8_t>((byte >> (8 - bits * (i + 1))) & ((1 << bits) - 1));
    }
  }
  return table;
}

template <int bits>
void UnpackPacked(std::span<const uint8_t> stored, std::span<uint8_t> indices) {
  static constexpr auto kTable = UnpackTable<bits>();
  constexpr size_t kPerByte = 8 / bits;
  const size_t whole = indices.size() / kPerByte;
  uint8_t* out = indices.data();
  for (size_t i = 0; i < whole; ++i, out += kPerByte) {
    std::memcpy(out, kTable[stored[i]].data(), kPerByte);
  }
  const size_t rest = indices.size() - whole * kPerByte;
  if (rest != 0) {
    std::memcpy(out, kTable[stored[whole]].data(), rest);
  }
}

}  // namespace

IndexedPalette SamplePalette(const TiffPage& page) {
  IndexedPalette palette;
  if (page.kind == PageKind::kPalette) {
    palette.colors = page.colormap;
    return palette;
  }
  const int levels = page.bits_per_sample >= 8 ? 256 : 1 << page.bits_per_sample;
  for (int level = 0; level < levels; ++level) {
    auto gray = static_cast<uint8_t>(level * 255 / (levels - 1));
    if (page.min_is_white) {
      gray = static_cast<uint8_t>(255 - gray);
    }
    palette.colors.push_back(Rgb{gray, gray, gray});
  }
  return palette;
}

void MarkUsedSamples(std::span<const uint8_t> samples, std::array<bool, 256>& used) {
  for (const uint8_t sample : samples) {
    used[sample] = true;
  }
}

CutColormap CutToUsedColors(const Palette& colormap, const std::array<bool, 256>& used) {
  CutColormap cut;
  DistinctColors distinct(256);
  for (size_t i = 0; i < colormap.size() && i < used.size(); ++i) {
    if (used[i]) {
      const Rgb& color = colormap[i];
      const uint32_t rgb = uint32_t{color.red} << 16 | uint32_t{color.green} << 8 | color.blue;
      distinct.Add(rgb, 1);
      cut.position[i] = distinct.IndexOf(rgb);
    }
  }
  cut.colors = distinct.Colors();
  return cut;
}

void UnpackSamples(std::span<const uint8_t> stored, int bits, std::span<uint8_t> indices) {
  switch (bits) {
    case 1:
      UnpackPacked<1>(stored, indices);
      break;
    case 2:
      UnpackPacked<2>(stored, indices);
      break;
    case 4:
      UnpackPacked<4>(stored, indices);
      break;
    case 8:
      std::memcpy(indices.data(), stored.data(), indices.size());
      break;
    default:  // 16
      for (size_t i = 0; i < indices.size(); ++i) {
        uint16_t sample;
        std::memcpy(&sample, stored.data() + 2 * i, sizeof sample);
        indices[i] = EightBitsOf(sample);
      }
      break;
  }
}

}  // namespace ostrel
